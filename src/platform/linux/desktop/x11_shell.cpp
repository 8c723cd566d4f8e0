#include "platform/linux/desktop/x11_shell.h"

#include <X11/Xatom.h>

#include <algorithm>

namespace zinna::linuxdesk {

namespace {

// _NET_WM_STRUT_PARTIAL: left, right, top, bottom, then the start and end of each edge's span.
constexpr size_t kStrutBottom = 3;
constexpr size_t kStrutBottomStartX = 10;
constexpr size_t kStrutBottomEndX = 11;
constexpr size_t kStrutPartialItems = 12;

bool Contains(const std::optional<std::vector<unsigned long>>& items, Atom atom) {
    return items && std::find(items->begin(), items->end(), atom) != items->end();
}

// The top-level windows: the window manager's client list, and the root's children for a screen
// without one.
std::vector<Window> TopLevelWindows(Display* display, Window root) {
    std::vector<Window> windows;
    if (auto clients = xlib::ReadCardinals(display, root, "_NET_CLIENT_LIST")) {
        windows.assign(clients->begin(), clients->end());
    }
    Window parent = 0, rootReturn = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        windows.insert(windows.end(), children, children + count);
        XFree(children);
    }
    return windows;
}

bool IsShown(Display* display, Window window) {
    XWindowAttributes attributes{};
    xlib::TrappedXErrors errors(display);
    const bool read = XGetWindowAttributes(display, window, &attributes) != 0;
    return errors.Succeeded() && read && attributes.map_state == IsViewable;
}

}  // namespace

std::optional<Rect> X11Shell::TaskbarRect() {
    Display* display = connection_.Get();
    if (display == nullptr) return std::nullopt;
    const Window root = DefaultRootWindow(display);
    const auto width = static_cast<std::int32_t>(DisplayWidth(display, DefaultScreen(display)));
    const auto height = static_cast<std::int32_t>(DisplayHeight(display, DefaultScreen(display)));

    const Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    for (const Window window : TopLevelWindows(display, root)) {
        if (!Contains(xlib::ReadCardinals(display, window, "_NET_WM_WINDOW_TYPE"), dock)) continue;
        const auto strut = xlib::ReadCardinals(display, window, "_NET_WM_STRUT_PARTIAL");
        if (!strut || strut->size() < kStrutPartialItems || (*strut)[kStrutBottom] == 0) continue;
        if (!IsShown(display, window)) continue;
        return Rect{static_cast<std::int32_t>((*strut)[kStrutBottomStartX]),
                    height - static_cast<std::int32_t>((*strut)[kStrutBottom]),
                    static_cast<std::int32_t>((*strut)[kStrutBottomEndX]) + 1, height};
    }

    if (const auto area = xlib::ReadCardinals(display, root, "_NET_WORKAREA"); area && area->size() >= 4) {
        // Four numbers (x, y, width, height) per virtual desktop: the current one's.
        size_t desktop = 0;
        if (const auto current = xlib::ReadCardinals(display, root, "_NET_CURRENT_DESKTOP");
            current && !current->empty()) {
            desktop = (*current)[0];
        }
        if (desktop * 4 + 4 > area->size()) desktop = 0;
        const auto x = static_cast<std::int32_t>((*area)[desktop * 4]);
        const auto y = static_cast<std::int32_t>((*area)[desktop * 4 + 1]);
        const auto w = static_cast<std::int32_t>((*area)[desktop * 4 + 2]);
        const auto h = static_cast<std::int32_t>((*area)[desktop * 4 + 3]);
        return Rect{x, y + h, x + w, height};
    }
    return Rect{0, height, width, height};
}

bool X11Shell::ShowDesktop() {
    Display* display = connection_.Get();
    if (display == nullptr) return false;
    const Window root = DefaultRootWindow(display);
    const Atom showing = XInternAtom(display, "_NET_SHOWING_DESKTOP", False);
    if (!Contains(xlib::ReadCardinals(display, root, "_NET_SUPPORTED"), showing)) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = root;
    event.xclient.message_type = showing;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    // A round trip, not a flush: once the call returns the server has passed the request on, so a
    // window manager (or a test) that syncs afterwards is sure to have it. A flush alone leaves the
    // request in the server's queue, behind whatever other clients sent meanwhile.
    XSync(display, False);
    return true;
}

}  // namespace zinna::linuxdesk
