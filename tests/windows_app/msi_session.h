// The installer package as a test meets it under Wine: msiexec run as a user would run it, what the
// Windows Installer says is installed, the files, the Start menu and the "Apps & features" entry,
// and the user's desktop that Zinna dresses and must put back.
#pragma once

#include "platform/win32/windows_api.h"
#include <msi.h>
#include <shlobj.h>

#include "desktop_session.h"

#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zinna::testing {

inline std::string RequiredEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') throw std::runtime_error(std::string(name) + " is not set");
    return value;
}

inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A path from the environment (a Unix path), as Windows sees it.
inline std::wstring PathFromEnvironment(const char* name) { return WindowsPathOf(RequiredEnvironment(name)); }

inline std::optional<std::string> FileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

// A started process, ended by force if it still runs when this goes.
class ChildProcess {
public:
    ChildProcess(const std::wstring& exe, const std::wstring& arguments)
        : ChildProcess(L"\"" + exe + L"\" " + arguments) {}
    // A whole command line, as Windows runs one from the registry.
    explicit ChildProcess(std::wstring commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info_))
            throw std::runtime_error("cannot start a process");
        CloseHandle(info_.hThread);
    }
    ~ChildProcess() {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hProcess);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD Id() const { return info_.dwProcessId; }
    std::optional<DWORD> WaitForExit(DWORD milliseconds) const {
        if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    void Kill() const {
        TerminateProcess(info_.hProcess, 137);
        WaitForSingleObject(info_.hProcess, INFINITE);
    }

private:
    PROCESS_INFORMATION info_{};
};

inline std::wstring Msiexec() { return KnownFolder(CSIDL_SYSTEM) + L"\\msiexec.exe"; }

// msiexec with the arguments, quietly; its exit code (nullopt when it did not end in time).
inline std::optional<DWORD> RunMsiexec(const std::wstring& arguments) {
    const ChildProcess msiexec(Msiexec(), arguments + L" /qn");
    return msiexec.WaitForExit(180000);
}

inline std::optional<DWORD> Install(const std::wstring& package) { return RunMsiexec(L"/i \"" + package + L"\""); }
inline std::optional<DWORD> Uninstall(const std::wstring& productCode) { return RunMsiexec(L"/x " + productCode); }

