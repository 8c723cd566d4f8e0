// Paints the character's word balloon for its layered window: a rounded body with a pointer
// towards her, the words shown so far in a real font, opaque inside the shape and transparent
// outside it.
#pragma once

#include "platform/win32/windows_api.h"

#include "platform/win32/layered_window.h"
#include "stage/host/balloon_layout.h"

#include <memory>
#include <string>
#include <vector>

namespace zinna::win32 {

struct PaintedBalloon {
    std::unique_ptr<PremultipliedBitmap> bitmap;
    POINT topLeft{};  // where the bitmap goes on the screen
};

// layout is the host's; shownLines are the lines with the words that have appeared. The body
// grows around its centre when the font's lines are wider than the host reckoned.
PaintedBalloon PaintBalloon(const stage::BalloonLayout& layout, const std::vector<std::string>& shownLines);

}  // namespace zinna::win32
