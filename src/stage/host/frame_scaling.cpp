#include "stage/host/frame_scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace zinna::stage {

namespace {

// How much of each old pixel one new pixel covers along one axis. Lengths are counted in units of
// 1/(from * to) of the axis, so every overlap is a whole number: an old pixel is `to` units long, a
// new one `from` units, and the overlaps of one new pixel add up to `from`.
struct Coverage {
    int first = 0;              // the first old pixel covered
    std::vector<int> overlaps;  // the units covered of it and of the following ones
};

std::vector<Coverage> CoverageAlong(int from, int to) {
    std::vector<Coverage> axis(static_cast<std::size_t>(to));
    for (int n = 0; n < to; ++n) {
        const std::int64_t start = std::int64_t{n} * from, end = start + from;
        Coverage& coverage = axis[static_cast<std::size_t>(n)];
        coverage.first = static_cast<int>(start / to);
        for (std::int64_t old = coverage.first; old * to < end && old < from; ++old) {
            const std::int64_t overlap = std::min(end, (old + 1) * to) - std::max(start, old * to);
            coverage.overlaps.push_back(static_cast<int>(overlap));
        }
    }
    return axis;
}

}  // namespace

int ScaledLength(int length, double scale) {
    if (length <= 0) return 0;
    return std::max(1, static_cast<int>(std::lround(length * scale)));
}

acs::RgbaImage ScaleFrame(const acs::RgbaImage& frame, int width, int height) {
    if (width == frame.width && height == frame.height) return frame;
    acs::RgbaImage scaled{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4, 0)};
    if (frame.width <= 0 || frame.height <= 0) return scaled;
    const std::vector<Coverage> across = CoverageAlong(frame.width, width);
    const std::vector<Coverage> down = CoverageAlong(frame.height, height);
    // The weights of one new pixel add up to this.
    const std::int64_t whole = std::int64_t{frame.width} * frame.height;

    for (int y = 0; y < height; ++y) {
        const Coverage& rows = down[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            const Coverage& columns = across[static_cast<std::size_t>(x)];
            std::int64_t alpha = 0, red = 0, green = 0, blue = 0;  // colours premultiplied by alpha
            for (std::size_t j = 0; j < rows.overlaps.size(); ++j) {
                const std::uint8_t* row =
                    &frame.rgba[(static_cast<std::size_t>(rows.first) + j) * static_cast<std::size_t>(frame.width) * 4];
                for (std::size_t i = 0; i < columns.overlaps.size(); ++i) {
                    const std::uint8_t* pixel = row + (static_cast<std::size_t>(columns.first) + i) * 4;
                    const std::int64_t weight = std::int64_t{rows.overlaps[j]} * columns.overlaps[i] * pixel[3];
                    alpha += weight;
                    red += weight * pixel[0];
                    green += weight * pixel[1];
                    blue += weight * pixel[2];
                }
            }
            const auto opacity = static_cast<std::uint8_t>((alpha + whole / 2) / whole);
            if (opacity == 0) continue;  // transparent: stays 0, 0, 0, 0
            std::uint8_t* out = &scaled.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            // Back to straight colours, each rounded to the nearest.
            out[0] = static_cast<std::uint8_t>((red + alpha / 2) / alpha);
            out[1] = static_cast<std::uint8_t>((green + alpha / 2) / alpha);
            out[2] = static_cast<std::uint8_t>((blue + alpha / 2) / alpha);
            out[3] = opacity;
        }
    }
    return scaled;
}

}  // namespace zinna::stage
