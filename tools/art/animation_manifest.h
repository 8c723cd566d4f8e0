// The animation manifest of a character: a line-based text that names the character, its sounds,
// its animations frame by frame and its states. Images are named by the ids of the frames in the
// character's SVG source; the build renders each one to NAME.png.
//
//   # comment
//   name Zinna
//   description The lantern fairy of Lantern Hall.
//   guid 7a1f3c20-5b2e-4c11-9a6d-2f0e8b4c9d31
//   frame-size 128 128
//   sound kiss kiss.wav
//   animation Kiss [return=RestPose | exit-branches]
//     frame kiss-1 40 [sound=kiss] [exit=N|exit=end] [branch=TARGET:PERCENT]... [mouths=PREFIX]
//     frame - 0                       (no image: an invisible control frame)
//   state Showing Showing [more animations...]
//
// Frame numbers (branch and exit targets) count from 0 within the animation. "mouths=PREFIX"
// gives the frame the seven speaking overlays PREFIX0 ... PREFIX6 (shapes 0 closed, 1-4 open,
// 5 medium, 6 narrow).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zinna::art {

// A mistake in the manifest text, with the line it is on (1-based).
class ManifestError : public std::runtime_error {
public:
    ManifestError(int line, const std::string& message);
    int Line() const { return line_; }

private:
    int line_;
};

struct ManifestBranch {
    int targetFrame = 0;
    int percent = 0;
};

inline constexpr int kExitContinue = -2;  // no exit branch: the file's -2
inline constexpr int kExitEnd = -1;       // end the animation at once: the file's -1

struct ManifestFrame {
    std::string image;  // empty: no image
    int duration = 0;   // hundredths of a second
    std::string sound;  // empty: none
    int exitFrame = kExitContinue;
    std::vector<ManifestBranch> branches;
    std::string mouthPrefix;  // empty: no speaking overlays
    int line = 0;
};

enum class ManifestTransition { None, ReturnAnimation, ExitBranches };

struct ManifestAnimation {
    std::string name;
    ManifestTransition transition = ManifestTransition::None;
    std::string returnAnimation;
    std::vector<ManifestFrame> frames;
    int line = 0;
};

struct ManifestSound {
    std::string name;
    std::string file;
};

struct ManifestState {
    std::string name;
    std::vector<std::string> animations;
    int line = 0;
};

struct AnimationManifest {
    std::string name;
    std::string description;
    std::string guid;  // textual, as 8-4-4-4-12 hex digits
    int frameWidth = 0;
    int frameHeight = 0;
    std::vector<ManifestSound> sounds;
    std::vector<ManifestAnimation> animations;
    std::vector<ManifestState> states;
};

// Parses the manifest text. Checks what the text alone can tell: syntax, numbers, that branch and
// exit targets lie inside their animation, branch sums of at most 100, that sounds, return
// animations and state animations are defined. Throws ManifestError.
AnimationManifest ParseManifest(std::string_view text);

// Every distinct image name the manifest uses, frames and mouth overlays, in order of first use.
std::vector<std::string> ImagesUsed(const AnimationManifest& manifest);

// The image name of a mouth overlay.
std::string MouthImage(const std::string& prefix, int shape);

inline constexpr int kMouthShapes = 7;

}  // namespace zinna::art
