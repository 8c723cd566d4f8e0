// The one connection to the X server of both Linux layers (the desktop's settings and her
// windows), and the process's handling of X errors.
//
// Xlib's own handlers end the process: a failed request prints and exits, and so does a server
// that goes away. Either would leave the user's desktop dressed in Zinna's look. So the first
// connection installs handlers of its own, once for the process:
// - a failed request is reported on standard error once for each kind (error and request), and
//   the program goes on; a caller that expects failures traps them (TrappedXErrors) and checks;
// - the X server gone ends the process from the handler, without returning into Xlib and without
//   any further X call: the action set with SetXServerLostAction runs first (the program gives the
//   desktop's settings back through their services, which need no X), then the process ends at
//   once (_exit, no static destructors on a dead display) with the code the action returned. Until
//   then XServerLost() is true, so that code that would talk to X knows it must not.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zinna::xlib {

// The exit codes when the X server went away while she ran: the desktop was given back (or had
// nothing to give back), and the desktop could not be given back whole (the journal stays).
inline constexpr int kXServerLostExitCode = 3;
inline constexpr int kXServerLostKeptExitCode = 4;

// Runs when the X server has gone, before the process ends; returns the exit code. It must make no
// X call (Xlib would come back into the handler) and no longjmp. Without one: kXServerLostKeptExitCode
// after one line on standard error.
void SetXServerLostAction(std::function<int()> action);
// True from the moment the X server was found gone.
bool XServerLost();

class XConnection {
public:
    // Opens the display named by DISPLAY (or the given name); throws std::runtime_error when there
    // is none.
    explicit XConnection(const char* displayName = nullptr);
    // Borrows a display opened by someone else, who closes it after this connection has gone.
    struct Borrowed {
        Display* display;
    };
    explicit XConnection(Borrowed borrowed);
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
    // The dots per inch the user set in the Xft.dpi resource, as a whole number; 96 without it.
    int Dpi() const;
    // Dpi() / 96: how much larger than at 100 % things are drawn.
    double DisplayScale() const;
    // Whether the server has the Shape extension (every X.Org server does).
    bool HasShape() const { return hasShape_; }

private:
    void Describe();

    Display* display_ = nullptr;
    bool owned_ = false;
    int screen_ = 0;
    bool hasShape_ = false;
    std::map<std::string, Atom> atoms_;
};

// A connection made when it is first asked for: the program's display when it was handed one,
// else DISPLAY's. The desktop layer works without X too, so none is no failure here.
class XConnectionWhenNeeded {
public:
    explicit XConnectionWhenNeeded(Display* programs) : programs_(programs) {}
    // nullptr when there is no X display.
    Display* Get();

private:
    Display* programs_;
    bool tried_ = false;
    std::unique_ptr<XConnection> connection_;
};

// The dots per inch in a resource manager string (the root window's RESOURCE_MANAGER text): the
// value of Xft.dpi rounded to a whole number, or nullopt when it is absent or makes no sense.
std::optional<int> DpiFromResources(const char* resources);
// The scale those resources ask for: the DPI / 96, and 1 without one.
double ScaleFromResources(const char* resources);

// A window's CARDINAL/WINDOW/PIXMAP/ATOM list property (32-bit items); nullopt when it is absent.
std::optional<std::vector<unsigned long>> ReadCardinals(Display* display, ::Window window, const char* property);

// Installs the process's X error handlers (see above); every connection does, only the first
// call counts. Reports go to reporter (one line each, with its newline); standard error when it
// is empty. Tests listen here.
void InstallXErrorHandlers();
void SetXErrorReporter(std::function<void(const std::string&)> reporter);

// Runs X calls of one display with their protocol errors counted for the caller instead of
// reported. Traps nest; the innermost one counts.
class TrappedXErrors {
public:
    explicit TrappedXErrors(Display* display);
    ~TrappedXErrors();
    TrappedXErrors(const TrappedXErrors&) = delete;
    TrappedXErrors& operator=(const TrappedXErrors&) = delete;
    // Waits for the server's answers; true when none of the calls since construction failed.
    bool Succeeded();
    // The error code of the first failure, 0 when none (after Succeeded()).
    int FirstError() const { return firstError_; }

private:
    friend int HandleXError(Display* display, XErrorEvent* error);
    Display* display_;
    TrappedXErrors* outer_;
    int count_ = 0;
    int firstError_ = 0;
};

}  // namespace zinna::xlib
