// The picture of the character's current frame, as renderers show it: RGBA, top-down rows, the
// transparent palette index as alpha 0.
#pragma once

#include "stage/acs/acs_reader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace zinna::stage {

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width x height x 4 bytes: red, green, blue, alpha

    std::uint8_t Alpha(int x, int y) const { return pixels[(static_cast<size_t>(y) * width + x) * 4 + 3]; }
};

// Draws the frame's images back to front at their offsets; with a mouth shape, the frame's mouth
// overlay of that shape is drawn too (in place of the top image where the overlay says so).
RgbaImage ComposeStageFrame(acs::AcsFile& file, const acs::Frame& frame, std::optional<int> mouthShape);

}  // namespace zinna::stage
