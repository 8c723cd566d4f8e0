// Real time for the program's one thread on Linux: callbacks wait in order of their due time, and
// the event loop sleeps until the earliest of them (one timerfd armed for it alone), so nothing
// runs and nothing wakes the thread while nothing is due.
#pragma once

#include "boundary/clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace zinna::x11 {

class LoopClock final : public Clock {
public:
    // Every callback runs through guard, which decides what an escaping error means.
    using Guard = std::function<void(const std::function<void()>&)>;

    LoopClock();

    // Milliseconds of the monotonic clock since this clock was made.
    std::int64_t NowMs() const override;
    ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) override;
    void Cancel(ClockTimerId id) override;

    void SetGuard(Guard guard) { guard_ = std::move(guard); }
    // The earliest due time, in this clock's milliseconds; nullopt when nothing waits.
    std::optional<std::int64_t> NextDueMs() const;
    // The monotonic clock's reading, in nanoseconds, at this clock's time zero.
    std::int64_t EpochNs() const { return epochNs_; }
    // Runs every callback that is due, in order; callbacks scheduled for now by a callback run in
    // this same pass.
    void RunDue();

private:
    using Key = std::pair<std::int64_t, ClockTimerId>;  // due time, then order of scheduling
    std::int64_t epochNs_ = 0;
    Guard guard_;
    ClockTimerId nextId_ = 1;
    std::map<Key, std::function<void()>> pending_;
    std::map<ClockTimerId, std::int64_t> dueOf_;
};

// The monotonic clock in nanoseconds.
std::int64_t MonotonicNs();

}  // namespace zinna::x11
