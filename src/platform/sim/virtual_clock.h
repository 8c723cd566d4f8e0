// A clock whose time moves only when the simulation runs the next due callback, so hours of
// companion life take milliseconds and every run is repeatable.
#pragma once

#include "platform/core/queued_clock.h"

#include <cstdint>
#include <functional>

namespace zinna::sim {

class VirtualClock final : public platform::QueuedClock {
public:
    std::int64_t NowMs() const override { return now_; }

    // Runs due callbacks in time order (scheduling order among equal times) until none is due at or
    // before limitMs, or until shouldStop() is true after a callback. Time ends at limitMs unless stopped.
    void RunUntil(std::int64_t limitMs, const std::function<bool()>& shouldStop);

private:
    void Reached(std::int64_t dueMs) override { now_ = dueMs; }

    std::int64_t now_ = 0;
};

}  // namespace zinna::sim
