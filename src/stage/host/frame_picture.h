// The frame the character shows (an animation's frame, with a mouth while she speaks) and its
// picture, composed when the frame changed and then kept.
#pragma once

#include "stage/acs/acs_reader.h"
#include "stage/acs/frame_compositor.h"

#include <optional>

namespace zinna::stage {

class FramePicture {
public:
    explicit FramePicture(acs::AcsFile& file) : file_(file) {}

    // Shows an animation's frame; the mouth stays as it was.
    void ShowFrame(const acs::Animation* animation, int frame);
    void SetMouth(std::optional<int> mouth) { shown_.mouth = mouth; }

    const acs::Animation* Animation() const { return shown_.animation; }
    int FrameIndex() const { return shown_.frame; }
    // Whether the frame shown has mouths of its own to speak with.
    bool HasMouths() const;
    // The picture of the frame shown (transparent before any frame).
    const acs::RgbaImage& Picture();

private:
    struct Shown {
        const acs::Animation* animation = nullptr;
        int frame = 0;
        std::optional<int> mouth;
        bool operator==(const Shown&) const = default;
    };

    acs::AcsFile& file_;  // decodes its images when first needed
    Shown shown_;
    std::optional<Shown> composedFor_;
    acs::RgbaImage picture_;
};

}  // namespace zinna::stage
