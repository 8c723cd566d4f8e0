// The clock that drives the timer and the character's request playback: real time in the
// companion, a virtual clock in the simulation. Callbacks run on the program's one thread.
#pragma once

#include <cstdint>
#include <functional>

namespace zinna {

using ClockTimerId = std::uint64_t;

class Clock {
public:
    virtual ~Clock() = default;

    virtual std::int64_t NowMs() const = 0;
    // Runs the callback once at the given time (or as soon as possible after it). Callbacks due at
    // the same time run in the order they were scheduled.
    virtual ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) = 0;
    virtual void Cancel(ClockTimerId id) = 0;
};

}  // namespace zinna
