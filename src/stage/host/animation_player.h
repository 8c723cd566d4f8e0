// Plays one animation of a character frame by frame: each frame's time, its branches drawn with
// the host's own random numbers, the exit branches when the animation is asked to leave, and the
// return animation after it. Knows nothing of clocks: the caller asks for the current frame and
// its time, and advances when that time is up.
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace zinna::stage {

// Finds an animation by name (case-insensitive); nullptr when the character has none.
using AnimationLookup = std::function<const acs::Animation*(const std::string& name)>;

class AnimationPlayer {
public:
    AnimationPlayer(AnimationLookup lookup, std::uint32_t seed) : lookup_(std::move(lookup)), random_(seed) {}

    // Starts the animation at its first frame. Returns false when it has no frame to show.
    bool Start(const acs::Animation& animation);
    bool Playing() const { return animation_ != nullptr; }
    const acs::Animation* Current() const { return animation_; }
    int FrameIndex() const { return frame_; }
    const acs::Frame& CurrentFrame() const { return animation_->frames[static_cast<std::size_t>(frame_)]; }
    std::int64_t FrameDurationMs() const { return std::int64_t{CurrentFrame().duration} * 10; }

    // From now on the animation leaves through its exit branches instead of its normal branches.
    void Leave() { leaving_ = true; }
    bool Leaving() const { return leaving_; }
    // Whether a jump back to an earlier frame (a loop) may be taken. A looping animation keeps
    // looping while nothing else waits, and leaves through its exit branches once something does.
    void SetLoopingAllowed(bool allowed) { loopingAllowed_ = allowed; }

    // Goes on to the next frame to show. Frames of no duration are passed through here (at most a
    // bounded number in a row, so a cycle of them cannot hang the host). Returns false when the
    // animation, and the return animation that follows it, have ended.
    bool Advance();

    // Stops at once, without exit branches or return animation.
    void Clear();

private:
    int NextFrame();  // the frame after the current one; the frame count when the animation ends
    bool Begin(const acs::Animation& animation, int returnDepth);

    AnimationLookup lookup_;
    std::mt19937 random_;
    const acs::Animation* animation_ = nullptr;
    int frame_ = 0;
    bool leaving_ = false;
    bool loopingAllowed_ = true;
    int exitSteps_ = 0;    // steps taken while leaving, capped against exit cycles
    int returnDepth_ = 0;  // how many return animations led here, capped against chains
};

}  // namespace zinna::stage
