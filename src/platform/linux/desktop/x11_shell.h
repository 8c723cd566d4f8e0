// The desktop shell's parts the program asks for on X: the taskbar's rectangle and the window
// manager's "show desktop".
#pragma once

#include "boundary/zinna_module.h"
#include "platform/linux/xlib/x_connection.h"

namespace zinna::linuxdesk {

class X11Shell {
public:
    explicit X11Shell(Display* display) : connection_(display) {}

    bool HasDisplay() { return connection_.Get() != nullptr; }

    // The bottom panel: a dock window whose _NET_WM_STRUT_PARTIAL reserves the screen's bottom;
    // else the strip below _NET_WORKAREA; else a strip of height 0 at the screen's bottom edge, so
    // that she stands on something visible. nullopt without a display.
    std::optional<Rect> TaskbarRect();

    // Asks the window manager to show the desktop; false when it does not offer that.
    bool ShowDesktop();

private:
    xlib::XConnectionWhenNeeded connection_;
};

}  // namespace zinna::linuxdesk
