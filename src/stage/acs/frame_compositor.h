// Draws a frame of a character into an RGBA image of the character's frame size.
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zinna::acs {

class AcsFile;

// Pixels as red, green, blue, alpha bytes, rows top-down.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    // The pixel as 0xRRGGBBAA.
    std::uint32_t At(int x, int y) const {
        const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
        return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    }
};

// Gives the decoded image for an image index of a frame.
using ImageSource = std::function<const Image&(std::uint32_t index)>;

ImageSource ImagesOf(const Character& character);
ImageSource ImagesOf(AcsFile& file);  // decodes lazily through the file

// The frame's images drawn from the last listed to the first (the first is on top) at their
// offsets, clipped to the frame. Pixels of the transparent index, and of indices past the
// palette, stay transparent (alpha 0); everything else is opaque. With mouthShape set, the
// frame's overlay of that shape is drawn too: instead of the first image when it is marked so,
// else on top.
RgbaImage ComposeFrame(const CharacterInfo& info, const Frame& frame, const ImageSource& images,
                       std::optional<std::uint8_t> mouthShape = std::nullopt);

}  // namespace zinna::acs
