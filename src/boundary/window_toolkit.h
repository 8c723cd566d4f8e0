// The window toolkit services the main window relies on: the screen, its timer, the message box,
// the application's title and folder, the random generator, object creation and the program's end.
#pragma once

#include "basic/numeric.h"
#include "boundary/agent_control.h"
#include "boundary/win_constants.h"

#include <memory>
#include <string>

namespace zinna {

// How the program ended.
enum class EndReason { Quit, LoadFailure, Error, SessionEnd };

const char* EndReasonName(EndReason reason);  // "quit", "load-failure", "error", "session-end"

class TimerEvents {
public:
    virtual ~TimerEvents() = default;
    virtual void Timer1_Timer() = 0;
};

class WindowToolkit {
public:
    virtual ~WindowToolkit() = default;

    // The screen in layout units of 1/1440 inch, and layout units per pixel in each direction.
    virtual double ScreenWidth() = 0;
    virtual double ScreenHeight() = 0;
    virtual double TwipsPerPixelX() = 0;
    virtual double TwipsPerPixelY() = 0;

    // Timer1 ticks every intervalMs milliseconds into the given handler; 0 stops it.
    virtual void SetTimer1Interval(basic::Long intervalMs, TimerEvents& handler) = 0;

    // A modal message box with one OK button, no icon, the application's title as its caption.
    // Returns when the user has closed it.
    virtual void MsgBox(const std::string& prompt) = 0;
    virtual std::string AppTitle() = 0;
    virtual std::string AppPath() = 0;  // the folder that holds the program, no trailing backslash
    virtual WindowHandle hWnd() = 0;    // the main window

    // The program's one random generator: seeded once from the clock, then drawn from.
    virtual void Randomize() = 0;
    virtual float Rnd() = 0;

    // Creates an object from its identifier with its events bound to the given handler. Raises
    // error 429 when no such object is registered.
    virtual std::unique_ptr<AgentControl> CreateObject(const std::string& progId, AgentEvents& events) = 0;

    // Ends the program at once: no further event is delivered. The caller unwinds right after.
    virtual void End(EndReason reason) = 0;
};

}  // namespace zinna
