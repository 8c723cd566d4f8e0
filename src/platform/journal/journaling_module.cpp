#include "platform/journal/journaling_module.h"

#include "platform/core/registry_copy_out.h"

namespace zinna::journal {

std::int32_t JournalingModule::RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) {
    const std::int32_t status = desktop_.RegOpenKeyA(key, subKey, result);
    // The program opens with RegOpenKeyA only to write: a key that will not open is a change lost.
    journal_.ChangeMade("opening " + subKey, status == ERROR_SUCCESS, true);
    return Opened(status, key, subKey, result);
}

std::int32_t JournalingModule::RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                                             std::uint32_t samDesired, RegistryKey* result) {
    return Opened(desktop_.RegOpenKeyExA(key, subKey, options, samDesired, result), key, subKey, result);
}

std::int32_t JournalingModule::RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                                std::uint8_t* data, std::uint32_t* dataSize) {
    if (journal_.AnswersWithDefault() && desktopKeys_.count(key) > 0) {
        if (const SavedValue* value = journal_.DefaultRecord().Find(CanonicalName(valueName))) {
            if (value->state != SavedValue::State::Present) return ERROR_FILE_NOT_FOUND;
            return platform::CopyOutValue(value->type, value->data, type, data, dataSize);
        }
    }
    const std::uint32_t capacity = dataSize != nullptr ? *dataSize : 0;
    std::uint32_t storedType = 0;
    const std::int32_t status = desktop_.RegQueryValueExA(key, valueName, &storedType, data, dataSize);
    if (type != nullptr) *type = storedType;
    // A text stored without its terminating NUL is handed over with one, as the system's own
    // readers do: the program drops the last byte read, which would otherwise be a character.
    const bool text = storedType == REG_SZ || storedType == kRegExpandSz;
    if (status == ERROR_SUCCESS && text && data != nullptr && dataSize != nullptr && *dataSize > 0 &&
        data[*dataSize - 1] != 0) {
        if (*dataSize >= capacity) {
            *dataSize += 1;
            return ERROR_MORE_DATA;
        }
        data[(*dataSize)++] = 0;
    }
    return status;
}

std::int32_t JournalingModule::RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                              std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) {
    if (!journal_.RecordBeforeFirstChange()) return kAccessDenied;
    const std::int32_t status = desktop_.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
    lastWritten_[key] = "value " + CanonicalName(valueName);
    journal_.ChangeMade(lastWritten_[key], status == ERROR_SUCCESS);
    return status;
}

std::int32_t JournalingModule::RegDeleteValueA(RegistryKey key, const std::string& valueName) {
    if (!journal_.RecordBeforeFirstChange()) return kAccessDenied;
    const std::int32_t status = desktop_.RegDeleteValueA(key, valueName);
    lastWritten_[key] = "value " + CanonicalName(valueName);
    // A value to remove that is already gone is as the user had it.
    journal_.ChangeMade(lastWritten_[key], status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    return status;
}

std::int32_t JournalingModule::RegFlushKey(RegistryKey key) {
    const std::int32_t status = desktop_.RegFlushKey(key);
    // A write that is not stored is a write lost.
    if (auto written = lastWritten_.find(key); written != lastWritten_.end() && status != ERROR_SUCCESS)
        journal_.ChangeMade(written->second, false);
    return status;
}

std::int32_t JournalingModule::RegCloseKey(RegistryKey key) {
    desktopKeys_.erase(key);
    lastWritten_.erase(key);
    return desktop_.RegCloseKey(key);
}

std::uint32_t JournalingModule::GetSysColor(int index) {
    if (journal_.AnswersWithDefault() && index == COLOR_BACKGROUND) return journal_.DefaultRecord().color;
    return desktop_.GetSysColor(index);
}

bool JournalingModule::SetSysColors(int count, const int* elements, const std::uint32_t* colors) {
    if (!journal_.RecordBeforeFirstChange()) return false;
    const bool done = desktop_.SetSysColors(count, elements, colors);
    journal_.ChangeMade("the desktop colour", done);
    return done;
}

bool JournalingModule::SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                                             std::uint32_t winIni) {
    if (!journal_.RecordBeforeFirstChange()) return false;
    const bool done = desktop_.SystemParametersInfoA(action, uiParam, path, winIni);
    journal_.ChangeMade("the wallpaper call", done);
    return done;
}

std::int32_t JournalingModule::Opened(std::int32_t status, RegistryKey key, const std::string& subKey,
                                      const RegistryKey* result) {
    if (status == ERROR_SUCCESS && result != nullptr && key == HKEY_CURRENT_USER &&
        SameIgnoringCase(subKey, journal_.KeyPath()))
        desktopKeys_.insert(*result);
    return status;
}

std::string JournalingModule::CanonicalName(const std::string& name) {
    for (const std::string& known : kJournalledValues)
        if (SameIgnoringCase(name, known)) return known;
    return name;
}

bool JournalingModule::SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

}  // namespace zinna::journal
