// Screen sizes in pixels from the toolkit's layout units.
#pragma once

#include "basic/numeric.h"
#include "boundary/window_toolkit.h"

namespace zinna {

// The size in layout units and the layout units per pixel are each rounded to whole numbers
// (ties to even), then divided in whole numbers.
basic::Long ScreenWidthPixels(WindowToolkit& toolkit);
basic::Long ScreenHeightPixels(WindowToolkit& toolkit);

}  // namespace zinna
