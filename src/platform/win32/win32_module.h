// The operating-system functions of ZinnaModule, forwarded to Windows. Texts cross into Windows
// through the wide functions, so that any character of a UTF-8 text (a wallpaper path such as
// C:\Users\Zoë\Pictures\壁紙.bmp) arrives intact; sizes are reported in UTF-8 bytes, as the "A"
// functions would report them under a UTF-8 code page.
#pragma once

#include "boundary/zinna_module.h"

namespace zinna::win32 {

class Win32Module final : public ZinnaModule {
public:
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
    WindowHandle FindWindowA(const char* className, const char* windowName) override;
    bool GetWindowRect(WindowHandle window, Rect* rect) override;
    void keybd_event(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                     std::uintptr_t extraInfo) override;

    std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override;

    std::intptr_t ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory, int showCommand) override;
};

}  // namespace zinna::win32
