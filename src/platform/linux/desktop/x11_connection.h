// An X connection that is either the program's (borrowed) or this layer's own (closed with it).
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace zinna::linuxdesk {

class XConnection {
public:
    // Borrows display when given; otherwise opens $DISPLAY when first asked.
    explicit XConnection(Display* display) : display_(display) {}
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // nullptr when there is no X display.
    Display* Get();

private:
    Display* display_;
    bool owned_ = false;
    bool triedToOpen_ = false;
};

// A window's CARDINAL/WINDOW/PIXMAP list property (32-bit items); nullopt when it is absent.
std::optional<std::vector<unsigned long>> ReadCardinals(Display* display, Window window, const char* property);

// Runs X calls with protocol errors counted instead of ending the process.
class TrappedXErrors {
public:
    explicit TrappedXErrors(Display* display);
    ~TrappedXErrors();
    TrappedXErrors(const TrappedXErrors&) = delete;
    TrappedXErrors& operator=(const TrappedXErrors&) = delete;
    // Waits for the server's answers; true when none of the calls since construction failed.
    bool Succeeded();

private:
    Display* display_;
    int (*previous_)(Display*, XErrorEvent*);
};

}  // namespace zinna::linuxdesk
