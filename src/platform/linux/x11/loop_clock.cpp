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

}  // namespace zinna::x11
