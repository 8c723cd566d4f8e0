#include "stage/host/frame_picture.h"

#include <cstdint>
#include <vector>

namespace zinna::stage {

void FramePicture::ShowFrame(const acs::Animation* animation, int frame) {
    shown_.animation = animation;
    shown_.frame = frame;
}

bool FramePicture::HasMouths() const {
    return shown_.animation && !shown_.animation->frames[static_cast<std::size_t>(shown_.frame)].mouths.empty();
}

void FramePicture::SetScale(double scale) {
    scale_ = scale;
    keyFor_.reset();
}

const FrameKey& FramePicture::Key() {
    if (!keyFor_ || !(*keyFor_ == shown_)) {
        key_.scale = scale_;
        key_.images.clear();
        if (shown_.animation) {
            const acs::Frame& frame = shown_.animation->frames[static_cast<std::size_t>(shown_.frame)];
            std::optional<std::uint8_t> mouth;
            if (shown_.mouth && !frame.mouths.empty()) mouth = static_cast<std::uint8_t>(*shown_.mouth);
            key_.images = acs::DrawnImages(frame, mouth);
        }
        keyFor_ = shown_;
    }
    return key_;
}

const acs::RgbaImage& FramePicture::Picture() {
    const FrameKey& key = Key();
    if (!composedFor_ || !(*composedFor_ == key)) {
        const int width = Width(), height = Height();
        if (key.images.empty()) {
            picture_ = acs::RgbaImage{width, height,
                                      std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4, 0)};
        } else {
            acs::RgbaImage composed = acs::ComposeImages(file_.Info(), key.images, acs::ImagesOf(file_));
            // At the file's own size (scale 1) the composed picture is hers as it is, not copied.
            if (composed.width == width && composed.height == height)
                picture_ = std::move(composed);
            else
                picture_ = ScaleFrame(composed, width, height);
        }
        composedFor_ = key;
    }
    return picture_;
}

}  // namespace zinna::stage
