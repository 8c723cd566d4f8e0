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

class Win32Toolkit final : public WindowToolkit, public UiThreadQueue {
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
    void SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) override;
    void MsgBox(const std::string& prompt) override;
    std::string AppTitle() override;
    std::string AppPath() override;
    WindowHandle hWnd() override;
    void Randomize() override;
    float Rnd() override;
    std::unique_ptr<AgentControl> CreateObject(const std::string& progId, AgentEvents& events) override;
    void End(EndReason reason) override;

    void Post(std::function<void()> work) override;

    // Runs the message loop until End; returns the program's exit code (0 after a quit, 1 after a
    // failed character load, 2 after an error). Returns at once when End came first.
    int RunMessageLoop();
    std::optional<EndReason> EndedWith() const { return core_.EndedWith(); }
    // Whether the end handler heard the end (not after an escaped error whose desktop stayed dressed).
    bool EndedInOrder() const { return core_.EndedInOrder(); }

    // Called when Windows ends the user's session (log off, shut down) while the program runs, and
    // when the main window is asked to close.
    void SetSessionEndingHandler(std::function<void()> handler) { sessionEnding_ = std::move(handler); }
    // Called when the program ends in order (each of its endings gives the desktop back first);
    // not when an error escaped every handler and the desktop could not be given back.
    void SetEndHandler(std::function<void(EndReason)> handler) { core_.SetEndHandler(std::move(handler)); }
    // Gives the desktop back after an error escaped every handler (see ToolkitCore::Guard).
    void SetDesktopRescue(std::function<void()> rescue) { core_.SetDesktopRescue(std::move(rescue)); }

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
    // Timer1's clock: a message-only window of this thread, so a modal loop keeps it ticking.
    Win32Clock clock_;
    platform::ToolkitCore core_;
    std::deque<std::function<void()>> posted_;
    std::function<void()> sessionEnding_;
};

}  // namespace zinna::win32
