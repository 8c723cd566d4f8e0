// The Windows API constants the program passes, with Windows' own names and values. They mean the
// same thing in every build: the Windows layer includes this header before <windows.h> (through
// platform/win32/windows_api.h, which also checks that Windows' values are these), so a name never
// silently becomes one of Windows' macros of another type.
#pragma once

#if defined(_WINDOWS_) || defined(_INC_WINDOWS) || defined(HKEY_CURRENT_USER) || defined(REG_SZ) ||                  \
    defined(KEY_READ) || defined(ERROR_SUCCESS) || defined(ERROR_FILE_NOT_FOUND) || defined(ERROR_INVALID_HANDLE) || \
    defined(ERROR_MORE_DATA) || defined(SPI_SETDESKWALLPAPER) || defined(SPIF_UPDATEINIFILE) ||                      \
    defined(SPIF_SENDWININICHANGE) || defined(COLOR_BACKGROUND) || defined(KEYEVENTF_KEYUP) || defined(VK_LWIN) ||   \
    defined(SW_HIDE)
#error "<windows.h> came before boundary/win_constants.h: include platform/win32/windows_api.h instead of <windows.h>"
#else

#include <cstdint>

namespace zinna {

using RegistryKey = std::uintptr_t;   // an open registry key, or a predefined root key
using WindowHandle = std::uintptr_t;  // a window handle; 0 is no window

// The predefined root key as the program knows it: the 32-bit value. The Windows layer maps it to
// Windows' handle, which on 64-bit Windows is that value sign-extended.
inline constexpr RegistryKey HKEY_CURRENT_USER = 0x80000001;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::int32_t ERROR_SUCCESS = 0;
inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
inline constexpr std::uint32_t SPI_SETDESKWALLPAPER = 20;
inline constexpr std::uint32_t SPIF_UPDATEINIFILE = 1;
inline constexpr std::uint32_t SPIF_SENDWININICHANGE = 2;
inline constexpr int COLOR_BACKGROUND = 1;
inline constexpr std::uint32_t KEYEVENTF_KEYUP = 2;
inline constexpr std::uint8_t VK_LWIN = 0x5B;
inline constexpr int SW_HIDE = 0;

}  // namespace zinna

#endif
