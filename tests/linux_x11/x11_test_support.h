// What the X layer's tests share: the display the runner started, the user's mouse and keys
// through xdotool, the screen's pixels, and window properties as a window manager reads them.
#pragma once

#include <doctest/doctest.h>

#include "platform/linux/x11/event_loop.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zinna::testing {

inline constexpr int kWaitMs = 5000;  // the longest a test waits for a window or a pixel

// The one connection of the test program, as the program has one: Xft and Xrender keep what they
// know of a display by its address, and a display closed and opened again may get the same one.
inline x11::XConnection& TestConnection() {
    static x11::XConnection connection;
    return connection;
}

// Runs xdotool with the arguments (the user's mouse and keys, through the XTEST extension).
inline void Xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    REQUIRE_MESSAGE(std::system(command.c_str()) == 0, command);
}

// Whether the runner started a compositor; if so, waits until it owns its selection.
inline bool WithCompositor(x11::EventLoop& loop) {
    if (std::getenv("ZINNA_TEST_COMPOSITOR") == nullptr) return false;
    REQUIRE(loop.RunUntil([&] { return loop.Connection().CompositorRunning(); }, kWaitMs));
    return true;
}

// The screen's colour at a point, as 0xRRGGBB.
inline std::uint32_t ScreenPixel(x11::XConnection& x, int px, int py) {
    XImage* image = XGetImage(x.Get(), x.Root(), px, py, 1, 1, AllPlanes, ZPixmap);
    REQUIRE(image != nullptr);
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return static_cast<std::uint32_t>(pixel & 0xFFFFFF);
}

inline std::vector<Atom> AtomsOf(x11::XConnection& x, ::Window window, const char* property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Atom> atoms;
    if (XGetWindowProperty(x.Get(), window, x.Intern(property), 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        const auto* values = reinterpret_cast<const Atom*>(data);
        atoms.assign(values, values + count);
    }
    if (data != nullptr) XFree(data);
    return atoms;
}

// Where a window is on the screen and how big, and whether it is mapped.
struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
    bool viewable = false;
};

inline Placement PlacementOf(x11::XConnection& x, ::Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(x.Get(), window, &attributes);
    int rootX = 0, rootY = 0;
    ::Window child = 0;
    XTranslateCoordinates(x.Get(), window, x.Root(), 0, 0, &rootX, &rootY, &child);
    return {rootX, rootY, attributes.width, attributes.height, attributes.map_state == IsViewable};
}

// A full-screen window under everything, of one colour, that records the clicks reaching it: the
// desktop as far as the tests are concerned.
class TestDesktop {
public:
    static constexpr std::uint32_t kColour = 0x2E5C8A;
    explicit TestDesktop(x11::EventLoop& loop) : loop_(loop) {
        x11::XConnection& x = loop.Connection();
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = kColour;
        attributes.event_mask = ButtonPressMask | ExposureMask;
        window_ = XCreateWindow(x.Get(), x.Root(), 0, 0, static_cast<unsigned>(x.ScreenWidth()),
                                static_cast<unsigned>(x.ScreenHeight()), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
        loop.Watch(window_, [this](const XEvent& event) {
            if (event.type == ButtonPress) ++clicks_;
        });
        XMapWindow(x.Get(), window_);
        XLowerWindow(x.Get(), window_);
    }
    ~TestDesktop() {
        loop_.Unwatch(window_);
        XDestroyWindow(loop_.Connection().Get(), window_);
    }
    int Clicks() const { return clicks_; }

private:
    x11::EventLoop& loop_;
    ::Window window_ = 0;
    int clicks_ = 0;
};

}  // namespace zinna::testing
