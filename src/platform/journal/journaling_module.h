// ZinnaModule for the program, with the journal written around it: every call goes to the real
// desktop, and just before the first call that changes the desktop (a registry write or removal,
// the wallpaper call, a colour change) the user's desktop is recorded in the journal. A desktop
// that cannot be recorded is not changed: those calls then fail, as a desktop that refuses them
// would, and the program goes on with the desktop as the user has it.
//
// It sees every call, so it also keeps the journal told of every change the desktop refused (the
// program's own quit ignores what its calls return), and, when the desktop already wore Zinna's
// look at the start, answers the program's reads of the three values and the colour with the
// desktop's default: the program then saves that as the user's, and its quit gives it back.
#pragma once

#include "boundary/zinna_module.h"
#include "platform/core/registry_copy_out.h"
#include "platform/journal/restore_journal.h"

#include <map>
#include <set>

namespace zinna::journal {

class JournalingModule final : public ZinnaModule {
public:
    JournalingModule(ZinnaModule& desktop, RestoreJournal& journal) : desktop_(desktop), journal_(journal) {}

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override {
        const std::int32_t status = desktop_.RegOpenKeyA(key, subKey, result);
        // The program opens with RegOpenKeyA only to write: a key that will not open is a change lost.
        journal_.ChangeMade("opening " + subKey, status == ERROR_SUCCESS, true);
        return Opened(status, key, subKey, result);
    }
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, RegistryKey* result) override {
        return Opened(desktop_.RegOpenKeyExA(key, subKey, options, samDesired, result), key, subKey, result);
    }
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* dataSize) override {
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
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) override {
        if (!journal_.RecordBeforeFirstChange()) return kAccessDenied;
        const std::int32_t status = desktop_.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
        lastWritten_[key] = "value " + CanonicalName(valueName);
        journal_.ChangeMade(lastWritten_[key], status == ERROR_SUCCESS);
        return status;
    }
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& valueName) override {
        if (!journal_.RecordBeforeFirstChange()) return kAccessDenied;
        const std::int32_t status = desktop_.RegDeleteValueA(key, valueName);
        lastWritten_[key] = "value " + CanonicalName(valueName);
        // A value to remove that is already gone is as the user had it.
        journal_.ChangeMade(lastWritten_[key], status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
        return status;
    }
    std::int32_t RegFlushKey(RegistryKey key) override {
        const std::int32_t status = desktop_.RegFlushKey(key);
        // A write that is not stored is a write lost.
        if (auto written = lastWritten_.find(key); written != lastWritten_.end() && status != ERROR_SUCCESS)
            journal_.ChangeMade(written->second, false);
        return status;
    }
    std::int32_t RegCloseKey(RegistryKey key) override {
        desktopKeys_.erase(key);
        lastWritten_.erase(key);
        return desktop_.RegCloseKey(key);
    }

    std::uint32_t GetSysColor(int index) override {
        if (journal_.AnswersWithDefault() && index == COLOR_BACKGROUND) return journal_.DefaultRecord().color;
        return desktop_.GetSysColor(index);
    }
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override {
        if (!journal_.RecordBeforeFirstChange()) return false;
        const bool done = desktop_.SetSysColors(count, elements, colors);
        journal_.ChangeMade("the desktop colour", done);
        return done;
    }
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                               std::uint32_t winIni) override {
        if (!journal_.RecordBeforeFirstChange()) return false;
        const bool done = desktop_.SystemParametersInfoA(action, uiParam, path, winIni);
        journal_.ChangeMade("the wallpaper call", done);
        return done;
    }
    WindowHandle FindWindowA(const char* className, const char* windowName) override {
        return desktop_.FindWindowA(className, windowName);
    }
    bool GetWindowRect(WindowHandle window, Rect* rect) override { return desktop_.GetWindowRect(window, rect); }
    void keybd_event(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                     std::uintptr_t extraInfo) override {
        desktop_.keybd_event(virtualKey, scanCode, flags, extraInfo);
    }
    std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
        return desktop_.GetWindowsDirectoryA(buffer, size);
    }
    std::intptr_t ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory, int showCommand) override {
        return desktop_.ShellExecuteA(owner, operation, file, parameters, directory, showCommand);
    }

private:
    static constexpr std::int32_t kAccessDenied = 5;  // ERROR_ACCESS_DENIED
    static constexpr std::uint32_t kRegExpandSz = 2;  // REG_EXPAND_SZ

    static bool SameIgnoringCase(const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
            if (fold(a[i]) != fold(b[i])) return false;
        }
        return true;
    }
    // Value names compare without regard to case, as in the registry: one name for each part.
    static std::string CanonicalName(const std::string& name) {
        for (const std::string& known : kJournalledValues)
            if (SameIgnoringCase(name, known)) return known;
        return name;
    }
    std::int32_t Opened(std::int32_t status, RegistryKey key, const std::string& subKey, const RegistryKey* result) {
        if (status == ERROR_SUCCESS && result != nullptr && key == kCurrentUserRoot &&
            SameIgnoringCase(subKey, journal_.KeyPath()))
            desktopKeys_.insert(*result);
        return status;
    }

    ZinnaModule& desktop_;
    RestoreJournal& journal_;
    std::set<RegistryKey> desktopKeys_;               // the program's open handles of the desktop key
    std::map<RegistryKey, std::string> lastWritten_;  // the part each handle last wrote, for its flush
};

}  // namespace zinna::journal
