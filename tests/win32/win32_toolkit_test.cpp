// The window toolkit on Windows: the hidden main window, Timer1 and the message loop, the end of
// the program, the screen in layout units, the session's end and object creation.
#include "platform/win32/windows_api.h"
#include <objbase.h>

#include "platform/win32/win32_toolkit.h"

#include "basic/basic_error.h"
#include "lifecycle/screen_metrics.h"
#include "platform/layout_units.h"

#include <doctest/doctest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using zinna::EndReason;
using zinna::win32::Win32Toolkit;

// Counts ticks and ends the program on the given one.
class CountingTimer final : public zinna::TimerEvents {
public:
    CountingTimer(Win32Toolkit& toolkit, int endOnTick) : toolkit_(toolkit), endOnTick_(endOnTick) {}
    void Timer1_Timer() override {
        ticks.push_back(GetTickCount());
        if (static_cast<int>(ticks.size()) == endOnTick_) toolkit_.End(EndReason::Quit);
    }
    std::vector<DWORD> ticks;

private:
    Win32Toolkit& toolkit_;
    int endOnTick_;
};

class NoEvents final : public zinna::AgentEvents {
public:
    void Command(const std::string&) override {}
    void DblClick(const std::string&, zinna::basic::Integer, zinna::basic::Integer, zinna::basic::Integer,
                  zinna::basic::Integer) override {}
    void DragStart(const std::string&, zinna::basic::Integer, zinna::basic::Integer, zinna::basic::Integer,
                   zinna::basic::Integer) override {}
    void DragComplete(const std::string&, zinna::basic::Integer, zinna::basic::Integer, zinna::basic::Integer,
                      zinna::basic::Integer) override {}
    void RequestStart(zinna::RequestId) override {}
    void RequestComplete(zinna::RequestId) override {}
    void IdleStart(const std::string&) override {}
};

void PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        DispatchMessageW(&message);
    }
}

}  // namespace

TEST_CASE("the main window is hidden, captioned Form1, and its handle is the toolkit's") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    const HWND window = reinterpret_cast<HWND>(toolkit.hWnd());
    REQUIRE(IsWindow(window));
    CHECK_FALSE(IsWindowVisible(window));
    wchar_t caption[32] = {};
    GetWindowTextW(window, caption, 32);
    CHECK(std::wstring(caption) == L"Form1");
    CHECK(FindWindowW(Win32Toolkit::kWindowClass, L"Form1") == window);
    CHECK(toolkit.AppTitle() == "Zinna");
}

TEST_CASE("Timer1 ticks on its interval until the program ends, and the loop then returns the exit code") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    CountingTimer timer(toolkit, 3);
    const DWORD start = GetTickCount();
    toolkit.SetTimer1Interval(100, timer);
    CHECK(toolkit.RunMessageLoop() == 0);
    REQUIRE(timer.ticks.size() == 3);
    // Window timers may come a little early on Wine's coarse clock, never much.
    CHECK(timer.ticks[2] - start >= 250);
    CHECK(timer.ticks[2] - start < 2000);

    // Nothing ticks after the end.
    Sleep(250);
    PumpPending();
    CHECK(timer.ticks.size() == 3);
    CHECK(toolkit.EndedWith() == EndReason::Quit);
}

TEST_CASE("an interval of 0 stops Timer1") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    CountingTimer timer(toolkit, 100);
    toolkit.SetTimer1Interval(50, timer);
    toolkit.SetTimer1Interval(0, timer);
    Sleep(200);
    PumpPending();
    CHECK(timer.ticks.empty());
}

TEST_CASE("an end during start-up means the message loop never runs") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    std::vector<int> ran;
    toolkit.Post([&] { ran.push_back(1); });
    toolkit.End(EndReason::LoadFailure);
    toolkit.Post([&] { ran.push_back(2); });
    CHECK(toolkit.RunMessageLoop() == 1);
    PumpPending();
    CHECK(ran.empty());
}

