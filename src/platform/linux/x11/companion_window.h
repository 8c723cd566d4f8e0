// What every window of hers tells the window manager: no frame, above the others, no focus, no
// taskbar or pager entry, a dock's type (which window managers neither decorate, tile, focus nor
// move), her class "zinna", "Zinna", and where it stands.
#pragma once

#include "platform/linux/x11/x_connection.h"

#include <string>

namespace zinna::x11 {

inline constexpr const char* kInstanceName = "zinna";
inline constexpr const char* kClassName = "Zinna";

// Sets the properties before the window is first mapped.
void MarkAsCompanionWindow(XConnection& x, ::Window window, const std::string& title);

// The window's visual: 32-bit ARGB where a compositor blends windows by their alpha, otherwise the
// screen's default visual, with the window shaped to its opaque pixels.
struct WindowVisual {
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = None;  // made for the ARGB visual; the default one otherwise
    bool argb = false;
};

// Finds the 32-bit visual with an alpha channel when argb is asked for and the server has one.
WindowVisual ChooseVisual(XConnection& x, bool argb);

// Creates an unmapped top-level window of the visual at (x, y), 1 x 1, with the event mask.
::Window CreateCompanionWindow(XConnection& x, const WindowVisual& visual, long eventMask);

}  // namespace zinna::x11
