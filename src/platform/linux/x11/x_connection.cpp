#include "platform/linux/x11/x_connection.h"

#include <X11/extensions/shape.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace zinna::x11 {

XConnection::XConnection(const char* displayName) {
    display_ = XOpenDisplay(displayName);
    if (display_ == nullptr) throw std::runtime_error("cannot open the X display");
    screen_ = DefaultScreen(display_);
    int eventBase = 0, errorBase = 0;
    hasShape_ = XShapeQueryExtension(display_, &eventBase, &errorBase) != False;
}

XConnection::~XConnection() { XCloseDisplay(display_); }

Atom XConnection::Intern(const std::string& name) {
    const auto found = atoms_.find(name);
    if (found != atoms_.end()) return found->second;
    const Atom atom = XInternAtom(display_, name.c_str(), False);
    atoms_.emplace(name, atom);
    return atom;
}

bool XConnection::CompositorRunning() {
    return XGetSelectionOwner(display_, Intern("_NET_WM_CM_S" + std::to_string(screen_))) != None;
}

double XConnection::DisplayScale() const { return ScaleFromResources(XResourceManagerString(display_)); }

double ScaleFromResources(const char* resources) {
    if (resources == nullptr) return 1.0;
    // One resource a line, "name:\tvalue"; only the exact name Xft.dpi counts.
    std::string_view text(resources);
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        constexpr std::string_view kName = "Xft.dpi:";
        if (line.substr(0, kName.size()) != kName) continue;
        const std::string value(line.substr(kName.size()));
        const double dpi = std::strtod(value.c_str(), nullptr);
        if (dpi >= 48 && dpi <= 960) return dpi / 96.0;
        return 1.0;
    }
    return 1.0;
}

}  // namespace zinna::x11
