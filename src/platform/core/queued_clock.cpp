#include "platform/core/queued_clock.h"

#include <algorithm>

namespace zinna::platform {

ClockTimerId QueuedClock::ScheduleAt(std::int64_t timeMs, std::function<void()> callback) {
    const ClockTimerId id = nextId_++;
    const std::int64_t due = std::max(timeMs, NowMs());
    pending_.emplace(Key{due, id}, std::move(callback));
    dueOf_.emplace(id, due);
    if (passes_ == 0) NextDueChanged();
    return id;
}

void QueuedClock::Cancel(ClockTimerId id) {
    const auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    pending_.erase(Key{it->second, id});
    dueOf_.erase(it);
    if (passes_ == 0) NextDueChanged();
}

std::optional<std::int64_t> QueuedClock::NextDueMs() const {
    if (pending_.empty()) return std::nullopt;
    return pending_.begin()->first.first;
}

bool QueuedClock::RunDue(std::optional<std::int64_t> limitMs, const std::function<bool()>& shouldStop) {
    struct Pass {
        int& passes;
        explicit Pass(int& count) : passes(count) { ++passes; }
        ~Pass() { --passes; }
    };
    bool stopped = false;
    {
        const Pass pass(passes_);
        while (!pending_.empty()) {
            const auto first = pending_.begin();
            const std::int64_t due = first->first.first;
            if (due > (limitMs ? *limitMs : NowMs())) break;
            std::function<void()> callback = std::move(first->second);
            dueOf_.erase(first->first.second);
            pending_.erase(first);
            Reached(due);
            if (guard_)
                guard_(callback);
            else
                callback();
            if (shouldStop && shouldStop()) {
                stopped = true;
                break;
            }
        }
    }
    if (passes_ == 0) NextDueChanged();
    return stopped;
}

}  // namespace zinna::platform
