// Her opaque pixels as runs along the rows: what a window's shape or region is made of, so that
// clicks on her transparent pixels reach whatever lies below her.
#pragma once

#include "stage/acs/frame_compositor.h"

#include <vector>

namespace zinna::stage {

struct PixelRun {
    int x, y, width;  // one row's opaque pixels from x
};

// The picture's opaque pixels (alpha above 0) as runs, row by row from the top.
std::vector<PixelRun> OpaqueRuns(const acs::RgbaImage& picture);

}  // namespace zinna::stage
