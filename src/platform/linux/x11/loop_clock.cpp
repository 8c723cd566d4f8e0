#include "platform/linux/x11/loop_clock.h"

#include <time.h>

namespace zinna::x11 {

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

LoopClock::LoopClock() : epochNs_(MonotonicNs()) {}

std::int64_t LoopClock::NowMs() const { return (MonotonicNs() - epochNs_) / 1000000; }

ClockTimerId LoopClock::ScheduleAt(std::int64_t timeMs, std::function<void()> callback) {
    const ClockTimerId id = nextId_++;
    pending_.emplace(Key{timeMs, id}, std::move(callback));
    dueOf_.emplace(id, timeMs);
    return id;
}

void LoopClock::Cancel(ClockTimerId id) {
    const auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    pending_.erase(Key{it->second, id});
    dueOf_.erase(it);
}

std::optional<std::int64_t> LoopClock::NextDueMs() const {
    if (pending_.empty()) return std::nullopt;
    return pending_.begin()->first.first;
}

void LoopClock::RunDue() {
    while (!pending_.empty() && pending_.begin()->first.first <= NowMs()) {
        const auto first = pending_.begin();
        std::function<void()> callback = std::move(first->second);
        dueOf_.erase(first->first.second);
        pending_.erase(first);
        if (guard_)
            guard_(callback);
        else
            callback();
    }
}

}  // namespace zinna::x11
