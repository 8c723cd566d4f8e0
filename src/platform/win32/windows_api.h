// The Windows layer's one way to <windows.h>. The program's constants (boundary/win_constants.h)
// come first, as C++ constants; <windows.h> then defines macros of the same names, which is what
// the rest of a Windows-layer file sees. The checks below keep both sets of numbers equal.
#pragma once

#include "boundary/win_constants.h"

namespace zinna::win32::program_constants {
// Copies under other names: once <windows.h> is in, the original names are Windows' macros.
inline constexpr auto kRegSz = REG_SZ;
inline constexpr auto kKeyRead = KEY_READ;
inline constexpr auto kErrorSuccess = ERROR_SUCCESS;
inline constexpr auto kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
inline constexpr auto kErrorInvalidHandle = ERROR_INVALID_HANDLE;
inline constexpr auto kErrorMoreData = ERROR_MORE_DATA;
inline constexpr auto kSpiSetDeskWallpaper = SPI_SETDESKWALLPAPER;
inline constexpr auto kSpifUpdateIniFile = SPIF_UPDATEINIFILE;
inline constexpr auto kSpifSendWinIniChange = SPIF_SENDWININICHANGE;
inline constexpr auto kColorBackground = COLOR_BACKGROUND;
inline constexpr auto kKeyEventKeyUp = KEYEVENTF_KEYUP;
inline constexpr auto kVkLwin = VK_LWIN;
inline constexpr auto kSwHide = SW_HIDE;
}  // namespace zinna::win32::program_constants

#include <windows.h>

namespace zinna::win32::program_constants {
// HKEY_CURRENT_USER is a pointer in <windows.h>, which a constant expression cannot compare;
// win32_module.cpp maps the program's 32-bit value to it (the registry tests cover that).
static_assert(kRegSz == REG_SZ);
static_assert(kKeyRead == KEY_READ);
static_assert(kErrorSuccess == ERROR_SUCCESS);
static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kSpiSetDeskWallpaper == SPI_SETDESKWALLPAPER);
static_assert(kSpifUpdateIniFile == SPIF_UPDATEINIFILE);
static_assert(kSpifSendWinIniChange == SPIF_SENDWININICHANGE);
static_assert(kColorBackground == COLOR_BACKGROUND);
static_assert(kKeyEventKeyUp == KEYEVENTF_KEYUP);
static_assert(kVkLwin == VK_LWIN);
static_assert(kSwHide == SW_HIDE);
}  // namespace zinna::win32::program_constants
