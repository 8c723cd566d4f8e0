// The queue of callbacks behind every clock: real time on Windows and Linux, virtual time in the
// simulation. The queue's rules live here once; a clock supplies only its "now" and, where it
// sleeps between callbacks, its wake-up (told whenever the earliest due time changes).
#pragma once

#include "boundary/clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace zinna::platform {

class QueuedClock : public Clock {
public:
    // Every callback may run through a guard, which decides what an escaping error means.
    using Guard = std::function<void(const std::function<void()>&)>;

    // A time already past counts as now: it runs after the callbacks already due now.
    ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) final;
    void Cancel(ClockTimerId id) final;

    void SetGuard(Guard guard) { guard_ = std::move(guard); }
    // The earliest due time; nullopt when nothing waits.
    std::optional<std::int64_t> NextDueMs() const;

protected:
    // Runs the callbacks due at or before limitMs (at or before NowMs(), read again after each
    // callback, when none is given) in order of due time, scheduling order among equal times;
    // callbacks scheduled by a callback for a due time run in this same pass. Stops early when
    // shouldStop() is true after a callback, and then says so. A callback may run a pass of its own
    // (a modal loop).
    bool RunDue(std::optional<std::int64_t> limitMs = std::nullopt, const std::function<bool()>& shouldStop = nullptr);

    // The clock's time reaches a callback's due time just before it runs (the virtual clock moves).
    virtual void Reached(std::int64_t /*dueMs*/) {}
    // The earliest due time changed (or nothing waits any more) outside a pass, and once at the
    // end of each pass: a clock that sleeps re-arms its wake-up here.
    virtual void NextDueChanged() {}

private:
    using Key = std::pair<std::int64_t, ClockTimerId>;  // due time, then order of scheduling
    std::map<Key, std::function<void()>> pending_;
    std::map<ClockTimerId, std::int64_t> dueOf_;
    ClockTimerId nextId_ = 1;
    Guard guard_;
    int passes_ = 0;  // passes running, nested ones included
};

}  // namespace zinna::platform
