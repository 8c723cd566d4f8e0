// The window toolkit services the main window relies on: the screen, its timer, the message box,
// the application's title and folder, the random generator, object creation and the program's end.
#pragma once

#include "basic/numeric.h"
#include "boundary/agent_control.h"
#include "boundary/win_constants.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace zinna {

// How the program ended.
enum class EndReason { Quit, LoadFailure, Error, SessionEnd };

const char* EndReasonName(EndReason reason);  // "quit", "load-failure", "error", "session-end"

class TimerEvents {
public:
    // No coming tick matters (see TicksThatOnlyCount).
    static constexpr std::int64_t kEveryTickOnlyCounts = std::numeric_limits<std::int64_t>::max();

    virtual ~TimerEvents() = default;
    virtual void Timer1_Timer() = 0;
    // How many of the coming ticks would only count: their handler changes nothing but state that
    // only the program's own handlers read, so long as no other handler runs first. The toolkit
    // need not wake the process for those: it runs them later, in order, before the program's next
    // handler or right before the tick that matters. 0, the default, says the next tick matters.
    virtual std::int64_t TicksThatOnlyCount() { return 0; }
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
    // Runs Timer1's ticks that came due but were left for later because they only count, then
    // plans its next wake-up from what the handler says now. The program calls it around each of
    // its handlers, so that no handler sees a count that is behind and a change of mode is heard.
    virtual void CatchUpTimer1() = 0;

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
