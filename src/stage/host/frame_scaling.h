// Her frames at the display's scale. A character's frames are drawn for 96 dots per inch; on a
// display scaled to 150 % or 200 % she is shown that much larger, so that she keeps her designed
// size beside everything else on the screen.
#pragma once

#include "stage/acs/frame_compositor.h"

namespace zinna::stage {

// A length in pixels at the scale, rounded to the nearest pixel; at least 1 for a length of 1 or more.
int ScaledLength(int length, double scale);

// The frame resampled to width x height by area coverage: each new pixel is the average of the
// frame's pixels under it, weighted by how much of it each covers, with the colours weighted by
// their alpha (premultiplied), so transparent pixels lend no colour to her outline. At whole
// factors every new pixel lies inside one old one: pixels are repeated, and she stays sharp. At
// fractional factors only the pixels across a seam between two old ones are blended.
acs::RgbaImage ScaleFrame(const acs::RgbaImage& frame, int width, int height);

}  // namespace zinna::stage
