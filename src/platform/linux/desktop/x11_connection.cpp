#include "platform/linux/desktop/x11_connection.h"

#include <X11/Xatom.h>

namespace zinna::linuxdesk {

namespace {

// Xlib's error handler is process-wide; errors are only trapped on the one thread this layer uses.
int trappedErrors = 0;

int CountError(Display*, XErrorEvent*) {
    ++trappedErrors;
    return 0;
}

}  // namespace

XConnection::~XConnection() {
    if (owned_) XCloseDisplay(display_);
}

Display* XConnection::Get() {
    if (display_ == nullptr && !triedToOpen_) {
        triedToOpen_ = true;
        display_ = XOpenDisplay(nullptr);
        owned_ = display_ != nullptr;
    }
    return display_;
}

std::optional<std::vector<unsigned long>> ReadCardinals(Display* display, Window window, const char* property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const Atom name = XInternAtom(display, property, False);
    TrappedXErrors errors(display);
    const int status = XGetWindowProperty(display, window, name, 0, 1024, False, AnyPropertyType, &type, &format,
                                          &count, &remaining, &data);
    const bool ok = errors.Succeeded() && status == Success && type != None && format == 32;
    std::optional<std::vector<unsigned long>> items;
    // Xlib hands 32-bit items over as longs.
    if (ok) items.emplace(reinterpret_cast<unsigned long*>(data), reinterpret_cast<unsigned long*>(data) + count);
    if (data) XFree(data);
    return items;
}

TrappedXErrors::TrappedXErrors(Display* display) : display_(display) {
    XSync(display_, False);
    trappedErrors = 0;
    previous_ = XSetErrorHandler(CountError);
}

TrappedXErrors::~TrappedXErrors() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
}

bool TrappedXErrors::Succeeded() {
    XSync(display_, False);
    return trappedErrors == 0;
}

}  // namespace zinna::linuxdesk
