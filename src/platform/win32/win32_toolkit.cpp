#include "platform/win32/windows_api.h"

#include "platform/win32/win32_toolkit.h"

#include "platform/win32/agent_com_control.h"
#include "platform/win32/hosted_agent_control.h"
#include "platform/layout_units.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handle.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace zinna::win32 {

namespace {

constexpr UINT kRunPostedMessage = WM_APP + 1;
// The main window's stored client area, in pixels at 96 dots per inch.
constexpr int kClientWidth = 312;
constexpr int kClientHeight = 213;

void RegisterMainWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = Win32Toolkit::kWindowClass;
    // A second toolkit in the same process (tests) finds the class already there.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error("cannot register the main window class");
    }
}

}  // namespace

Win32Toolkit::Win32Toolkit(HINSTANCE instance, std::string appTitle)
    : Timer1Clock(instance, [this](const std::function<void()>& work) { RunGuarded(work); }),
      CoreToolkit(timer1Clock),
      instance_(instance),
      appTitle_(std::move(appTitle)) {
    core_.SetPlatformStop([this](EndReason reason) { Stop(reason); });
    // Nothing unwinds through Windows' message dispatch; the standard error (a console or a script
    // that started her) and a debugger hear what escaped.
    core_.SetErrorReport([](const std::string& description) {
        const std::string line = "zinna: an error escaped every handler: " + description + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        OutputDebugStringW(WideFromUtf8(line).c_str());
    });
    RegisterMainWindowClass(instance_, &Win32Toolkit::WindowProcedure);
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    // The window is never shown: the character is the program's only visible presence. It exists
    // for its timer, its handle and the session's end.
    window_ = CreateWindowExW(0, kWindowClass, L"Form1", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) throw std::runtime_error("cannot create the main window");
}

Win32Toolkit::~Win32Toolkit() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK Win32Toolkit::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* creator = static_cast<Win32Toolkit*>(create->lpCreateParams);
        creator->window_ = window;  // messages come before CreateWindowExW returns
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creator));
    }
    auto* toolkit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (toolkit == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return toolkit->Handle(message, wParam, lParam);
}

LRESULT Win32Toolkit::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kRunPostedMessage:
            RunNextPosted();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;  // never hold up the user's log off or shut down
        case WM_ENDSESSION:
            // The session really ends: put the user's desktop back while there is still time.
            if (wParam != FALSE && sessionEnding_) RunGuarded(sessionEnding_);
            return 0;
        case WM_CLOSE:
            // Someone asks the program to close (a task manager's gentle end): the same as the
            // session's end, so that the desktop is put back. The window itself goes with the program.
            if (sessionEnding_) RunGuarded(sessionEnding_);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32Toolkit::Post(std::function<void()> work) {
    if (core_.Ended()) return;
    posted_.push_back(std::move(work));
    PostMessageW(window_, kRunPostedMessage, 0, 0);
}

void Win32Toolkit::RunNextPosted() {
    if (core_.Ended() || posted_.empty()) return;
    std::function<void()> work = std::move(posted_.front());
    posted_.pop_front();
    RunGuarded(work);
}

int Win32Toolkit::RunMessageLoop() {
    MSG message;
    while (!core_.Ended()) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return core_.ExitCode();
}

int Win32Toolkit::LogicalPixelsX() {
    const WindowDc screen(nullptr);
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSX);
    return dpi > 0 ? dpi : 96;
}

int Win32Toolkit::LogicalPixelsY() {
    const WindowDc screen(nullptr);
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    return dpi > 0 ? dpi : 96;
}

// Whole layout units per pixel, and the screen as its pixels times that figure, so that the
// program's whole-number arithmetic gives the true pixel size at every scaling.
double Win32Toolkit::TwipsPerPixelX() { return TwipsPerPixelAt(LogicalPixelsX()); }

double Win32Toolkit::TwipsPerPixelY() { return TwipsPerPixelAt(LogicalPixelsY()); }

double Win32Toolkit::ScreenWidth() { return ScreenTwips(GetSystemMetrics(SM_CXSCREEN), LogicalPixelsX()); }

double Win32Toolkit::ScreenHeight() { return ScreenTwips(GetSystemMetrics(SM_CYSCREEN), LogicalPixelsY()); }

void Win32Toolkit::MsgBox(const std::string& prompt) {
    MessageBoxW(window_, WideFromUtf8(prompt).c_str(), WideFromUtf8(appTitle_).c_str(), MB_OK | MB_SETFOREGROUND);
}

std::string Win32Toolkit::AppTitle() { return appTitle_; }

std::string Win32Toolkit::AppPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash);
    // A drive's root keeps its backslash: "C:" alone would mean that drive's current folder.
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return Utf8FromWide(path);
}

WindowHandle Win32Toolkit::hWnd() { return reinterpret_cast<WindowHandle>(window_); }

std::unique_ptr<AgentControl> Win32Toolkit::CreateObject(const std::string& progId, AgentEvents& events) {
    // The installed control wins where it is registered; everywhere else the built-in host takes
    // its place, on this thread's real time.
    if (CompareStringOrdinal(WideFromUtf8(progId).c_str(), -1, kAgentProgId, -1, TRUE) == CSTR_EQUAL &&
        !ProgIdIsRegistered(progId)) {
        // The hidden main window owns her windows, as a form owns its pop-ups.
        return std::make_unique<HostedAgentControl>(
            instance_, events, [this](const std::function<void()>& work) { RunGuarded(work); }, window_);
    }
    return CreateAgentControl(progId, events, *this);
}

void Win32Toolkit::Stop(EndReason reason) {
    posted_.clear();
    PostQuitMessage(platform::ExitCodeOf(reason));
}

}  // namespace zinna::win32