// Waits for a message box of the process; nullptr when none showed in time or the process ended.
inline HWND FindMessageBox(const ChildProcess& process, DWORD milliseconds) {
    struct Search {
        DWORD processId;
        HWND box = nullptr;
    } search{process.Id()};
    WaitFor(
        [&] {
            EnumWindows(
                [](HWND window, LPARAM context) -> BOOL {
                    auto* wanted = reinterpret_cast<Search*>(context);
                    DWORD owner = 0;
                    GetWindowThreadProcessId(window, &owner);
                    wchar_t className[16] = {};
                    GetClassNameW(window, className, 16);
                    if (owner != wanted->processId || !IsWindowVisible(window) ||
                        std::wcscmp(className, L"#32770") != 0)
                        return TRUE;
                    wanted->box = window;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.box != nullptr || process.WaitForExit(0).has_value();
        },
        milliseconds, 100);
    return search.box;
}

// Waits for a message box of the process and answers it with OK; returns its text.
inline std::optional<std::wstring> AnswerMessageBox(const ChildProcess& process, DWORD milliseconds) {
    const HWND box = FindMessageBox(process, milliseconds);
    if (box == nullptr) return std::nullopt;
    wchar_t text[1024] = {};
    GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 1024);  // the message box's text
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

// msiexec as a person runs it (not quietly): what it said in a message box, if anything, and its
// exit code.
struct MsiexecOutcome {
    std::optional<std::wstring> message;
    std::optional<DWORD> exitCode;
};
inline MsiexecOutcome RunMsiexecShown(const std::wstring& arguments) {
    const ChildProcess msiexec(Msiexec(), arguments);
    MsiexecOutcome outcome;
    outcome.message = AnswerMessageBox(msiexec, 180000);
    outcome.exitCode = msiexec.WaitForExit(60000);
    return outcome;
}

// The products installed with Zinna's UpgradeCode, as the Windows Installer knows them.
inline std::vector<std::wstring> InstalledZinnas() {
    const std::wstring upgradeCode = L"{" + Wide(RequiredEnvironment("ZINNA_MSI_UPGRADE_CODE")) + L"}";
    std::vector<std::wstring> products;
    wchar_t product[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, product) == ERROR_SUCCESS; ++i)
        products.emplace_back(product);
    return products;
}

inline std::optional<std::wstring> ProductInfo(const std::wstring& productCode, const wchar_t* property) {
    wchar_t value[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (MsiGetProductInfoW(productCode.c_str(), property, value, &size) != ERROR_SUCCESS) return std::nullopt;
    return value;
}

// A value of the product's "Apps & features" entry; nullopt when there is none.
inline std::optional<std::wstring> UninstallEntry(const std::wstring& productCode, const wchar_t* name) {
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
    wchar_t value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// Where the package puts things.
inline std::wstring InstalledExe() { return KnownFolder(CSIDL_PROGRAM_FILES) + L"\\Zinna\\zinna.exe"; }
inline std::wstring WindowsFile(const wchar_t* name) { return KnownFolder(CSIDL_WINDOWS) + L"\\" + name; }

// The Start menu's "Zinna" shortcuts, for all users and for this one. Per machine, Windows puts it
// in the common Start menu; Wine's installer puts it in the user's.
inline std::vector<std::wstring> StartMenuShortcuts() {
    std::vector<std::wstring> found;
    for (const int folder : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        const std::wstring path = KnownFolder(folder) + L"\\Zinna.lnk";
        if (FileExists(path)) found.push_back(path);
    }
    return found;
}

struct ShortcutTarget {
    std::wstring path, iconPath;
    int iconIndex = -1;
};

inline std::optional<ShortcutTarget> ReadShortcut(const std::wstring& file) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<ShortcutTarget> target;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        wchar_t path[MAX_PATH] = {}, icon[MAX_PATH] = {};
        ShortcutTarget read;
        if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
            SUCCEEDED(link->GetIconLocation(icon, MAX_PATH, &read.iconIndex))) {
            read.path = path;
            read.iconPath = icon;
            target = read;
        }
        persist->Release();
    }
    link->Release();
    return target;
}

// The user's desktop values that Zinna changes while she runs.
struct DesktopState {
    std::optional<std::wstring> wallpaper, tile, style;
    DWORD background = 0;
    bool operator==(const DesktopState&) const = default;
};

// HACK: Wine keeps a process's system colours from its first read on, so the desktop colour is
// read by a new process each time (the probe gives it as its exit code).
inline DWORD DesktopColour() {
    const ChildProcess probe(PathFromEnvironment("ZINNA_COLOUR_PROBE"), L"");
    return probe.WaitForExit(10000).value_or(0xFFFFFFFF);
}

inline DesktopState ReadDesktop() {
    return {ReadDesktopValue(L"Wallpaper"), ReadDesktopValue(L"TileWallpaper"), ReadDesktopValue(L"WallpaperStyle"),
            DesktopColour()};
}

inline void SetUserDesktop() {
    HKEY key = nullptr;
    if (RegCreateKeyW(HKEY_CURRENT_USER, kDesktopKey, &key) != ERROR_SUCCESS) return;
    const std::wstring wallpaper = L"C:\\Users\\Zo\u00EB\\Pictures\\Garden.bmp";
    RegSetValueExW(key, L"Wallpaper", 0, REG_SZ, reinterpret_cast<const BYTE*>(wallpaper.c_str()),
                   static_cast<DWORD>((wallpaper.size() + 1) * sizeof(wchar_t)));
    RegDeleteValueW(key, L"TileWallpaper");
    RegDeleteValueW(key, L"WallpaperStyle");
    RegCloseKey(key);
    const int element = COLOR_DESKTOP;
    const COLORREF teal = RGB(0, 128, 128);
    SetSysColors(1, &element, &teal);
}

// Whether the desktop shows Zinna's wallpaper: she is running, or was killed while she ran.
inline bool DesktopDressed() {
    const auto wallpaper = ReadDesktopValue(L"Wallpaper");
    return wallpaper && wallpaper->c_str() == WindowsFile(L"LH1024x768.bmp");
}

}  // namespace zinna::testing
