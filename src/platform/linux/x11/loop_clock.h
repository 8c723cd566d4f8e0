// Real time for the program's one thread on Linux: callbacks wait in order of their due time, and
// the event loop sleeps until the earliest of them (its poll's timeout), so nothing runs and nothing
// wakes the thread while nothing is due.
#pragma once

#include "platform/core/queued_clock.h"

#include <cstdint>

namespace zinna::x11 {

class LoopClock final : public platform::QueuedClock {
public:
    LoopClock();

    // Milliseconds of the monotonic clock since this clock was made.
    std::int64_t NowMs() const override;
    // The monotonic clock's reading, in nanoseconds, at this clock's time zero.
    std::int64_t EpochNs() const { return epochNs_; }
    // Runs every callback that is due, in order; callbacks scheduled for now by a callback run in
    // this same pass. (The loop reads NextDueMs() before each wait: it needs no wake-up call.)
    void RunDue() { QueuedClock::RunDue(); }

private:
    std::int64_t epochNs_ = 0;
};

// The monotonic clock in nanoseconds.
std::int64_t MonotonicNs();

}  // namespace zinna::x11
