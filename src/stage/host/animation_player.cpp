#include "stage/host/animation_player.h"

namespace zinna::stage {

namespace {

constexpr int kMaxReturnDepth = 4;        // return animations that lead to further ones
constexpr int kMaxZeroDurationRun = 256;  // frames of no duration passed through in one step

}  // namespace

bool AnimationPlayer::Start(const acs::Animation& animation) { return Begin(animation, 0); }

bool AnimationPlayer::Begin(const acs::Animation& animation, int returnDepth) {
    Clear();
    if (animation.frames.empty()) return false;
    animation_ = &animation;
    returnDepth_ = returnDepth;
    frame_ = 0;
    // A first frame of no duration (a branch point) is passed through at once.
    if (CurrentFrame().duration == 0) return Advance();
    return true;
}

void AnimationPlayer::Clear() {
    animation_ = nullptr;
    frame_ = 0;
    leaving_ = false;
    exitSteps_ = 0;
    returnDepth_ = 0;
}

int AnimationPlayer::NextFrame() {
    const acs::Frame& frame = CurrentFrame();
    const int count = static_cast<int>(animation_->frames.size());
    if (leaving_) {
        // Exit branches step back to the neutral pose; a cycle of them is cut off.
        if (++exitSteps_ > 3 * count) return count;
        if (frame.exitFrame == acs::kExitEndsNow) return count;
        if (frame.exitFrame >= 0) return frame.exitFrame;
        return frame_ + 1;  // no exit branch: on to the next frame, without the normal branches
    }
    // One draw from 1 to 100 per frame, walked through the branches in order.
    int r = std::uniform_int_distribution<int>(1, 100)(random_);
    for (const acs::Branch& branch : frame.branches) {
        if (r <= branch.probability) {
            if (branch.targetFrame <= frame_ && !loopingAllowed_) {
                leaving_ = true;  // something waits: leave the loop the way a stop would
                return NextFrame();
            }
            return branch.targetFrame;
        }
        r -= branch.probability;
    }
    return frame_ + 1;
}

bool AnimationPlayer::Advance() {
    if (!animation_) return false;
    for (int passed = 0; passed < kMaxZeroDurationRun; ++passed) {
        int next = NextFrame();
        if (next < 0 || next >= static_cast<int>(animation_->frames.size())) {
            // The animation has ended; where it ends away from its rest pose, its return animation
            // brings the character back (unless it was asked to leave, or the chain is too long).
            const acs::Animation* ended = animation_;
            bool wasLeaving = leaving_;
            int depth = returnDepth_;
            Clear();
            if (!wasLeaving && ended->transition == acs::Transition::ReturnAnimation &&
                !ended->returnAnimation.empty() && depth < kMaxReturnDepth) {
                if (const acs::Animation* back = lookup_(ended->returnAnimation)) return Begin(*back, depth + 1);
            }
            return false;
        }
        frame_ = next;
        if (CurrentFrame().duration > 0) return true;
    }
    Clear();  // a cycle of frames with no duration: the animation cannot go on
    return false;
}

}  // namespace zinna::stage
