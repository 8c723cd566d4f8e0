// The window toolkit services on Linux: the hidden main window "Form1", Timer1 on the loop's
// clock, the screen in layout units, the message box as an X dialog, the program's title and
// folder, the random generator, the built-in character host, and the program's end. The session's
// end (SIGTERM, SIGHUP, SIGINT) reaches the program as the session's end does on Windows.
#pragma once

#include "boundary/window_toolkit.h"
#include "stage/host/stage_control.h"

#include "platform/core/toolkit_core.h"
#include "platform/linux/x11/event_loop.h"

#include <functional>
#include <optional>
#include <string>

namespace zinna::x11 {

class HostedAgentControl;

class X11Toolkit final : public platform::CoreToolkit {
public:
    // files reads the character file the program names by its own path.
    X11Toolkit(EventLoop& loop, std::string appTitle, stage::CharacterFileSource files);
    ~X11Toolkit() override;
    X11Toolkit(const X11Toolkit&) = delete;
    X11Toolkit& operator=(const X11Toolkit&) = delete;

    double ScreenWidth() override;
    double ScreenHeight() override;
    double TwipsPerPixelX() override;
    double TwipsPerPixelY() override;
    void MsgBox(const std::string& prompt) override;
    std::string AppTitle() override { return appTitle_; }
    std::string AppPath() override;
    WindowHandle hWnd() override { return static_cast<WindowHandle>(window_); }
    std::unique_ptr<AgentControl> CreateObject(const std::string& progId, AgentEvents& events) override;

    // Runs the loop until End; returns the program's exit code (0 after a quit or the session's
    // end, 1 after a failed character load, 2 after an error). Returns at once when End came first.
    int RunMessageLoop();

    // Called when the session ends (a signal) while the program runs.
    void SetSessionEndingHandler(std::function<void()> handler) { sessionEnding_ = std::move(handler); }

    // Called once, when her first frame has been sent to the screen (start-up measurements).
    void SetFirstFrameListener(std::function<void()> listener) { firstFrame_ = std::move(listener); }

    // The built-in host the program created, if any (tests and benchmarks).
    HostedAgentControl* Host() const { return host_; }
    EventLoop& Loop() { return loop_; }

    static constexpr const char* kAgentProgId = "Agent.Control.2";

private:
    int Dpi() const;

    EventLoop& loop_;
    std::string appTitle_;
    stage::CharacterFileSource files_;
    ::Window window_ = 0;
    std::function<void()> sessionEnding_;
    std::function<void()> firstFrame_;
    HostedAgentControl* host_ = nullptr;
};

}  // namespace zinna::x11
