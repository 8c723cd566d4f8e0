// The frame the character shows (an animation's frame, with a mouth while she speaks), what makes
// its picture (FrameKey), and the picture itself, composed from her 8-bit images only when asked
// for and kept until the frame changes.
#pragma once

#include "stage/acs/acs_reader.h"
#include "stage/acs/frame_compositor.h"
#include "stage/host/frame_scaling.h"

#include <optional>
#include <vector>

namespace zinna::stage {

// What a frame's picture is made of: the images drawn (top first, the mouth in its place) and the
// display's scale. Two frames with the same key have the same picture, whichever animations hold
// them, so a surface that keeps pictures keeps one for both.
struct FrameKey {
    std::vector<acs::FrameImage> images;  // empty before any frame: a transparent picture
    double scale = 1.0;
    bool operator==(const FrameKey&) const = default;
};

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
    // What the picture of the frame shown is made of (worked out when the frame changed).
    const FrameKey& Key();
    // The picture of the frame shown (transparent before any frame), composed when first asked for.
    const acs::RgbaImage& Picture();
    // The display's scale (its DPI / 96): the picture is her frame resampled to it.
    void SetScale(double scale);
    double Scale() const { return scale_; }
    int Width() const { return ScaledLength(file_.Info().width, scale_); }
    int Height() const { return ScaledLength(file_.Info().height, scale_); }

private:
    struct Shown {
        const acs::Animation* animation = nullptr;
        int frame = 0;
        std::optional<int> mouth;
        bool operator==(const Shown&) const = default;
    };

    acs::AcsFile& file_;  // decodes its images when first needed
    Shown shown_;
    double scale_ = 1.0;
    std::optional<Shown> keyFor_;
    FrameKey key_;
    std::optional<FrameKey> composedFor_;
    acs::RgbaImage picture_;
};

}  // namespace zinna::stage