TEST_CASE("posted work runs later, in order, on the loop's thread") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    std::vector<int> ran;
    toolkit.Post([&] { ran.push_back(1); });
    toolkit.Post([&] {
        ran.push_back(2);
        toolkit.End(EndReason::Error);
    });
    toolkit.Post([&] { ran.push_back(3); });
    CHECK(ran.empty());
    CHECK(toolkit.RunMessageLoop() == 2);
    CHECK(ran == std::vector<int>{1, 2});
}

TEST_CASE("the screen in layout units: whole units per pixel, and the program's arithmetic gives its pixels") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    CAPTURE(dpiX);
    CHECK(toolkit.TwipsPerPixelX() == zinna::TwipsPerPixelAt(dpiX));
    CHECK(toolkit.TwipsPerPixelY() == zinna::TwipsPerPixelAt(dpiY));
    CHECK(zinna::ScreenWidthPixels(toolkit) == GetSystemMetrics(SM_CXSCREEN));
    CHECK(zinna::ScreenHeightPixels(toolkit) == GetSystemMetrics(SM_CYSCREEN));
}

TEST_CASE("the program's folder is the folder of its executable, without a trailing backslash") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    wchar_t exe[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe, length);
    folder.resize(folder.find_last_of(L'\\'));
    const std::string path = toolkit.AppPath();
    CHECK(path.size() == folder.size());
    CHECK(path.back() != '\\');
    CHECK(std::string(path.end() - 6, path.end()) == "\\win32");
}

TEST_CASE("the session's end and a close request put the desktop back through the handler; a cancelled end does not") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    int calls = 0;
    toolkit.SetSessionEndingHandler([&] { ++calls; });
    const HWND window = reinterpret_cast<HWND>(toolkit.hWnd());
    CHECK(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) == TRUE);
    CHECK(calls == 0);
    SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    CHECK(calls == 0);
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    CHECK(calls == 1);
    // A request to close the main window is handled the same way.
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(calls == 2);
    CHECK(IsWindow(window));
    // After the program has ended nothing runs any more.
    toolkit.End(EndReason::Quit);
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(calls == 2);
}

TEST_CASE("an error that escapes a handler ends the program with the error's exit code") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    bool after = false;
    toolkit.Post([] { throw std::runtime_error("escaped"); });
    toolkit.Post([&] { after = true; });
    CHECK(toolkit.RunMessageLoop() == 2);
    CHECK(toolkit.EndedWith() == EndReason::Error);
    CHECK_FALSE(after);
}

TEST_CASE("the end handler hears the program's own end once, and not an end forced by an escaped error") {
    std::vector<EndReason> heard;
    {
        Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
        toolkit.SetEndHandler([&](EndReason reason) { heard.push_back(reason); });
        toolkit.End(EndReason::SessionEnd);
        toolkit.End(EndReason::Quit);
        CHECK(toolkit.RunMessageLoop() == 0);
    }
    CHECK(heard == std::vector<EndReason>{EndReason::SessionEnd});
    {
        // Whatever escaped may have left the desktop dressed: the restore journal must stay.
        Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
        toolkit.SetEndHandler([&](EndReason reason) { heard.push_back(reason); });
        toolkit.Post([] { throw std::runtime_error("escaped"); });
        CHECK(toolkit.RunMessageLoop() == 2);
    }
    CHECK(heard.size() == 1);
}

TEST_CASE("the random generator gives numbers in [0, 1)") {
    Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
    toolkit.Randomize();
    for (int i = 0; i < 1000; ++i) {
        const float r = toolkit.Rnd();
        CHECK(r >= 0.0f);
        CHECK(r < 1.0f);
    }
}

TEST_CASE("creating an object whose identifier is not registered raises error 429") {
    // Any identifier but the old control's: that one has the built-in host in its place.
    REQUIRE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        Win32Toolkit toolkit(GetModuleHandleW(nullptr), "Zinna");
        NoEvents events;
        try {
            toolkit.CreateObject("Zinna.NoSuchControl.1", events);
            FAIL("the object was created");
        } catch (const zinna::basic::BasicError& error) {
            CHECK(error.Number() == zinna::basic::kErrCannotCreateObject);
            CHECK(error.Description() == "ActiveX component can't create object");
        }
    }
    CoUninitialize();
}
