// What a person at the desktop does and sees, for tests of zinna.exe under Wine and Xvfb: the X
// display's own tools (xdotool for the mouse and keys, ImageMagick's import for screenshots) run as
// Unix programs, and windows are found through Windows' window functions.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zinna::testing {

// A Unix path as Windows sees it, on drive Z:.
inline std::wstring WindowsPathOf(const std::string& unixPath) {
    std::wstring wide(unixPath.begin(), unixPath.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (auto& c : wide) c = c == L'/' ? L'\\' : c;
    return wide;
}

inline constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";

// One of the user's desktop values under HKEY_CURRENT_USER, as stored (terminating NUL included);
// nullopt when it does not exist.
inline std::optional<std::wstring> ReadDesktopValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    std::wstring value(1024, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LONG status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    value.resize(size / sizeof(wchar_t));
    return value;
}

inline std::string EnvironmentOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// Waits until the condition holds, polling; false when the time ran out.
inline bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds, DWORD pollMs = 50) {
    for (DWORD start = GetTickCount();;) {
        if (condition()) return true;
        if (GetTickCount() - start > milliseconds) return false;
        Sleep(pollMs);
    }
}

// Runs a command with the Unix shell and waits for it to end; returns its exit status, or nullopt
// when it did not end in time.
// HACK: Wine starts Unix programs but does not track them (their handle is signalled at once and
// their exit code is lost), so the shell writes the status to a file that is polled for.
inline std::optional<int> RunUnixCommand(const std::string& command, DWORD milliseconds = 20000) {
    static int counter = 0;
    const std::string work = EnvironmentOr("ZINNA_DESKTOP_WORK_DIR", "/tmp");
    const std::string marker =
        work + "/unix-command-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".status";
    const std::wstring markerPath = WindowsPathOf(marker);
    DeleteFileW(markerPath.c_str());
    // Double quotes would end the argument: commands use single quotes.
    if (command.find('"') != std::string::npos) throw std::invalid_argument("no double quotes in Unix commands");
    // The Unix program gets Wine's idea of PATH, so the shell sets the Unix one first.
    std::string line = "sh -c \"PATH=/usr/bin:/bin; export PATH; " + command + "; echo $? > " + marker + ".tmp && mv " +
                       marker + ".tmp " + marker + "\"";
    std::wstring commandLine(line.begin(), line.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return std::nullopt;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::optional<int> status;
    WaitFor(
        [&] {
            std::ifstream file(markerPath.c_str());
            int value = 0;
            if (file >> value) status = value;
            return status.has_value();
        },
        milliseconds, 20);
    DeleteFileW(markerPath.c_str());
    return status;
}

// An RGB picture of the screen.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t At(int x, int y) const {  // 0xRRGGBB; 0xFF000000 outside
        if (x < 0 || y < 0 || x >= width || y >= height) return 0xFF000000u;
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
    }
    // Whether every pixel of the rectangle has one of the colours.
    bool AllOf(const RECT& r, const std::vector<std::uint32_t>& colours) const {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (std::find(colours.begin(), colours.end(), At(x, y)) == colours.end()) return false;
        return true;
    }
    // Pixels darker than mid-grey in every component: ink.
    int CountDark(const RECT& r) const {
        int count = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const std::uint32_t c = At(x, y);
                count += c < 0xFF000000u && (c >> 16 & 0xFF) < 0x80 && (c >> 8 & 0xFF) < 0x80 && (c & 0xFF) < 0x80;
            }
        return count;
    }
    int Count(const RECT& r, std::uint32_t colour) const {
        int count = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) count += At(x, y) == colour;
        return count;
    }
};

// Takes a screenshot of the whole X screen; keepAsPng, when given, also keeps it as a PNG file.
inline std::optional<Screenshot> TakeScreenshot(const std::string& keepAsPng = "") {
    static int counter = 0;
    const std::string work = EnvironmentOr("ZINNA_DESKTOP_WORK_DIR", "/tmp");
    const std::string ppm =
        work + "/screen-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".ppm";
    std::string command = "import -window root -depth 8 ppm:" + ppm;
    if (!keepAsPng.empty()) command += " && import -window root png:" + keepAsPng;
    if (RunUnixCommand(command) != std::optional<int>(0)) return std::nullopt;
    std::ifstream file(WindowsPathOf(ppm).c_str(), std::ios::binary);
    std::string magic;
    int maxValue = 0;
    Screenshot shot;
    file >> magic >> shot.width >> shot.height >> maxValue;
    file.get();
    if (magic != "P6" || maxValue != 255 || shot.width <= 0 || shot.height <= 0) return std::nullopt;
    shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
    file.read(reinterpret_cast<char*>(shot.rgb.data()), static_cast<std::streamsize>(shot.rgb.size()));
    file.close();
    DeleteFileW(WindowsPathOf(ppm).c_str());
    if (!file) return std::nullopt;
    return shot;
}

// Mouse and keys through the X server, as a person's would come.
inline bool Xdotool(const std::string& arguments) {
    return RunUnixCommand("xdotool " + arguments) == std::optional<int>(0);
}

inline bool VisibleWindowRect(HWND window, RECT& rect) {
    return window != nullptr && IsWindowVisible(window) && GetWindowRect(window, &rect);
}

struct FoundWindow {
    DWORD processId;
    const wchar_t* className;
    HWND window = nullptr;
};

// A visible top-level window of the process with the class, or nullptr.
inline HWND VisibleWindowOf(DWORD processId, const wchar_t* className) {
    FoundWindow found{processId, className};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* wanted = reinterpret_cast<FoundWindow*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            if (owner == wanted->processId && IsWindowVisible(window) &&
                std::wcscmp(className, wanted->className) == 0) {
                wanted->window = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.window;
}

}  // namespace zinna::testing
