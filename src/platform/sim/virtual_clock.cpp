#include "platform/sim/virtual_clock.h"

#include <algorithm>

namespace zinna::sim {

void VirtualClock::RunUntil(std::int64_t limitMs, const std::function<bool()>& shouldStop) {
    if (RunDue(limitMs, shouldStop)) return;
    now_ = std::max(now_, limitMs);
}

}  // namespace zinna::sim
