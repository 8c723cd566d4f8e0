// A clock whose time moves only when the simulation runs the next due callback, so hours of
// companion life take milliseconds and every run is repeatable.
#pragma once

#include "boundary/clock.h"

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace zinna::sim {

class VirtualClock final : public Clock {
public:
    std::int64_t NowMs() const override { return now_; }
    ClockTimerId ScheduleAt(std::int64_t timeMs, std::function<void()> callback) override;
    void Cancel(ClockTimerId id) override;

    // Runs due callbacks in time order (scheduling order among equal times) until none is due at or
    // before limitMs, or until shouldStop() is true after a callback. Time ends at limitMs unless stopped.
    void RunUntil(std::int64_t limitMs, const std::function<bool()>& shouldStop);

private:
    using Key = std::pair<std::int64_t, ClockTimerId>;  // (time, sequence)
    std::map<Key, std::function<void()>> pending_;
    std::map<ClockTimerId, std::int64_t> timeOf_;
    std::int64_t now_ = 0;
    ClockTimerId nextId_ = 1;
};

}  // namespace zinna::sim
