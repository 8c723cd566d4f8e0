// ZinnaModule: the operating-system functions the program calls, one method for each Windows
// function, with Windows' names, arguments, results and error codes.
//
// Texts are UTF-8 everywhere in the program. The methods behave like the Windows "A" functions
// would if the ANSI code page were UTF-8: sizes and lengths are UTF-8 byte counts and the same NUL
// rules apply. The Windows layer implements them with the wide ("W") functions, so that any
// character survives the trip; the simulated desktop implements them in memory.
#pragma once

#include "boundary/win_constants.h"

#include <cstdint>
#include <string>

namespace zinna {

// A window rectangle in screen pixels, the layout of the platform's RECT.
struct Rect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

class ZinnaModule {
public:
    virtual ~ZinnaModule() = default;

    // advapi32. Each returns a Windows error code (ERROR_SUCCESS on success).
    virtual std::int32_t RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) = 0;
    virtual std::int32_t RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                                       std::uint32_t samDesired, RegistryKey* result) = 0;
    // data may be null to ask for the size; a buffer smaller than the value gives ERROR_MORE_DATA
    // with *dataSize set to the size needed.
    virtual std::int32_t RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                          std::uint8_t* data, std::uint32_t* dataSize) = 0;
    virtual std::int32_t RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                        std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) = 0;
    virtual std::int32_t RegDeleteValueA(RegistryKey key, const std::string& valueName) = 0;
    virtual std::int32_t RegFlushKey(RegistryKey key) = 0;
    virtual std::int32_t RegCloseKey(RegistryKey key) = 0;

    // user32
    virtual std::uint32_t GetSysColor(int index) = 0;  // 0x00BBGGRR
    virtual bool SetSysColors(int count, const int* elements, const std::uint32_t* colors) = 0;
    virtual bool SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                                       std::uint32_t winIni) = 0;
    // A null className or windowName matches any; an empty text matches only an empty one.
    virtual WindowHandle FindWindowA(const char* className, const char* windowName) = 0;
    virtual bool GetWindowRect(WindowHandle window, Rect* rect) = 0;
    virtual void keybd_event(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                             std::uintptr_t extraInfo) = 0;

    // kernel32: copies the path and its NUL and returns the path's length; when size is too small it
    // copies nothing and returns the size needed, NUL included.
    virtual std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) = 0;

    // shell32: a result above 32 means the shell took the request.
    virtual std::intptr_t ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                        const std::string& parameters, const std::string& directory,
                                        int showCommand) = 0;
};

}  // namespace zinna
