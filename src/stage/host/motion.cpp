#include "stage/host/motion.h"

#include <algorithm>
#include <cstdlib>

namespace zinna::stage {

Motion::Motion(ScreenPoint from, ScreenPoint to, int speed, std::int64_t startMs)
    : from_(from),
      to_(to),
      startMs_(startMs),
      speedDurationMs_(std::int64_t{std::max({std::abs(to.x - from.x), std::abs(to.y - from.y), 10})} * speed / 500),
      durationMs_(std::max<std::int64_t>(speedDurationMs_, 1)) {}

ScreenPoint Motion::PositionAt(std::int64_t now) const {
    const std::int64_t elapsed = std::clamp<std::int64_t>(now - startMs_, 0, durationMs_);
    return {from_.x + static_cast<int>((to_.x - from_.x) * elapsed / durationMs_),
            from_.y + static_cast<int>((to_.y - from_.y) * elapsed / durationMs_)};
}

std::int64_t Motion::NextPixelMs(int distance, std::int64_t elapsed) const {
    const std::int64_t pixels = std::abs(std::int64_t{distance});
    if (pixels == 0) return durationMs_;
    // PositionAt truncates toward the start, so the covered pixels grow as pixels * t / duration.
    const std::int64_t next = pixels * elapsed / durationMs_ + 1;
    return std::min((next * durationMs_ + pixels - 1) / pixels, durationMs_);
}

std::int64_t Motion::NextStepMs(std::int64_t now) const {
    const std::int64_t end = EndMs();
    if (now >= end) return end;
    const std::int64_t elapsed = std::max<std::int64_t>(now - startMs_, 0);
    const std::int64_t change = std::min(NextPixelMs(to_.x - from_.x, elapsed), NextPixelMs(to_.y - from_.y, elapsed));
    const std::int64_t onGrid = (change + kMoveStepMs - 1) / kMoveStepMs * kMoveStepMs;
    if (startMs_ + onGrid + kMoveStepMs > end) return end;
    return startMs_ + onGrid;
}

std::string Motion::MovingState() const {
    const int dx = to_.x - from_.x, dy = to_.y - from_.y;
    if (std::abs(dx) >= std::abs(dy)) return dx > 0 ? "MOVINGLEFT" : "MOVINGRIGHT";
    return dy > 0 ? "MOVINGDOWN" : "MOVINGUP";
}

}  // namespace zinna::stage
