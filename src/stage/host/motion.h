// A move of the character's frame across the screen at the program's speed: how long it takes,
// where the frame is at any moment, and whether she is shown walking or keeps her pose.
#pragma once

#include <cstdint>
#include <string>

namespace zinna::stage {

inline constexpr std::int64_t kMoveStepMs = 16;    // how often a moving frame is placed anew
inline constexpr std::int64_t kShortMoveMs = 100;  // shorter moves keep the current pose

struct ScreenPoint {
    int x = 0, y = 0;
};

class Motion {
public:
    // speed is the program's: the time for the longer of the two distances, in ms per 500 pixels
    // (at least 10 pixels count).
    Motion(ScreenPoint from, ScreenPoint to, int speed, std::int64_t startMs);

    // Where the frame is at now (the start before it, the end after it).
    ScreenPoint PositionAt(std::int64_t now) const;
    bool DoneAt(std::int64_t now) const { return now >= EndMs(); }
    std::int64_t EndMs() const { return startMs_ + durationMs_; }
    // When the frame is next placed anew.
    std::int64_t NextStepMs(std::int64_t now) const;

    // A short step (a flight's waypoint) keeps the pose she is in; a longer move shows her moving.
    bool ShowsMoving() const { return speedDurationMs_ >= kShortMoveMs; }
    // The state that shows this move. Directions are the character's own: moving to the screen's
    // right is her left.
    std::string MovingState() const;

private:
    ScreenPoint from_, to_;
    std::int64_t startMs_;
    std::int64_t speedDurationMs_;  // as the speed gives it
    std::int64_t durationMs_;       // at least 1, so that every move takes a step
};

}  // namespace zinna::stage
