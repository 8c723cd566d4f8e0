// A bare X screen (a window manager alone, Xvfb): the root window's background, with the
// _XROOTPMAP_ID and ESETROOT_PMAP_ID properties that other programs read kept consistent.
#pragma once

#include "platform/linux/desktop/desktop_settings.h"

#include <X11/Xlib.h>

#include <memory>

namespace zinna::linuxdesk {

// nullptr, with the reason in *problem, without an X display.
std::unique_ptr<DesktopSettings> CreateX11RootDesktop(Display* display, std::string* problem);

}  // namespace zinna::linuxdesk
