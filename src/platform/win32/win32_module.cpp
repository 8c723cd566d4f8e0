#include "platform/win32/windows_api.h"
#include <shellapi.h>

#include "platform/win32/win32_module.h"
#include "platform/win32/wide_text.h"

#include "platform/core/registry_copy_out.h"

#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace zinna::win32 {

namespace {

// The program's root keys are the 32-bit values of the old API (HKEY_CURRENT_USER = 0x80000001);
// on 64-bit Windows the predefined handles are those values sign-extended.
HKEY ToHkey(RegistryKey key) {
    const auto low = static_cast<std::uint32_t>(key);
    const bool predefined = low >= 0x80000000u && low <= 0x80000006u;
    const auto high = static_cast<std::uint64_t>(key) >> 32;
    if (predefined && (high == 0 || high == 0xFFFFFFFFu)) {
        return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(low)));
    }
    return reinterpret_cast<HKEY>(key);
}

RegistryKey FromHkey(HKEY key) { return reinterpret_cast<RegistryKey>(key); }

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A null pointer stays null; an empty text stays an empty (non-null) text.
std::optional<std::wstring> OptionalWide(const char* text) {
    if (text == nullptr) return std::nullopt;
    return WideFromUtf8(text);
}

const wchar_t* PointerOf(const std::optional<std::wstring>& text) { return text ? text->c_str() : nullptr; }

}  // namespace

std::int32_t Win32Module::RegOpenKeyA(RegistryKey key, const std::string& subKey, RegistryKey* result) {
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyW(ToHkey(key), WideFromUtf8(subKey).c_str(), &opened);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return status;
}

std::int32_t Win32Module::RegOpenKeyExA(RegistryKey key, const std::string& subKey, std::uint32_t options,
                                        std::uint32_t samDesired, RegistryKey* result) {
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExW(ToHkey(key), WideFromUtf8(subKey).c_str(), options, samDesired, &opened);
    if (result != nullptr) *result = status == ERROR_SUCCESS ? FromHkey(opened) : 0;
    return status;
}

std::int32_t Win32Module::RegQueryValueExA(RegistryKey key, const std::string& valueName, std::uint32_t* type,
                                           std::uint8_t* data, std::uint32_t* dataSize) {
    const HKEY hkey = ToHkey(key);
    const std::wstring name = WideFromUtf8(valueName);
    // Read the whole value first: its size in UTF-8 is known only after conversion.
    DWORD storedType = REG_NONE;
    std::vector<BYTE> stored;
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        DWORD size = 0;
        status = ::RegQueryValueExW(hkey, name.c_str(), nullptr, &storedType, nullptr, &size);
        if (status != ERROR_SUCCESS) break;
        stored.assign(size, 0);
        status = ::RegQueryValueExW(hkey, name.c_str(), nullptr, &storedType, stored.data(), &size);
        stored.resize(size);
    }
    if (status != ERROR_SUCCESS) return status;

    std::string converted;
    if (IsTextType(storedType)) {
        // Every stored character converts, terminating NULs included, exactly as the "A" function.
        std::wstring wide(stored.size() / sizeof(wchar_t), L'\0');
        std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
        converted = Utf8FromWide(wide);
    } else {
        converted.assign(stored.begin(), stored.end());
    }
    return platform::CopyOutValue(storedType,
                                  std::span(reinterpret_cast<const std::uint8_t*>(converted.data()), converted.size()),
                                  type, data, dataSize);
}

