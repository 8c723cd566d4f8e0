#include "stage/host/opaque_runs.h"

#include <cstddef>
#include <cstdint>

namespace zinna::stage {

std::vector<PixelRun> OpaqueRuns(const acs::RgbaImage& picture) {
    std::vector<PixelRun> runs;
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = &picture.rgba[static_cast<std::size_t>(y) * picture.width * 4];
        for (int x = 0; x < picture.width;) {
            if (row[x * 4 + 3] == 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < picture.width && row[x * 4 + 3] != 0) ++x;
            runs.push_back({start, y, x - start});
        }
    }
    return runs;
}

}  // namespace zinna::stage
