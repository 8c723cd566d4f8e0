#include "stage/host/wake_timer.h"

namespace zinna::stage {

WakeTimer::~WakeTimer() {
    if (timer_) clock_.Cancel(*timer_);
}

void WakeTimer::WakeAt(std::optional<std::int64_t> dueMs) {
    if (dueMs == dueMs_ && timer_) return;
    if (timer_) clock_.Cancel(*timer_);
    timer_.reset();
    dueMs_ = dueMs;
    if (!dueMs) return;
    timer_ = clock_.ScheduleAt(*dueMs, [this] {
        timer_.reset();
        dueMs_.reset();
        wake_();
    });
}

}  // namespace zinna::stage