std::int32_t Win32Module::RegSetValueExA(RegistryKey key, const std::string& valueName, std::uint32_t reserved,
                                         std::uint32_t type, const std::uint8_t* data, std::uint32_t dataSize) {
    const std::wstring name = WideFromUtf8(valueName);
    if (!IsTextType(type)) {
        return ::RegSetValueExW(ToHkey(key), name.c_str(), reserved, type, data, dataSize);
    }
    // The given bytes, terminating NUL included when given, become the same characters in UTF-16.
    std::wstring wide =
        data == nullptr ? std::wstring() : WideFromUtf8({reinterpret_cast<const char*>(data), dataSize});
    const auto size = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    // Windows adds a NUL that the size leaves out when one follows the text in memory, as a
    // std::wstring's own terminator would: a character that is not NUL follows instead, so that
    // the value is stored exactly as given (the restore writes back exactly what it read).
    wide.push_back(L'?');
    return ::RegSetValueExW(ToHkey(key), name.c_str(), reserved, type, reinterpret_cast<const BYTE*>(wide.data()),
                            size);
}

std::int32_t Win32Module::RegDeleteValueA(RegistryKey key, const std::string& valueName) {
    return ::RegDeleteValueW(ToHkey(key), WideFromUtf8(valueName).c_str());
}

std::int32_t Win32Module::RegFlushKey(RegistryKey key) { return ::RegFlushKey(ToHkey(key)); }

std::int32_t Win32Module::RegCloseKey(RegistryKey key) { return ::RegCloseKey(ToHkey(key)); }

std::uint32_t Win32Module::GetSysColor(int index) { return ::GetSysColor(index); }

bool Win32Module::SetSysColors(int count, const int* elements, const std::uint32_t* colors) {
    static_assert(sizeof(COLORREF) == sizeof(std::uint32_t));
    return ::SetSysColors(count, elements, reinterpret_cast<const COLORREF*>(colors)) != FALSE;
}

bool Win32Module::SystemParametersInfoA(std::uint32_t action, std::uint32_t uiParam, const std::string& path,
                                        std::uint32_t winIni) {
    std::wstring widePath = WideFromUtf8(path);
    return ::SystemParametersInfoW(action, uiParam, widePath.data(), winIni) != FALSE;
}

WindowHandle Win32Module::FindWindowA(const char* className, const char* windowName) {
    const auto wideClass = OptionalWide(className);
    const auto wideName = OptionalWide(windowName);
    return reinterpret_cast<WindowHandle>(::FindWindowW(PointerOf(wideClass), PointerOf(wideName)));
}

bool Win32Module::GetWindowRect(WindowHandle window, Rect* rect) {
    RECT found{};
    if (!::GetWindowRect(reinterpret_cast<HWND>(window), &found)) return false;
    if (rect != nullptr) *rect = Rect{found.left, found.top, found.right, found.bottom};
    return true;
}

void Win32Module::keybd_event(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                              std::uintptr_t extraInfo) {
    ::keybd_event(virtualKey, scanCode, flags, extraInfo);
}

std::uint32_t Win32Module::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
    std::wstring wide(MAX_PATH, L'\0');
    UINT length = ::GetWindowsDirectoryW(wide.data(), static_cast<UINT>(wide.size()));
    if (length >= wide.size()) {
        wide.assign(length, L'\0');
        length = ::GetWindowsDirectoryW(wide.data(), static_cast<UINT>(wide.size()));
    }
    if (length == 0) return 0;
    wide.resize(length);
    const std::string path = Utf8FromWide(wide);
    const auto pathBytes = static_cast<std::uint32_t>(path.size());
    if (buffer == nullptr || size < pathBytes + 1) return pathBytes + 1;
    std::memcpy(buffer, path.c_str(), pathBytes + 1);
    return pathBytes;
}

std::intptr_t Win32Module::ShellExecuteA(WindowHandle owner, const std::string& operation, const std::string& file,
                                         const std::string& parameters, const std::string& directory, int showCommand) {
    const HINSTANCE result =
        ::ShellExecuteW(reinterpret_cast<HWND>(owner), WideFromUtf8(operation).c_str(), WideFromUtf8(file).c_str(),
                        WideFromUtf8(parameters).c_str(), WideFromUtf8(directory).c_str(), showCommand);
    return reinterpret_cast<std::intptr_t>(result);
}

}  // namespace zinna::win32
