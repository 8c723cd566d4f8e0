#include "platform/linux/xlib/x_connection.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <utility>

namespace zinna::xlib {

namespace {

// X is used from one thread in this program: the traps and the reported kinds need no lock.
TrappedXErrors* innermostTrap = nullptr;
std::set<std::tuple<int, int, int>> reportedKinds;  // error code, request code, extension's minor code

std::function<void(const std::string&)>& Reporter() {
    static std::function<void(const std::string&)> reporter;
    return reporter;
}

void Report(const std::string& line) {
    if (Reporter()) {
        Reporter()(line);
    } else {
        std::fputs(line.c_str(), stderr);
    }
}

std::string RequestName(Display* display, const XErrorEvent& error) {
    const std::string code = std::to_string(error.request_code);
    char name[96] = {};
    XGetErrorDatabaseText(display, "XRequest", code.c_str(), "", name, sizeof name);
    // Extensions' requests have no name in the database: their major and minor codes say which.
    if (name[0] == '\0') return "request " + code + "." + std::to_string(error.minor_code);
    return std::string(name) + " (request " + code + ")";
}

std::function<int()>& XServerLostAction() {
    static std::function<int()> action;
    return action;
}

// Atomic: read by code that may run inside the handler, set once.
std::atomic<bool> serverLost{false};

// Xlib calls this after it has lost the server; whatever it returns, Xlib then ends the process
// through exit(), which would run the program's static destructors on a dead display. So this ends
// it here: the action (which makes no X call) gives what it can back, then _exit with its code.
// Nothing returns into Xlib, so nothing needs a longjmp.
[[noreturn]] int HandleXServerLost(Display*) {
    static constexpr std::string_view kLine = "zinna: the X server has gone\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kLine.data(), kLine.size());
    // A second loss (the action touched X after all) ends at once, keeping what is on disk.
    if (serverLost.exchange(true)) _exit(kXServerLostKeptExitCode);
    int code = kXServerLostKeptExitCode;
    if (XServerLostAction()) {
        try {
            code = XServerLostAction()();
        } catch (...) {
            code = kXServerLostKeptExitCode;
        }
    } else {
        static constexpr std::string_view kKept =
            "zinna: the desktop is given back from the restore journal at the next start (or by \"zinna "
            "--restore\")\n";
        [[maybe_unused]] const ssize_t more = write(STDERR_FILENO, kKept.data(), kKept.size());
    }
    std::fflush(nullptr);
    _exit(code);
}

}  // namespace

int HandleXError(Display* display, XErrorEvent* error) {
    for (TrappedXErrors* trap = innermostTrap; trap != nullptr; trap = trap->outer_) {
        if (trap->display_ != display) continue;
        if (trap->count_++ == 0) trap->firstError_ = error->error_code;
        return 0;
    }
    // One line for each kind of failure: a request repeated every frame must not flood the log.
    if (!reportedKinds.emplace(error->error_code, error->request_code, error->minor_code).second) return 0;
    char text[160] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    char resource[32] = {};
    std::snprintf(resource, sizeof resource, "0x%lx", error->resourceid);
    Report("zinna: X error " + std::string(text) + " in " + RequestName(display, *error) + " on " + resource +
           "; she goes on (further errors of this kind are not reported)\n");
    return 0;
}

void InstallXErrorHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        XSetErrorHandler(HandleXError);
        XSetIOErrorHandler(HandleXServerLost);
    });
}

void SetXServerLostAction(std::function<int()> action) { XServerLostAction() = std::move(action); }

bool XServerLost() { return serverLost.load(); }

void SetXErrorReporter(std::function<void(const std::string&)> reporter) { Reporter() = std::move(reporter); }

XConnection::XConnection(const char* displayName) {
    InstallXErrorHandlers();
    display_ = XOpenDisplay(displayName);
    if (display_ == nullptr) throw std::runtime_error("cannot open the X display");
    owned_ = true;
    Describe();
}

XConnection::XConnection(Borrowed borrowed) : display_(borrowed.display) {
    if (display_ == nullptr) throw std::invalid_argument("no display to borrow");
    InstallXErrorHandlers();
    Describe();
}

void XConnection::Describe() {
    screen_ = DefaultScreen(display_);
    int opcode = 0, eventBase = 0, errorBase = 0;
    hasShape_ = XQueryExtension(display_, "SHAPE", &opcode, &eventBase, &errorBase) != False;
}

XConnection::~XConnection() {
    if (owned_) XCloseDisplay(display_);
}

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

int XConnection::Dpi() const { return DpiFromResources(XResourceManagerString(display_)).value_or(96); }

double XConnection::DisplayScale() const { return Dpi() / 96.0; }

Display* XConnectionWhenNeeded::Get() {
    InstallXErrorHandlers();
    if (XServerLost()) return nullptr;  // no X call may follow the server's loss
    if (programs_ != nullptr) return programs_;
    if (!tried_) {
        tried_ = true;
        try {
            connection_ = std::make_unique<XConnection>();
        } catch (const std::runtime_error&) {
            // No X server: the caller works without one.
        }
    }
    return connection_ ? connection_->Get() : nullptr;
}

std::optional<int> DpiFromResources(const char* resources) {
    if (resources == nullptr) return std::nullopt;
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
        if (dpi >= 48 && dpi <= 960) return static_cast<int>(std::lround(dpi));
        return std::nullopt;
    }
    return std::nullopt;
}

double ScaleFromResources(const char* resources) { return DpiFromResources(resources).value_or(96) / 96.0; }

std::optional<std::vector<unsigned long>> ReadCardinals(Display* display, ::Window window, const char* property) {
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

TrappedXErrors::TrappedXErrors(Display* display) : display_(display), outer_(innermostTrap) {
    InstallXErrorHandlers();
    // Errors of earlier requests are not this trap's.
    XSync(display_, False);
    innermostTrap = this;
}

TrappedXErrors::~TrappedXErrors() {
    XSync(display_, False);
    innermostTrap = outer_;
}

bool TrappedXErrors::Succeeded() {
    XSync(display_, False);
    return count_ == 0;
}

}  // namespace zinna::xlib
