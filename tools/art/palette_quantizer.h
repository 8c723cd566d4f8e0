// Reduces a set of RGBA pictures to one shared palette of at most 256 colours, one of which is the
// transparent index. Alpha is cut to on/off (the character format has no partial transparency),
// then the opaque colours are reduced by median cut, weighted by how many pixels use them.
#pragma once

#include "rgba_image.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zinna::art {

inline constexpr std::uint8_t kOpaqueAlpha = 128;  // alpha at or above this is opaque

struct PaletteColor {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const PaletteColor&) const = default;
};

struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indices;  // top-down, width * height
};

struct QuantizedSet {
    std::vector<PaletteColor> palette;  // always 256 entries
    std::uint8_t transparentIndex = 0;
    std::vector<IndexedPicture> pictures;  // in the order given
};

// transparentIndex is the palette slot kept for transparency; its colour (keyColor) is one the art
// does not use after reduction. At most 255 opaque colours are made.
QuantizedSet QuantizePictures(const std::vector<RgbaPicture>& pictures, std::uint8_t transparentIndex = 0,
                              PaletteColor keyColor = {255, 0, 255});

}  // namespace zinna::art
