// The window toolkit services on Windows: the hidden main window "Form1" and its message loop,
// Timer1 on a window timer, the screen in layout units, the message box, the program's title and
// folder, the random generator, the installed character control, and the program's end.
#pragma once

#include "platform/win32/windows_api.h"

#include "boundary/window_toolkit.h"
#include "platform/core/toolkit_core.h"
#include "platform/win32/ui_thread_queue.h"
#include "platform/win32/win32_clock.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace zinna::win32 {

// Timer1's clock, made before the core that runs on it: a message-only window of this thread, so
// that a modal loop keeps it ticking.
struct Timer1Clock {
    explicit Timer1Clock(HINSTANCE instance, Win32Clock::Guard guard) : timer1Clock(instance, std::move(guard)) {}
    Win32Clock timer1Clock;
};

class Win32Toolkit final : private Timer1Clock, public platform::CoreToolkit, public UiThreadQueue {
public:
    // Creates the hidden main window. appTitle is the caption of the message box.
    Win32Toolkit(HINSTANCE instance, std::string appTitle);
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    double ScreenWidth() override;
    double ScreenHeight() override;
    double TwipsPerPixelX() override;
    double TwipsPerPixelY() override;
    void MsgBox(const std::string& prompt) override;
    std::string AppTitle() override;
    std::string AppPath() override;
    WindowHandle hWnd() override;
    std::unique_ptr<AgentControl> CreateObject(const std::string& progId, AgentEvents& events) override;

    void Post(std::function<void()> work) override;

    // Runs the message loop until End; returns the program's exit code (0 after a quit, 1 after a
    // failed character load, 2 after an error). Returns at once when End came first.
    int RunMessageLoop();

    // Called when Windows ends the user's session (log off, shut down) while the program runs, and
    // when the main window is asked to close.
    void SetSessionEndingHandler(std::function<void()> handler) { sessionEnding_ = std::move(handler); }

    // How the main window's class is registered, so that the session's end can be sent to it.
    static constexpr const wchar_t* kWindowClass = L"ZinnaMainWindow";
    // The old control's ProgID: where it is not registered, the built-in host takes its place.
    static constexpr const wchar_t* kAgentProgId = L"Agent.Control.2";

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void RunGuarded(const std::function<void()>& work) { core_.Guard(work); }
    void Stop(EndReason reason);
    void RunNextPosted();
    int LogicalPixelsX();
    int LogicalPixelsY();

    HINSTANCE instance_;
    std::string appTitle_;
    HWND window_ = nullptr;
    std::deque<std::function<void()>> posted_;
    std::function<void()> sessionEnding_;
};

}  // namespace zinna::win32
