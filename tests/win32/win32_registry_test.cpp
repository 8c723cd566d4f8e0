// The registry functions of the Windows layer against Wine's (or Windows') real registry: UTF-8
// texts in, the same texts out, sizes in UTF-8 bytes.
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

std::vector<std::uint8_t> BytesWithNul(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// What the wide registry holds for the value.
std::wstring StoredWide(const wchar_t* name) {
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Zinna Tests\\Registry", 0, KEY_READ, &key) ==
            ERROR_SUCCESS);
    std::wstring value(512, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    REQUIRE(RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size) ==
            ERROR_SUCCESS);
    RegCloseKey(key);
    value.resize(size / sizeof(wchar_t));
    return value;
}

}  // namespace

TEST_CASE("texts round-trip through the registry with their NUL counted in UTF-8 bytes") {
    TestKey testKey;
    Win32Module module;
    const std::string nonAscii = "C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81\xE7\xB4\x99.bmp";  // Zoë, 壁紙
    const std::string long300(300, 'w');
    for (const std::string& text : {std::string("C:\\WINDOWS\\Clouds.bmp"), std::string(), nonAscii, long300}) {
        CAPTURE(text);
        SetText(module, "Wallpaper", text);
        std::uint32_t type = 0;
        CHECK(Query(module, "Wallpaper", &type) == BytesWithNul(text));
        CHECK(type == REG_SZ);
    }
}

TEST_CASE("a non-ASCII text is stored as the same characters, not as the ANSI code page's question marks") {
    TestKey testKey;
    Win32Module module;
    SetText(module, "Wallpaper", "C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81\xE7\xB4\x99.bmp");
    CHECK(StoredWide(L"Wallpaper") == std::wstring(L"C:\\Users\\Zo\u00EB\\Pictures\\\u58C1\u7D19.bmp") + L'\0');
}

TEST_CASE("a value of size 0 reads back as size 0") {
    TestKey testKey;
    Win32Module module;
    const zinna::RegistryKey key = Open(module);
    const std::uint8_t unused = 0;
    CHECK(module.RegSetValueExA(key, "Empty", 0, REG_SZ, &unused, 0) == ERROR_SUCCESS);
    module.RegCloseKey(key);
    CHECK(Query(module, "Empty").empty());
}

TEST_CASE("a buffer too small gives ERROR_MORE_DATA and the size needed in UTF-8 bytes") {
    TestKey testKey;
    Win32Module module;
    const std::string text = "Zo\xC3\xAB";  // 3 characters, 4 bytes
    SetText(module, "Style", text);
    zinna::RegistryKey key = 0;
    REQUIRE(module.RegOpenKeyExA(0x80000001u, kTestKey, 0, KEY_READ, &key) == ERROR_SUCCESS);

    // Four bytes offered in a larger buffer: nothing may be written, least of all past the four.
    std::vector<std::uint8_t> guarded(8, 0xAA);
    std::uint32_t size = 4;
    CHECK(module.RegQueryValueExA(key, "Style", nullptr, guarded.data(), &size) == ERROR_MORE_DATA);
    CHECK(size == 5);
    CHECK(guarded == std::vector<std::uint8_t>(8, 0xAA));

    std::uint32_t asked = 0;
    CHECK(module.RegQueryValueExA(key, "Style", nullptr, nullptr, &asked) == ERROR_SUCCESS);
    CHECK(asked == 5);

    std::uint8_t exact[5] = {};
    size = sizeof exact;
    CHECK(module.RegQueryValueExA(key, "Style", nullptr, exact, &size) == ERROR_SUCCESS);
    CHECK(std::vector<std::uint8_t>(exact, exact + 5) == BytesWithNul(text));
    module.RegCloseKey(key);
}

TEST_CASE("missing keys and values give Windows' error codes") {
    TestKey testKey;
    Win32Module module;
    zinna::RegistryKey key = 123;
    CHECK(module.RegOpenKeyA(0x80000001u, "Software\\Zinna Tests\\Missing", &key) == ERROR_FILE_NOT_FOUND);
    CHECK(key == 0);
    CHECK(module.RegOpenKeyExA(0x80000001u, "Software\\Zinna Tests\\Missing", 0, KEY_READ, &key) ==
          ERROR_FILE_NOT_FOUND);

    key = Open(module);
    std::uint8_t buffer[16];
    std::uint32_t size = sizeof buffer;
    CHECK(module.RegQueryValueExA(key, "NoSuchValue", nullptr, buffer, &size) == ERROR_FILE_NOT_FOUND);
    CHECK(module.RegDeleteValueA(key, "NoSuchValue") == ERROR_FILE_NOT_FOUND);
    module.RegCloseKey(key);
}

TEST_CASE("a deleted value is gone") {
    TestKey testKey;
    Win32Module module;
    SetText(module, "TileWallpaper", "1");
    const zinna::RegistryKey key = Open(module);
    CHECK(module.RegDeleteValueA(key, "TileWallpaper") == ERROR_SUCCESS);
    std::uint32_t size = 0;
    CHECK(module.RegQueryValueExA(key, "TileWallpaper", nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND);
    module.RegCloseKey(key);
}

TEST_CASE("the root key is accepted as the old 32-bit value and as Windows' own handle") {
    TestKey testKey;
    Win32Module module;
    zinna::RegistryKey key = 0;
    CHECK(module.RegOpenKeyExA(reinterpret_cast<zinna::RegistryKey>(HKEY_CURRENT_USER), kTestKey, 0, KEY_READ,
                               &key) == ERROR_SUCCESS);
    module.RegCloseKey(key);
}
