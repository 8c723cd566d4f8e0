// A 5 x 7 pixel font of capital letters, digits and a little punctuation, for labels on contact
// sheets. Lower-case letters are drawn as capitals; other characters as a box.
#pragma once

#include "image/rgba_image.h"

#include <cstdint>
#include <string_view>

namespace zinna::image {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

// Draws text with its top-left corner at x, y, each font pixel as a scale × scale square,
// clipped to the image. colour is 0xRRGGBBAA.
void DrawText(RgbaImage& image, int x, int y, std::string_view text, std::uint32_t colour, int scale = 1);

}  // namespace zinna::image
