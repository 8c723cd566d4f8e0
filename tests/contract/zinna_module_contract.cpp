// The cases of the ZinnaModule contract: every operating-system function the program calls, with the
// answers Windows gives. Each case starts from a fresh implementation and leaves the desktop as it
// found it (the wallpaper, the colour), so that it can run against a real desktop.
#include "contract/zinna_module_contract.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>
#include <vector>

namespace zinna::contract {

namespace {

// Value types beyond the one the program writes (REG_SZ); the restore writes back whatever it read.
constexpr std::uint32_t kTypeExpandSz = 2;
constexpr std::uint32_t kTypeBinary = 3;
constexpr std::uint32_t kTypeDword = 4;
constexpr std::int32_t kAccessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr std::int32_t kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER

constexpr char kDesktopKeyPath[] = "Control Panel\\Desktop";
const std::string kNonAscii = "C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81\xE7\xB4\x99.bmp";  // Zoë, 壁紙

using Bytes = std::vector<std::uint8_t>;

// The registration's key for the registry cases, set for the run (the cases are plain functions).
std::string registryKey = kContractKey;

// The key's path with the letter case of every letter turned over.
std::string CaseTurned(std::string path) {
    for (char& c : path) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return path;
}

Bytes BytesWithNul(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// Opened as the program opens a key to write: RegOpenKeyA, full access.
RegistryKey OpenForWriting(ZinnaModule& module, const char* path = nullptr) {
    RegistryKey key = 0;
    REQUIRE(module.RegOpenKeyA(HKEY_CURRENT_USER, path ? path : registryKey.c_str(), &key) == ERROR_SUCCESS);
    REQUIRE(key != 0);
    return key;
}

// Opened as the program opens a key to read: RegOpenKeyExA with KEY_READ.
RegistryKey OpenForReading(ZinnaModule& module, const char* path = nullptr) {
    RegistryKey key = 0;
    REQUIRE(module.RegOpenKeyExA(HKEY_CURRENT_USER, path ? path : registryKey.c_str(), 0, KEY_READ, &key) ==
            ERROR_SUCCESS);
    REQUIRE(key != 0);
    return key;
}

void Write(ZinnaModule& module, const std::string& name, std::uint32_t type, const Bytes& data,
           const char* path = nullptr) {
    const RegistryKey key = OpenForWriting(module, path);
    CHECK(module.RegSetValueExA(key, name, 0, type, data.data(), static_cast<std::uint32_t>(data.size())) ==
          ERROR_SUCCESS);
    CHECK(module.RegFlushKey(key) == ERROR_SUCCESS);
    CHECK(module.RegCloseKey(key) == ERROR_SUCCESS);
}

struct Read {
    std::int32_t status = ERROR_SUCCESS;
    std::uint32_t type = 0;
    Bytes data;
};

// Reads a value whole into a buffer larger than any case's value.
Read ReadValue(ZinnaModule& module, const std::string& name, const char* path = nullptr) {
    const RegistryKey key = OpenForReading(module, path);
    Read read;
    read.data.assign(1024, 0xAA);
    auto size = static_cast<std::uint32_t>(read.data.size());
    read.status = module.RegQueryValueExA(key, name, &read.type, read.data.data(), &size);
    read.data.resize(read.status == ERROR_SUCCESS ? size : 0);
    CHECK(module.RegCloseKey(key) == ERROR_SUCCESS);
    return read;
}

std::optional<std::string> DesktopWallpaper(ZinnaModule& module) {
    Read read = ReadValue(module, "Wallpaper", kDesktopKeyPath);
    if (read.status != ERROR_SUCCESS) return std::nullopt;
    std::string text(read.data.begin(), read.data.end());
    return text.substr(0, text.find('\0'));
}

// Puts the user's wallpaper back as the program's quit does, whatever the case did.
class WallpaperKept {
public:
    explicit WallpaperKept(ZinnaModule& module) : module_(module), before_(DesktopWallpaper(module)) {}
    ~WallpaperKept() {
        if (before_) {
            module_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, *before_,
                                          SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
        } else {
            module_.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "", SPIF_SENDWININICHANGE);
            RegistryKey key = 0;
            if (module_.RegOpenKeyA(HKEY_CURRENT_USER, kDesktopKeyPath, &key) == ERROR_SUCCESS) {
                module_.RegDeleteValueA(key, "Wallpaper");
                module_.RegCloseKey(key);
            }
        }
    }
    const std::optional<std::string>& Before() const { return before_; }

private:
    ZinnaModule& module_;
    std::optional<std::string> before_;
};

struct ModuleCase {
    const char* id;
    const char* behaviour;
    void (*run)(ZinnaModule& module);
};

const ModuleCase kCases[] = {
    // --- the registry --------------------------------------------------------------------------------
    {"text-round-trip", "a text written with its NUL reads back as the same bytes and REG_SZ, sizes in UTF-8 bytes",
     [](ZinnaModule& module) {
         for (const std::string& text :
              {std::string("C:\\WINDOWS\\Clouds.bmp"), std::string(), kNonAscii, std::string(300, 'w')}) {
             CAPTURE(text);
             Write(module, "Wallpaper", REG_SZ, BytesWithNul(text));
             const Read read = ReadValue(module, "Wallpaper");
             CHECK(read.status == ERROR_SUCCESS);
             CHECK(read.type == REG_SZ);
             CHECK(read.data == BytesWithNul(text));
         }
     }},
    {"size-zero", "a value of size 0 reads back as size 0",
     [](ZinnaModule& module) {
         Write(module, "Empty", REG_SZ, {});
         const Read read = ReadValue(module, "Empty");
         CHECK(read.status == ERROR_SUCCESS);
         CHECK(read.type == REG_SZ);
         CHECK(read.data.empty());
     }},
    {"text-without-nul", "a text written without its NUL reads back without one",
     [](ZinnaModule& module) {
         Write(module, "Style", REG_SZ, Bytes{'2', '0'});
         CHECK(ReadValue(module, "Style").data == Bytes{'2', '0'});
     }},
    {"size-query", "no buffer asks for the size: success, the size with the NUL, and the type",
     [](ZinnaModule& module) {
         Write(module, "Style", REG_SZ, BytesWithNul("Zo\xC3\xAB"));  // 3 characters, 4 bytes
         const RegistryKey key = OpenForReading(module);
         std::uint32_t size = 0, type = 0;
         CHECK(module.RegQueryValueExA(key, "Style", &type, nullptr, &size) == ERROR_SUCCESS);
         CHECK(size == 5);
         CHECK(type == REG_SZ);
         module.RegCloseKey(key);
     }},
    {"more-data", "a buffer too small gives ERROR_MORE_DATA, the size needed and the type, and is left untouched",
     [](ZinnaModule& module) {
         Write(module, "Style", REG_SZ, BytesWithNul("Zo\xC3\xAB"));
         const RegistryKey key = OpenForReading(module);
         // Four bytes offered in a larger buffer: nothing may be written, least of all past the four.
         Bytes guarded(8, 0xAA);
         std::uint32_t size = 4, type = 0;
         CHECK(module.RegQueryValueExA(key, "Style", &type, guarded.data(), &size) == ERROR_MORE_DATA);
         CHECK(size == 5);
         CHECK(type == REG_SZ);
         CHECK(guarded == Bytes(8, 0xAA));

         Bytes exact(5, 0xAA);
         size = 5;
         CHECK(module.RegQueryValueExA(key, "Style", nullptr, exact.data(), &size) == ERROR_SUCCESS);
         CHECK(size == 5);
         CHECK(exact == BytesWithNul("Zo\xC3\xAB"));
         module.RegCloseKey(key);
     }},
    {"offered-sizes", "a buffer smaller than the value gives ERROR_MORE_DATA, one as large or larger the bytes",
     [](ZinnaModule& module) {
         const Bytes value = BytesWithNul("Zo\xC3\xAB");  // 5 bytes
         Write(module, "Style", REG_SZ, value);
         const RegistryKey key = OpenForReading(module);
         const struct {
             std::uint32_t offered;
             std::int32_t status;
         } kRows[] = {{0, ERROR_MORE_DATA}, {1, ERROR_MORE_DATA}, {4, ERROR_MORE_DATA},
                      {5, ERROR_SUCCESS},   {6, ERROR_SUCCESS},   {64, ERROR_SUCCESS}};
         for (const auto& row : kRows) {
             CAPTURE(row.offered);
             Bytes buffer(80, 0xAA);
             std::uint32_t size = row.offered, type = 0;
             CHECK(module.RegQueryValueExA(key, "Style", &type, buffer.data(), &size) == row.status);
             CHECK(size == 5);  // the size needed, or the size copied
             CHECK(type == REG_SZ);
             Bytes expected(80, 0xAA);
             if (row.status == ERROR_SUCCESS) std::copy(value.begin(), value.end(), expected.begin());
             CHECK(buffer == expected);  // nothing written beyond the value, nothing at all when too small
         }
         module.RegCloseKey(key);
     }},
    {"buffer-without-size", "a buffer without a size pointer is ERROR_INVALID_PARAMETER: nothing written, no type",
     [](ZinnaModule& module) {
         Write(module, "Style", REG_SZ, BytesWithNul("2"));
         const RegistryKey key = OpenForReading(module);
         Bytes buffer(8, 0xAA);
         std::uint32_t type = 0xEEEE;
         CHECK(module.RegQueryValueExA(key, "Style", &type, buffer.data(), nullptr) == kInvalidParameter);
         CHECK(buffer == Bytes(8, 0xAA));
         CHECK(type == 0xEEEE);
         module.RegCloseKey(key);
     }},
    {"type-only", "neither a buffer nor a size asks for the type alone: success and the type",
     [](ZinnaModule& module) {
         Write(module, "Number", kTypeDword, Bytes{1, 0, 0, 0});
         const RegistryKey key = OpenForReading(module);
         std::uint32_t type = 0;
         CHECK(module.RegQueryValueExA(key, "Number", &type, nullptr, nullptr) == ERROR_SUCCESS);
         CHECK(type == kTypeDword);
         module.RegCloseKey(key);
     }},
    {"value-types", "DWORD, binary (NULs inside) and expandable text values keep their type and bytes",
     [](ZinnaModule& module) {
         const Bytes dword{0x78, 0x56, 0x34, 0x12};
         const Bytes binary{0, 1, 0, 0xFF, 0};
         const Bytes expandable = BytesWithNul("%SystemRoot%\\Web");
         Write(module, "Number", kTypeDword, dword);
         Write(module, "Blob", kTypeBinary, binary);
         Write(module, "Path", kTypeExpandSz, expandable);
         for (const auto& value : {std::tuple{"Number", kTypeDword, dword}, std::tuple{"Blob", kTypeBinary, binary},
                                   std::tuple{"Path", kTypeExpandSz, expandable}}) {
             const auto& [name, type, data] = value;
             CAPTURE(std::get<0>(value));
             const Read read = ReadValue(module, name);
             CHECK(read.type == type);
             CHECK(read.data == data);
         }
     }},
    {"overwrite-changes-type", "writing a value again replaces its bytes and its type",
     [](ZinnaModule& module) {
         Write(module, "TileWallpaper", REG_SZ, BytesWithNul("1"));
         Write(module, "TileWallpaper", kTypeDword, Bytes{1, 0, 0, 0});
         const Read read = ReadValue(module, "TileWallpaper");
         CHECK(read.type == kTypeDword);
         CHECK(read.data == Bytes{1, 0, 0, 0});
     }},
    {"names-ignore-case", "key paths and value names match without regard to letter case",
     [](ZinnaModule& module) {
         Write(module, "Wallpaper", REG_SZ, BytesWithNul("a.bmp"));
         const Read read = ReadValue(module, "WALLPAPER", CaseTurned(registryKey).c_str());
         CHECK(read.status == ERROR_SUCCESS);
         CHECK(read.data == BytesWithNul("a.bmp"));
     }},
    {"missing-value", "a missing value gives ERROR_FILE_NOT_FOUND to a read, a size query and a delete",
     [](ZinnaModule& module) {
         const RegistryKey key = OpenForWriting(module);
         Bytes buffer(16);
         std::uint32_t size = 16;
         CHECK(module.RegQueryValueExA(key, "NoSuchValue", nullptr, buffer.data(), &size) == ERROR_FILE_NOT_FOUND);
         size = 0;
         CHECK(module.RegQueryValueExA(key, "NoSuchValue", nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND);
         CHECK(module.RegDeleteValueA(key, "NoSuchValue") == ERROR_FILE_NOT_FOUND);
         module.RegCloseKey(key);
     }},
    {"missing-key", "a missing key is not created: both opens give ERROR_FILE_NOT_FOUND and a null key",
     [](ZinnaModule& module) {
         RegistryKey key = 123;
         CHECK(module.RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Zinna Tests\\Missing", &key) == ERROR_FILE_NOT_FOUND);
         CHECK(key == 0);
         key = 123;
         CHECK(module.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zinna Tests\\Missing", 0, KEY_READ, &key) ==
               ERROR_FILE_NOT_FOUND);
         CHECK(key == 0);
         CHECK(module.RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Zinna Tests\\Missing", &key) == ERROR_FILE_NOT_FOUND);
     }},
    {"delete-value", "a deleted value is gone, and deleting it again finds nothing",
     [](ZinnaModule& module) {
         Write(module, "TileWallpaper", REG_SZ, BytesWithNul("1"));
         const RegistryKey key = OpenForWriting(module);
         CHECK(module.RegDeleteValueA(key, "TileWallpaper") == ERROR_SUCCESS);
         std::uint32_t size = 0;
         CHECK(module.RegQueryValueExA(key, "TileWallpaper", nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND);
         CHECK(module.RegDeleteValueA(key, "TileWallpaper") == ERROR_FILE_NOT_FOUND);
         module.RegCloseKey(key);
     }},
    {"closed-key", "a closed key is an invalid handle: closing it again and reading through it fail",
     [](ZinnaModule& module) {
         Write(module, "Wallpaper", REG_SZ, BytesWithNul("a.bmp"));
         const RegistryKey key = OpenForReading(module);
         CHECK(module.RegCloseKey(key) == ERROR_SUCCESS);
         CHECK(module.RegCloseKey(key) == ERROR_INVALID_HANDLE);
         Bytes buffer(16);
         std::uint32_t size = 16;
         CHECK(module.RegQueryValueExA(key, "Wallpaper", nullptr, buffer.data(), &size) == ERROR_INVALID_HANDLE);
     }},
    {"read-only-key", "a key opened for reading refuses a write with ERROR_ACCESS_DENIED",
     [](ZinnaModule& module) {
         const RegistryKey key = OpenForReading(module);
         const Bytes data = BytesWithNul("1");
         CHECK(module.RegSetValueExA(key, "TileWallpaper", 0, REG_SZ, data.data(), 2) == kAccessDenied);
         module.RegCloseKey(key);
         CHECK(ReadValue(module, "TileWallpaper").status == ERROR_FILE_NOT_FOUND);
     }},

    // --- the wallpaper and the desktop colour ---------------------------------------------------------
    {"wallpaper-stored", "the wallpaper call asked to update the profile stores the path, any character of it",
     [](ZinnaModule& module) {
         WallpaperKept kept(module);
         CHECK(module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, kNonAscii,
                                            SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE));
         CHECK(DesktopWallpaper(module) == kNonAscii);
         const Read read = ReadValue(module, "Wallpaper", kDesktopKeyPath);
         CHECK(read.type == REG_SZ);
     }},
    {"wallpaper-not-stored", "the wallpaper call without SPIF_UPDATEINIFILE leaves the stored path as it was",
     [](ZinnaModule& module) {
         WallpaperKept kept(module);
         CHECK(module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\a.bmp",
                                            SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE));
         CHECK(module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "C:\\b.bmp", SPIF_SENDWININICHANGE));
         CHECK(DesktopWallpaper(module) == "C:\\a.bmp");
     }},
    {"wallpaper-empty", "an empty path is accepted (no wallpaper) and stored as the empty text",
     [](ZinnaModule& module) {
         WallpaperKept kept(module);
         CHECK(module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "", SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE));
         CHECK(DesktopWallpaper(module) == "");
     }},
    {"desktop-colour", "the desktop colour is set and read back, red in the lowest byte",
     [](ZinnaModule& module) {
         const std::uint32_t before = module.GetSysColor(COLOR_BACKGROUND);
         const int element = COLOR_BACKGROUND;
         for (std::uint32_t colour : {0x00808000u, 0x00000000u, 0x00FFFFFFu, 0x00010203u}) {
             CAPTURE(colour);
             CHECK(module.SetSysColors(1, &element, &colour));
             CHECK(module.GetSysColor(COLOR_BACKGROUND) == colour);
         }
         CHECK(module.SetSysColors(1, &element, &before));
         CHECK(module.GetSysColor(COLOR_BACKGROUND) == before);
     }},

    // --- the Windows directory -----------------------------------------------------------------------
    {"windows-directory", "the Windows directory comes with its length, or copies nothing and gives the size needed",
     [](ZinnaModule& module) {
         std::vector<char> roomy(1024, 'x');
         const std::uint32_t length = module.GetWindowsDirectoryA(roomy.data(), 1024);
         const std::string path(roomy.data());
         REQUIRE(length > 0);
         CHECK(path.size() == length);
         CHECK(path.find(':') == 1);  // a drive letter

         // One short (no room for the NUL), inside a larger buffer: nothing may be written.
         std::vector<char> guarded(length + 8, 'x');
         CHECK(module.GetWindowsDirectoryA(guarded.data(), length) == length + 1);
         CHECK(guarded == std::vector<char>(length + 8, 'x'));
         CHECK(module.GetWindowsDirectoryA(nullptr, 0) == length + 1);

         std::vector<char> exact(length + 1, 'x');
         CHECK(module.GetWindowsDirectoryA(exact.data(), length + 1) == length);
         CHECK(std::string(exact.data()) == path);
     }},

    // --- windows ---------------------------------------------------------------------------------------
    {"taskbar-found", "the taskbar is found by its class with an empty title (or none), not with another title",
     [](ZinnaModule& module) {
         const WindowHandle taskbar = module.FindWindowA("Shell_TrayWnd", "");
         REQUIRE(taskbar != 0);
         CHECK(module.FindWindowA("Shell_TrayWnd", nullptr) == taskbar);
         CHECK(module.FindWindowA("shell_traywnd", "") == taskbar);  // class names ignore case
         CHECK(module.FindWindowA("Shell_TrayWnd", "Taskbar") == 0);
         Rect rect;
         REQUIRE(module.GetWindowRect(taskbar, &rect));
         CHECK(rect.Right > rect.Left);
         CHECK(rect.Bottom > rect.Top);
     }},
    {"no-window", "no window of the class means 0, and no rectangle: the rectangle keeps what it held",
     [](ZinnaModule& module) {
         CHECK(module.FindWindowA("Zinna No Such Class", "") == 0);
         CHECK(module.FindWindowA("Zinna No Such Class", nullptr) == 0);
         Rect rect{1, 2, 3, 4};
         CHECK_FALSE(module.GetWindowRect(0, &rect));
         CHECK(rect.Left == 1);
         CHECK(rect.Bottom == 4);
     }},

    // --- the shell -------------------------------------------------------------------------------------
    {"shell-open", "the shell takes an open of a web address: a result above 32",
     [](ZinnaModule& module) {
         CHECK(module.ShellExecuteA(0, "open", "http://lantern-hall.example/", "", "", SW_HIDE) > 32);
     }},
};

}  // namespace

void RunZinnaModuleContract(const ZinnaModuleRegistration& registration) {
    RunCases<ModuleCase>("ZinnaModule", registration.implementation, kCases, registration.differences,
                         [&](const ModuleCase& c) {
                             registryKey = registration.registryKey;
                             std::shared_ptr<ZinnaModule> module = registration.makeFresh();
                             REQUIRE(module != nullptr);
                             c.run(*module);
                         });
}

}  // namespace zinna::contract
