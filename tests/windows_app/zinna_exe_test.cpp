// zinna.exe as a user meets it on a Windows without the old character control: it dresses the
// desktop, fails to create the control, reports that in its message box, and leaves the user's
// desktop as it found it. A second Zinna started while one runs exits at once and touches nothing.
// The path of zinna.exe comes as ZINNA_EXE (a Unix path under Wine, mapped to drive Z:).
#include <windows.h>

#include "platform/win32/single_instance.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";

std::wstring ZinnaExe() {
    const char* path = std::getenv("ZINNA_EXE");
    REQUIRE_MESSAGE(path != nullptr, "ZINNA_EXE names zinna.exe");
    std::wstring wide(path, path + std::strlen(path));
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (auto& c : wide) c = c == L'/' ? L'\\' : c;
    return wide;
}

std::optional<std::wstring> ReadDesktopValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    std::wstring value(1024, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LONG status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    value.resize(size / sizeof(wchar_t));
    return value;  // as stored, terminating NUL included
}

void WriteDesktopValue(const wchar_t* name, const std::optional<std::wstring>& text) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyW(HKEY_CURRENT_USER, kDesktopKey, &key) == ERROR_SUCCESS);
    if (text) {
        const std::wstring withNul = *text + L'\0';
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(withNul.c_str()),
                       static_cast<DWORD>(withNul.size() * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, name);
    }
    RegCloseKey(key);
}

struct DesktopState {
    std::optional<std::wstring> wallpaper, tile, style;
    COLORREF background = 0;
    bool operator==(const DesktopState&) const = default;
};

DesktopState ReadDesktop() {
    return {ReadDesktopValue(L"Wallpaper"), ReadDesktopValue(L"TileWallpaper"), ReadDesktopValue(L"WallpaperStyle"),
            GetSysColor(COLOR_DESKTOP)};
}

void SetUserDesktop(const std::optional<std::wstring>& tile, const std::optional<std::wstring>& style) {
    WriteDesktopValue(L"Wallpaper", L"C:\\Users\\Zo\u00EB\\Pictures\\\u58C1\u7D19.bmp");
    WriteDesktopValue(L"TileWallpaper", tile);
    WriteDesktopValue(L"WallpaperStyle", style);
    const int element = COLOR_DESKTOP;
    const COLORREF teal = RGB(0, 128, 128);
    SetSysColors(1, &element, &teal);
}

struct Process {
    PROCESS_INFORMATION info{};
    explicit Process(const std::wstring& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"\"" + exe + L"\"";
        REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info));
    }
    ~Process() {
        if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 99);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    std::optional<DWORD> WaitForExit(DWORD milliseconds) {
        if (WaitForSingleObject(info.hProcess, milliseconds) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        return code;
    }
};

struct FoundBox {
    DWORD processId;
    HWND box;
};

BOOL CALLBACK FindMessageBox(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<FoundBox*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == found->processId && std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
        found->box = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for the process's message box; nullptr when none came in time or the process ended first.
HWND WaitForMessageBox(Process& process, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 100) {
        FoundBox found{process.info.dwProcessId, nullptr};
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&found));
        if (found.box != nullptr) return found.box;
        if (WaitForSingleObject(process.info.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// Runs zinna.exe on the desktop as it is and reads its report; returns the text of its message box.
std::wstring RunZinnaToItsReport(const DesktopState& before) {
    Process zinna(ZinnaExe());
    const HWND box = WaitForMessageBox(zinna, 30000);
    REQUIRE_MESSAGE(box != nullptr, "zinna.exe showed no message box");
    // While the report shows, the desktop has already been put back.
    CHECK(ReadDesktop() == before);
    CHECK(WindowText(box) == L"Zinna");
    const std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));  // the message box's text
    // The user presses OK.
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    CHECK(zinna.WaitForExit(10000) == std::optional<DWORD>(2));
    return text;
}

}  // namespace

TEST_CASE("without the character control zinna.exe reports the failure and leaves the desktop as it was") {
    SetUserDesktop(L"1", L"0");
    const DesktopState before = ReadDesktop();
    const std::wstring report = RunZinnaToItsReport(before);
    CAPTURE(std::string(report.begin(), report.end()));
    CHECK(report.find(L"ActiveX component can't create object") != std::wstring::npos);
    CHECK(ReadDesktop() == before);
    CHECK(GetSysColor(COLOR_DESKTOP) == RGB(0, 128, 128));
}

TEST_CASE("style values the user never had are not left behind") {
    SetUserDesktop(std::nullopt, std::nullopt);
    const DesktopState before = ReadDesktop();
    RunZinnaToItsReport(before);
    CHECK_FALSE(ReadDesktopValue(L"TileWallpaper").has_value());
    CHECK_FALSE(ReadDesktopValue(L"WallpaperStyle").has_value());
    CHECK(ReadDesktop() == before);
}

TEST_CASE("a second Zinna exits at once and touches nothing") {
    SetUserDesktop(L"0", L"2");
    const DesktopState before = ReadDesktop();
    // This test plays the first Zinna.
    const zinna::win32::SingleInstance first;
    REQUIRE(first.IsFirst());
    Process second(ZinnaExe());
    CHECK(second.WaitForExit(10000) == std::optional<DWORD>(0));
    CHECK(ReadDesktop() == before);
}
