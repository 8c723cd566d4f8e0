// Draws a frame of a character into an RGBA image of the character's frame size.
#pragma once

#include "image/rgba_image.h"
#include "stage/acs/character.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zinna::acs {

class AcsFile;

// The picture a frame is drawn into; the host and the renderers know it by this name too.
using image::RgbaImage;

// Gives the decoded image for an image index of a frame.
using ImageSource = std::function<const Image&(std::uint32_t index)>;

ImageSource ImagesOf(const Character& character);
ImageSource ImagesOf(AcsFile& file);  // decodes lazily through the file

// The images a frame draws, top first, with the mouth of mouthShape in its place: instead of the
// first image when the overlay is marked so, else on top of all. Two frames that draw the same list
// look the same, whichever animation holds them.
std::vector<FrameImage> DrawnImages(const Frame& frame, std::optional<std::uint8_t> mouthShape = std::nullopt);

// The frame's images drawn from the last listed to the first (the first is on top) at their
// offsets, clipped to the frame. Pixels of the transparent index, and of indices past the
// palette, stay transparent (alpha 0); everything else is opaque. With mouthShape set, the
// frame's overlay of that shape is drawn too: instead of the first image when it is marked so,
// else on top.
RgbaImage ComposeFrame(const CharacterInfo& info, const Frame& frame, const ImageSource& images,
                       std::optional<std::uint8_t> mouthShape = std::nullopt);
// Draws a list of images, top first (as DrawnImages gives it), the same way.
RgbaImage ComposeImages(const CharacterInfo& info, const std::vector<FrameImage>& drawn, const ImageSource& images);

}  // namespace zinna::acs
