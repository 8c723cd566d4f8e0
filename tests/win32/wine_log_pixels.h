// Wine's display DPI for the processes started while a WineLogPixels lives (Windows and Wine fix a
// process's DPI when it starts): the window toolkit's contract and zinna.exe's scaling test.
#pragma once

#include <windows.h>

#include <doctest/doctest.h>

namespace zinna::testing {

// One registry value set for as long as this lives, then put back as it was.
class RegistryDword {
public:
    RegistryDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) : name_(name) {
        REQUIRE(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr) ==
                ERROR_SUCCESS);
        DWORD size = sizeof(before_);
        DWORD type = 0;
        had_ =
            RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&before_), &size) == ERROR_SUCCESS &&
            type == REG_DWORD;
        REQUIRE(RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
                ERROR_SUCCESS);
    }
    ~RegistryDword() {
        if (had_)
            RegSetValueExW(key_, name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before_), sizeof(before_));
        else
            RegDeleteValueW(key_, name_);
        RegCloseKey(key_);
    }
    RegistryDword(const RegistryDword&) = delete;
    RegistryDword& operator=(const RegistryDword&) = delete;

private:
    HKEY key_ = nullptr;
    const wchar_t* name_;
    DWORD before_ = 0;
    bool had_ = false;
};

// Wine reads LogPixels from the hardware profile's fonts key (where winecfg writes it), else from
// the user's desktop key.
struct WineLogPixels {
    RegistryDword profile, desktop;
    explicit WineLogPixels(DWORD dpi)
        : profile(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
                  L"LogPixels", dpi),
          desktop(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", dpi) {}
};

}  // namespace zinna::testing
