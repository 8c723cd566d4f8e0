// One picture of every animation's frames, each row labelled with the animation's name, on a
// checkerboard so that transparent pixels are visible.
#pragma once

#include "stage/acs/frame_compositor.h"

namespace zinna::acs {

class AcsFile;

inline constexpr int kSheetFramesPerLine = 12;

RgbaImage ContactSheet(AcsFile& file);

}  // namespace zinna::acs
