// ZinnaModule for the program, with the journal written around it: every call goes to the real
// desktop unchanged, and just before the first call that changes the desktop (a registry write or
// removal, the wallpaper call, a colour change) the user's desktop is recorded in the journal. A
// desktop that cannot be recorded is not changed: those calls then fail, as a desktop that refuses
// them would, and the program goes on with the desktop as the user has it.
#pragma once

#include "boundary/zinna_module.h"
#include "platform/journal/restore_journal.h"

namespace zinna::journal {

class JournalingModule final : public ZinnaModule {
public:
    JournalingModule(ZinnaModule& desktop, RestoreJournal& journal) : desktop_(desktop), journal_(journal) {}

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override {
        return desktop_.RegOpenKeyA(key, subKey, result);
    }
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, RegistryKey* result) override {
        return desktop_.RegOpenKeyExA(key, subKey, options, samDesired, result);
    }
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* dataSize) override {
        return desktop_.RegQueryValueExA(key, valueName, type, data, dataSize);
    }
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) override {
        if (!journal_.RecordBeforeFirstChange()) return kAccessDenied;
        return desktop_.RegSetValueExA(key, valueName, reserved, type, data, dataSize);
    }
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& valueName) override {
        if (!journal_.RecordBeforeFirstChange()) return kAccessDenied;
        return desktop_.RegDeleteValueA(key, valueName);
    }
    std::int32_t RegFlushKey(RegistryKey key) override { return desktop_.RegFlushKey(key); }
    std::int32_t RegCloseKey(RegistryKey key) override { return desktop_.RegCloseKey(key); }

    std::uint32_t GetSysColor(int index) override { return desktop_.GetSysColor(index); }
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override {
        if (!journal_.RecordBeforeFirstChange()) return false;
        return desktop_.SetSysColors(count, elements, colors);
    }
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                               std::uint32_t winIni) override {
        if (!journal_.RecordBeforeFirstChange()) return false;
        return desktop_.SystemParametersInfoA(action, uiParam, path, winIni);
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

    ZinnaModule& desktop_;
    RestoreJournal& journal_;
};

}  // namespace zinna::journal
