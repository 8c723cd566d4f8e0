#include "platform/sim/virtual_clock.h"

#include <algorithm>

namespace zinna::sim {

ClockTimerId VirtualClock::ScheduleAt(std::int64_t timeMs, std::function<void()> callback) {
    ClockTimerId id = nextId_++;
    std::int64_t when = std::max(timeMs, now_);  // the past is as soon as possible
    pending_.emplace(Key{when, id}, std::move(callback));
    timeOf_.emplace(id, when);
    return id;
}

void VirtualClock::Cancel(ClockTimerId id) {
    auto it = timeOf_.find(id);
    if (it == timeOf_.end()) return;
    pending_.erase(Key{it->second, id});
    timeOf_.erase(it);
}

void VirtualClock::RunUntil(std::int64_t limitMs, const std::function<bool()>& shouldStop) {
    while (!pending_.empty()) {
        auto first = pending_.begin();
        if (first->first.first > limitMs) break;
        now_ = first->first.first;
        std::function<void()> callback = std::move(first->second);
        timeOf_.erase(first->first.second);
        pending_.erase(first);
        callback();
        if (shouldStop && shouldStop()) return;
    }
    now_ = std::max(now_, limitMs);
}

}  // namespace zinna::sim
