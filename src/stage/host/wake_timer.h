// The one clock timer that wakes the character when she next has something to do by herself.
#pragma once

#include "boundary/clock.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace zinna::stage {

class WakeTimer {
public:
    WakeTimer(Clock& clock, std::function<void()> wake) : clock_(clock), wake_(std::move(wake)) {}
    ~WakeTimer();
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;

    // Wakes at dueMs, instead of any time set before; nullopt: no wake-up.
    void WakeAt(std::optional<std::int64_t> dueMs);
    std::optional<std::int64_t> DueMs() const { return dueMs_; }

private:
    Clock& clock_;
    std::function<void()> wake_;
    std::optional<ClockTimerId> timer_;
    std::optional<std::int64_t> dueMs_;
};

}  // namespace zinna::stage
