// The desktop functions of the Windows layer against Wine's (or Windows') real ones: the wallpaper
// call, the desktop colour, the Windows directory, synthesised keys and the shell's open.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_module.h"
#include "platform/win32/wide_text.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using zinna::win32::Win32Module;

std::wstring DesktopValue(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    std::wstring value(1024, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LONG status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return L"<missing>";
    value.resize(size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

// The keyboard events that reach a low-level hook, as (virtual key, released) pairs.
std::vector<std::pair<DWORD, bool>>* g_keys = nullptr;  // a hook procedure has no context argument

LRESULT CALLBACK RecordKey(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && g_keys != nullptr) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        g_keys->emplace_back(event->vkCode, (event->flags & LLKHF_UP) != 0);
    }
    (void)wParam;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void PumpMessagesFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content(64 * 1024, '\0');
    DWORD read = 0;
    ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
    CloseHandle(file);
    content.resize(read);
    return content;
}

}  // namespace

TEST_CASE("the wallpaper call stores the path, any character of it, in the Wallpaper value") {
    Win32Module module;
    const std::wstring before = DesktopValue(L"Wallpaper");
    const std::string path = "C:\\Users\\Zo\xC3\xAB\\Pictures\\\xE5\xA3\x81\xE7\xB4\x99.bmp";
    CHECK(module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, path, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE));
    CHECK(DesktopValue(L"Wallpaper") == L"C:\\Users\\Zo\u00EB\\Pictures\\\u58C1\u7D19.bmp");

    module.SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, zinna::win32::Utf8FromWide(before),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    CHECK(DesktopValue(L"Wallpaper") == before);
}

TEST_CASE("the desktop colour is set and read back, red in the lowest byte") {
    Win32Module module;
    const std::uint32_t before = module.GetSysColor(COLOR_BACKGROUND);
    const int element = COLOR_BACKGROUND;
    const std::uint32_t teal = 0x00808000;  // red 0, green 128, blue 128
    CHECK(module.SetSysColors(1, &element, &teal));
    CHECK(module.GetSysColor(COLOR_BACKGROUND) == teal);
    CHECK(GetSysColor(COLOR_DESKTOP) == RGB(0, 128, 128));
    CHECK(module.SetSysColors(1, &element, &before));
    CHECK(module.GetSysColor(COLOR_BACKGROUND) == before);
}

TEST_CASE("the Windows directory comes with its length, or the size needed when the buffer is short") {
    Win32Module module;
    wchar_t wide[MAX_PATH];
    const UINT wideLength = GetWindowsDirectoryW(wide, MAX_PATH);
    const std::string expected = zinna::win32::Utf8FromWide({wide, wideLength});
    REQUIRE(!expected.empty());

    std::vector<char> buffer(255, ' ');
    CHECK(module.GetWindowsDirectoryA(buffer.data(), 255) == expected.size());
    CHECK(std::string(buffer.data()) == expected);

    // A buffer one short (no room for the NUL), inside a larger one: nothing may be written.
    std::vector<char> guarded(expected.size() + 8, 'x');
    CHECK(module.GetWindowsDirectoryA(guarded.data(), static_cast<std::uint32_t>(expected.size())) ==
          expected.size() + 1);
    CHECK(std::string(guarded.begin(), guarded.end()) == std::string(guarded.size(), 'x'));
}

TEST_CASE("the four key events of the minimise-all chord reach the system's input, Windows key released last") {
    Win32Module module;
    std::vector<std::pair<DWORD, bool>> keys;
    g_keys = &keys;
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, RecordKey, GetModuleHandleW(nullptr), 0);
    REQUIRE(hook != nullptr);
    module.keybd_event(VK_LWIN, 0, 0, 0);
    module.keybd_event('M', 0, 0, 0);
    module.keybd_event('M', 0, KEYEVENTF_KEYUP, 0);
    module.keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
    PumpMessagesFor(300);
    UnhookWindowsHookEx(hook);
    g_keys = nullptr;

    const std::vector<std::pair<DWORD, bool>> expected = {{VK_LWIN, false}, {'M', false}, {'M', true}, {VK_LWIN, true}};
    CHECK(keys == expected);
    CHECK((GetAsyncKeyState(VK_LWIN) & 0x8000) == 0);
}

TEST_CASE("the shell's open hands the web address to the desktop's browser") {
    const char* log = std::getenv("ZINNA_XDG_OPEN_LOG");
    REQUIRE_MESSAGE(log != nullptr, "run with the recording xdg-open first on PATH");
    // Wine maps the Unix root to drive Z:.
    std::wstring logPath = L"Z:" + zinna::win32::WideFromUtf8(log);
    for (auto& c : logPath) c = c == L'/' ? L'\\' : c;
    DeleteFileW(logPath.c_str());

    Win32Module module;
    const std::string address = "http://lantern-hall.example/?launcher=glint";
    const std::intptr_t result = module.ShellExecuteA(0, "open", address, "", "C:\\windows", SW_HIDE);
    CHECK(result > 32);

    std::string recorded;
    for (int waited = 0; waited < 100 && recorded.find('\n') == std::string::npos; ++waited) {
        Sleep(100);
        recorded = ReadWholeFile(logPath);
    }
    CHECK(recorded == address + "\n");
}
