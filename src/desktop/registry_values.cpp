// Text values of the registry. These never raise an error to their caller: a failing step is
// passed over and the next one runs.
#include "lifecycle/program_constants.h"
#include "lifecycle/zinna_form.h"

namespace zinna {

namespace {

// The customary buffer; a longer value is read again into a buffer of the size Windows reports.
constexpr std::uint32_t kInitialReadBuffer = 255;
constexpr int kMaxReadAttempts = 4;  // the value may grow between two reads

}  // namespace

void ZinnaForm::SetRegString(RegistryKey hKey, const std::string& sKeyPath, const std::string& sValueName,
                             const std::string& sData) {
    std::vector<std::uint8_t> data(sData.begin(), sData.end());
    data.push_back(0);  // the stored size counts the terminating NUL
    RegistryKey key = 0;
    if (module_.RegOpenKeyA(hKey, sKeyPath, &key) != ERROR_SUCCESS) return;  // a missing key is not created
    module_.RegSetValueExA(key, sValueName, 0, REG_SZ, data.data(), static_cast<std::uint32_t>(data.size()));
    module_.RegFlushKey(key);
    module_.RegCloseKey(key);
}

std::string ZinnaForm::GetRegString(RegistryKey hKey, const std::string& sKeyPath, const std::string& sValueName,
                                    SavedRegValue* raw) {
    SavedRegValue found;
    std::string result;
    RegistryKey key = 0;
    if (module_.RegOpenKeyExA(hKey, sKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        if (raw) *raw = found;
        return "ERROR";
    }

    std::vector<std::uint8_t> buffer(kInitialReadBuffer, ' ');
    std::uint32_t size = kInitialReadBuffer;
    std::uint32_t type = 0;
    std::int32_t status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kMaxReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
        if (attempt > 0) buffer.assign(size, ' ');
        size = static_cast<std::uint32_t>(buffer.size());
        status = module_.RegQueryValueExA(key, sValueName, &type, buffer.data(), &size);
    }

    if (status == ERROR_SUCCESS) {
        // The stored text without its terminating NUL; a size of 0 is the empty text.
        if (size > 0) result.assign(buffer.begin(), buffer.begin() + (size - 1));
        found.outcome = RegReadOutcome::Read;
        found.type = type;
        found.data.assign(buffer.begin(), buffer.begin() + size);
    } else if (status == ERROR_FILE_NOT_FOUND) {
        found.outcome = RegReadOutcome::ValueMissing;
    }
    module_.RegCloseKey(key);
    if (raw) *raw = found;
    return result;
}

void ZinnaForm::RestoreRegValue(const std::string& sValueName, const SavedRegValue& saved) {
    switch (saved.outcome) {
        case RegReadOutcome::Read: {
            // The bytes and type exactly as they were read, so nothing is lost or converted.
            RegistryKey key = 0;
            if (module_.RegOpenKeyA(HKEY_CURRENT_USER, kDesktopKeyPath, &key) != ERROR_SUCCESS) return;
            module_.RegSetValueExA(key, sValueName, 0, saved.type, saved.data.data(),
                                   static_cast<std::uint32_t>(saved.data.size()));
            module_.RegFlushKey(key);
            module_.RegCloseKey(key);
            return;
        }
        case RegReadOutcome::ValueMissing:
            DeleteRegValue(HKEY_CURRENT_USER, kDesktopKeyPath, sValueName);
            return;
        case RegReadOutcome::Failed:
            return;  // what the user had is unknown: better untouched than overwritten with a guess
    }
}

void ZinnaForm::DeleteRegValue(RegistryKey hKey, const std::string& sKeyPath, const std::string& sValueName) {
    RegistryKey key = 0;
    if (module_.RegOpenKeyA(hKey, sKeyPath, &key) != ERROR_SUCCESS) return;
    module_.RegDeleteValueA(key, sValueName);
    module_.RegFlushKey(key);
    module_.RegCloseKey(key);
}

}  // namespace zinna
