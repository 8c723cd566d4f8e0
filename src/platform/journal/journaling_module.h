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
#include "platform/journal/restore_journal.h"

#include <map>
#include <set>

namespace zinna::journal {

class JournalingModule final : public ZinnaModule {
public:
    JournalingModule(ZinnaModule& desktop, RestoreJournal& journal) : desktop_(desktop), journal_(journal) {}

    std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) override;
    std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                               std::uint32_t samDesired, RegistryKey* result) override;
    std::int32_t RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* dataSize) override;
    std::int32_t RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) override;
    std::int32_t RegDeleteValueA(RegistryKey key, const std::string& valueName) override;
    std::int32_t RegFlushKey(RegistryKey key) override;
    std::int32_t RegCloseKey(RegistryKey key) override;

    std::uint32_t GetSysColor(int index) override;
    bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) override;
    bool SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                               std::uint32_t winIni) override;
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

    static bool SameIgnoringCase(const std::string& a, const std::string& b);
    // Value names compare without regard to case, as in the registry: one name for each part.
    static std::string CanonicalName(const std::string& name);
    std::int32_t Opened(std::int32_t status, RegistryKey key, const std::string& subKey, const RegistryKey* result);

    ZinnaModule& desktop_;
    RestoreJournal& journal_;
    std::set<RegistryKey> desktopKeys_;               // the program's open handles of the desktop key
    std::map<RegistryKey, std::string> lastWritten_;  // the part each handle last wrote, for its flush
};

}  // namespace zinna::journal
