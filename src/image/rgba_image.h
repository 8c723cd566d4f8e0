// A picture in memory: the one image type the character reader draws into and the PNG, GIF and
// font code write or draw on. It sits below all of them so that none has to reach into another for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zinna::image {

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

}  // namespace zinna::image
