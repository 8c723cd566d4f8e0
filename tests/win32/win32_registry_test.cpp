// What the Windows layer's registry functions add to the ZinnaModule contract (tests/contract, where
// texts round-trip in UTF-8, sizes, ERROR_MORE_DATA and missing values are checked): the characters
// Windows stores, and the root key in both of its forms.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_module.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

namespace {

using zinna::win32::Win32Module;

constexpr const char* kTestKey = "Software\\Zinna Tests\\Registry";

// A fresh key for each test, removed afterwards.
struct TestKey {
    TestKey() {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zinna Tests");
        HKEY created = nullptr;
        REQUIRE(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Zinna Tests\\Registry", &created) == ERROR_SUCCESS);
        RegCloseKey(created);
    }
    ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zinna Tests"); }
};

zinna::RegistryKey Open(Win32Module& module) {
    zinna::RegistryKey key = 0;
    REQUIRE(module.RegOpenKeyA(0x80000001u, kTestKey, &key) == ERROR_SUCCESS);
    return key;
}

void SetText(Win32Module& module, const std::string& name, const std::string& text) {
    const zinna::RegistryKey key = Open(module);
    CHECK(module.RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                static_cast<std::uint32_t>(text.size() + 1)) == ERROR_SUCCESS);
    CHECK(module.RegFlushKey(key) == ERROR_SUCCESS);
    CHECK(module.RegCloseKey(key) == ERROR_SUCCESS);
}

// Reads the value whole: its bytes as the "A" function gives them, NUL included.
std::vector<std::uint8_t> Query(Win32Module& module, const std::string& name, std::uint32_t* type = nullptr) {
    zinna::RegistryKey key = 0;
    REQUIRE(module.RegOpenKeyExA(0x80000001u, kTestKey, 0, KEY_READ, &key) == ERROR_SUCCESS);
    std::vector<std::uint8_t> buffer(1024, 0xAA);
    auto size = static_cast<std::uint32_t>(buffer.size());
    REQUIRE(module.RegQueryValueExA(key, name, type, buffer.data(), &size) == ERROR_SUCCESS);
    module.RegCloseKey(key);
    buffer.resize(size);
    return buffer;
}

// What the wide registry holds for the value.
std::wstring StoredWide(const wchar_t* name) {
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Zinna Tests\\Registry", 0, KEY_READ, &key) == ERROR_SUCCESS);
    std::wstring value(512, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    REQUIRE(RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size) ==
            ERROR_SUCCESS);
    RegCloseKey(key);
    value.resize(size / sizeof(wchar_t));
    return value;
}

}  // namespace

TEST_CASE("a non-ASCII text is stored as the same characters, not as the ANSI code page's question marks") {
    TestKey testKey;
    Win32Module module;
    SetText(module, "Wallpaper", "C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81\xE7\xB4\x99.bmp");
    CHECK(StoredWide(L"Wallpaper") == std::wstring(L"C:\\Users\\Zo\u00EB\\Pictures\\\u58C1\u7D19.bmp") + L'\0');
}

TEST_CASE("a text given without its NUL is stored without one, though a NUL follows it in memory") {
    TestKey testKey;
    Win32Module module;
    const zinna::RegistryKey key = Open(module);
    const char text[] = "20";  // Windows would count the NUL after the two characters in
    CHECK(module.RegSetValueExA(key, "Style", 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(text), 2) ==
          ERROR_SUCCESS);
    module.RegCloseKey(key);
    CHECK(StoredWide(L"Style") == L"20");
    CHECK(Query(module, "Style") == std::vector<std::uint8_t>{'2', '0'});
}

TEST_CASE("the root key is accepted as the old 32-bit value and as Windows' own handle") {
    TestKey testKey;
    Win32Module module;
    zinna::RegistryKey key = 0;
    CHECK(module.RegOpenKeyExA(reinterpret_cast<zinna::RegistryKey>(HKEY_CURRENT_USER), kTestKey, 0, KEY_READ, &key) ==
          ERROR_SUCCESS);
    module.RegCloseKey(key);
}

TEST_CASE("the copy-out answers as Windows' own RegQueryValueExA does, for every way of asking") {
    // An ASCII text, whose bytes are the same in the "A" function and in UTF-8.
    TestKey testKey;
    Win32Module module;
    SetText(module, "Style", "10");  // 3 bytes with the NUL
    HKEY real = nullptr;
    REQUIRE(RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &real) == ERROR_SUCCESS);
    zinna::RegistryKey ours = 0;
    REQUIRE(module.RegOpenKeyExA(0x80000001u, kTestKey, 0, KEY_READ, &ours) == ERROR_SUCCESS);

    struct Answer {
        LONG status;
        DWORD type, size;
        std::vector<std::uint8_t> buffer;
    };
    const struct {
        const char* how;
        bool withType, withBuffer, withSize;
        DWORD offered;
    } kRows[] = {
        {"buffer without a size", true, true, false, 0}, {"size query", true, false, true, 0},
        {"type alone", true, false, false, 0},           {"buffer too small", true, true, true, 2},
        {"buffer exact", true, true, true, 3},           {"buffer larger", false, true, true, 16},
    };
    for (const auto& row : kRows) {
        CAPTURE(row.how);
        Answer windows{0, 0xEEEE, row.offered, std::vector<std::uint8_t>(16, 0xAA)};
        windows.status =
            RegQueryValueExA(real, "Style", nullptr, row.withType ? &windows.type : nullptr,
                             row.withBuffer ? windows.buffer.data() : nullptr, row.withSize ? &windows.size : nullptr);
        Answer zinna{0, 0xEEEE, row.offered, std::vector<std::uint8_t>(16, 0xAA)};
        std::uint32_t type = zinna.type, size = zinna.size;
        zinna.status =
            module.RegQueryValueExA(ours, "Style", row.withType ? &type : nullptr,
                                    row.withBuffer ? zinna.buffer.data() : nullptr, row.withSize ? &size : nullptr);
        zinna.type = type;
        zinna.size = size;
        CHECK(zinna.status == windows.status);
        CHECK(zinna.type == windows.type);
        CHECK(zinna.size == windows.size);
        // A buffer too small is undefined in Windows' documentation; ours is left untouched.
        if (windows.status != ERROR_MORE_DATA) CHECK(zinna.buffer == windows.buffer);
    }
    CHECK(RegQueryValueExA(real, "Style", nullptr, nullptr, std::vector<BYTE>(4).data(), nullptr) ==
          ERROR_INVALID_PARAMETER);
    RegCloseKey(real);
    module.RegCloseKey(ours);
}
