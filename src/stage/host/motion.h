// A move of the character's frame across the screen at the program's speed: how long it takes,
// where the frame is at any moment, and whether she is shown walking or keeps her pose.
#pragma once

#include <cstdint>
#include <string>

namespace zinna::stage {

// A display's frame (60 Hz): a moving frame is placed anew at most this often, since a move the
// screen cannot show costs a request and a wake-up for nothing.
inline constexpr std::int64_t kMoveStepMs = 16;
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
    // When the frame is next placed anew: the first time its place differs from now's, on a grid
    // of one placement a frame from the move's start; a placement less than a frame before the end
    // is left to the end's. So she moves at most once a frame, and no wake-up comes without a move.
    std::int64_t NextStepMs(std::int64_t now) const;

    // A short step (a flight's waypoint) keeps the pose she is in; a longer move shows her moving.
    bool ShowsMoving() const { return speedDurationMs_ >= kShortMoveMs; }
    // The state that shows this move. Directions are the character's own: moving to the screen's
    // right is her left.
    std::string MovingState() const;

private:
    // The first time after elapsed (from the start) at which a distance covered over the move
    // reaches its next whole pixel; the duration when it never does.
    std::int64_t NextPixelMs(int distance, std::int64_t elapsed) const;

    ScreenPoint from_, to_;
    std::int64_t startMs_;
    std::int64_t speedDurationMs_;  // as the speed gives it
    std::int64_t durationMs_;       // at least 1, so that every move takes a step
};

}  // namespace zinna::stage
