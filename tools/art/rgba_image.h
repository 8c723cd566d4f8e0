// A straight (not premultiplied) RGBA picture, top-down rows, 4 bytes a pixel.
#pragma once

#include <cstdint>
#include <vector>

namespace zinna::art {

struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 4: red, green, blue, alpha

    const std::uint8_t* At(int x, int y) const { return &pixels[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

}  // namespace zinna::art
