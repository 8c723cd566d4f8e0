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
    composedFor_.reset();
}

const acs::RgbaImage& FramePicture::Picture() {
    if (!composedFor_ || !(*composedFor_ == shown_)) {
        const int width = Width(), height = Height();
        if (shown_.animation) {
            const acs::Frame& frame = shown_.animation->frames[static_cast<std::size_t>(shown_.frame)];
            std::optional<std::uint8_t> mouth;
            if (shown_.mouth && !frame.mouths.empty()) mouth = static_cast<std::uint8_t>(*shown_.mouth);
            picture_ = ScaleFrame(acs::ComposeFrame(file_.Info(), frame, acs::ImagesOf(file_), mouth), width, height);
        } else {
            picture_ = acs::RgbaImage{width, height,
                                      std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4, 0)};
        }
        composedFor_ = shown_;
    }
    return picture_;
}

}  // namespace zinna::stage
