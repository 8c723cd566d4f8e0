// The one dispatch point: start-up, every timer tick and every event of the character control
// reach the form through here. This is where the program's policy for an error that leaves a
// handler lives: the desktop is put back, the error is reported, and the program ends. Around every
// handler but the tick's, Timer1's ticks left for later (they only count) are caught up, so that the
// handler sees the count of its time, and Timer1 hears afterwards what the handler changed.
#pragma once

#include "basic/basic_error.h"
#include "boundary/agent_control.h"
#include "boundary/window_toolkit.h"

#include <cstdint>
#include <functional>

namespace zinna {

class ZinnaForm;

class EventDispatch final : public AgentEvents, public TimerEvents {
public:
    EventDispatch(ZinnaForm& form, WindowToolkit& toolkit) : form_(form), toolkit_(toolkit) {}

    // Runs the start-up sequence (the main window's initialise event).
    void Start();
    // The user is logging off or shutting down: the desktop is put back and the program ends.
    void SessionEnding();
    // An error escaped every handler, this dispatch's own report included (the platform's guard
    // caught it): the desktop is put back without a word and the program ends with the error's
    // reason. Throws when the desktop could not be put back, so that the platform keeps the restore
    // journal for the next start.
    void EndAfterEscapedError();

    void Timer1_Timer() override;
    std::int64_t TicksThatOnlyCount() override;
    void Command(const std::string& name) override;
    void DblClick(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                  basic::Integer y) override;
    void DragStart(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                   basic::Integer y) override;
    void DragComplete(const std::string& characterId, basic::Integer button, basic::Integer shift, basic::Integer x,
                      basic::Integer y) override;
    void RequestStart(RequestId request) override;
    void RequestComplete(RequestId request) override;
    void IdleStart(const std::string& characterId) override;

private:
    // A handler of the program's, with Timer1 caught up before and after it.
    void Run(const std::function<void()>& handler);
    // A handler alone (a tick's).
    void RunHandler(const std::function<void()>& handler);
    void ReportUnhandled(const basic::BasicError& error);

    ZinnaForm& form_;
    WindowToolkit& toolkit_;
    bool inErrorReport_ = false;
    int handlersRunning_ = 0;  // more than one while a handler runs inside another (a message box)
};

}  // namespace zinna
