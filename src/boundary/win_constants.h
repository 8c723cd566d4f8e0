// The Windows API constants the program passes, with Windows' own names and values. The Windows
// layer gets the same names from <windows.h>, which it includes first; then these stay undefined.
#pragma once

#include <cstdint>

namespace zinna {

using RegistryKey = std::uintptr_t;   // an open registry key, or a predefined root key
using WindowHandle = std::uintptr_t;  // a window handle; 0 is no window

#ifndef HKEY_CURRENT_USER
inline constexpr RegistryKey HKEY_CURRENT_USER = 0x80000001;
#endif
#ifndef REG_SZ
inline constexpr std::uint32_t REG_SZ = 1;
#endif
#ifndef KEY_READ
inline constexpr std::uint32_t KEY_READ = 0x20019;
#endif
#ifndef ERROR_SUCCESS
inline constexpr std::int32_t ERROR_SUCCESS = 0;
#endif
#ifndef ERROR_FILE_NOT_FOUND
inline constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
#endif
#ifndef ERROR_INVALID_HANDLE
inline constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
#endif
#ifndef ERROR_MORE_DATA
inline constexpr std::int32_t ERROR_MORE_DATA = 234;
#endif
#ifndef SPI_SETDESKWALLPAPER
inline constexpr std::uint32_t SPI_SETDESKWALLPAPER = 20;
#endif
#ifndef SPIF_UPDATEINIFILE
inline constexpr std::uint32_t SPIF_UPDATEINIFILE = 1;
#endif
#ifndef SPIF_SENDWININICHANGE
inline constexpr std::uint32_t SPIF_SENDWININICHANGE = 2;
#endif
#ifndef COLOR_BACKGROUND
inline constexpr int COLOR_BACKGROUND = 1;
#endif
#ifndef KEYEVENTF_KEYUP
inline constexpr std::uint32_t KEYEVENTF_KEYUP = 2;
#endif
#ifndef VK_LWIN
inline constexpr std::uint8_t VK_LWIN = 0x5B;
#endif
#ifndef SW_HIDE
inline constexpr int SW_HIDE = 0;
#endif

}  // namespace zinna
