// The program's one connection to the X server: the display, its default screen, the atoms the
// host's windows use, whether a compositor runs, and the display's scale.
#pragma once

// The program's and the host's declarations come before Xlib, whose macros (None, True, False)
// would rename some of their names; every header of this layer reaches Xlib through this one.
#include "boundary/window_toolkit.h"
#include "stage/host/stage_control.h"

#include <X11/Xlib.h>

#include <map>
#include <string>

namespace zinna::x11 {

class XConnection {
public:
    // Opens the display named by DISPLAY (or the given name); throws std::runtime_error when there
    // is none.
    explicit XConnection(const char* displayName = nullptr);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    Display* Get() const { return display_; }
    int Screen() const { return screen_; }
    ::Window Root() const { return RootWindow(display_, screen_); }
    int ScreenWidth() const { return DisplayWidth(display_, screen_); }
    int ScreenHeight() const { return DisplayHeight(display_, screen_); }
    int Fd() const { return ConnectionNumber(display_); }

    // The atom of a name, interned once.
    Atom Intern(const std::string& name);
    // Whether a compositing manager owns this screen's _NET_WM_CM_S<screen> selection.
    bool CompositorRunning();
    // Dots per inch the user set in the Xft.dpi resource, divided by 96; 1 when it is not set.
    double DisplayScale() const;
    // Whether the server has the Shape extension (every X.Org server does).
    bool HasShape() const { return hasShape_; }

private:
    Display* display_ = nullptr;
    int screen_ = 0;
    bool hasShape_ = false;
    std::map<std::string, Atom> atoms_;
};

// Reads the scale from a resource manager string (the root window's RESOURCE_MANAGER text).
double ScaleFromResources(const char* resources);

}  // namespace zinna::x11
