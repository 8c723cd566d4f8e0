// The Linux layers' one X connection: the display's DPI, X errors reported once and survived,
// errors trapped by a caller that checks, and her menu when another program holds the pointer or
// the keyboard.
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "platform/linux/x11/menu_window.h"
#include "x11_test_support.h"

#include <X11/Xproto.h>

#include <optional>
#include <string>
#include <vector>

using namespace zinna;
using namespace zinna::testing;

namespace {

// A window id no client has: every request on it fails with BadWindow.
constexpr ::Window kNoWindow = 0x1FFFFF;

// Collects the error reports while it lives.
struct ReportedLines {
    std::vector<std::string> lines;
    ReportedLines() {
        xlib::SetXErrorReporter([this](const std::string& line) { lines.push_back(line); });
    }
    ~ReportedLines() { xlib::SetXErrorReporter(nullptr); }
};

// Another program on its own connection: a small window of its own that holds the pointer and/or
// the keyboard until it lets go.
class OtherProgram {
public:
    OtherProgram() {
        window_ = XCreateSimpleWindow(x_.Get(), x_.Root(), 0, 0, 10, 10, 0, 0, 0);
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        XChangeWindowAttributes(x_.Get(), window_, CWOverrideRedirect, &attributes);
        XMapWindow(x_.Get(), window_);
        XSync(x_.Get(), False);
    }
    void Hold(bool pointer, bool keyboard) {
        if (pointer)
            REQUIRE(XGrabPointer(x_.Get(), window_, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                                 CurrentTime) == GrabSuccess);
        if (keyboard)
            REQUIRE(XGrabKeyboard(x_.Get(), window_, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess);
        XSync(x_.Get(), False);
    }
    void LetGo() {
        XUngrabPointer(x_.Get(), CurrentTime);
        XUngrabKeyboard(x_.Get(), CurrentTime);
        XSync(x_.Get(), False);
    }
    ~OtherProgram() {
        LetGo();
        XDestroyWindow(x_.Get(), window_);
    }

private:
    x11::XConnection x_;
    ::Window window_ = 0;
};

stage::MenuModel ThreeCommands() {
    stage::MenuModel model;
    model.Add("Kiss", "&Kiss");
    model.Add("Dance", "&Dance");
    model.Add("Quit", "&Quit");
    return model;
}

}  // namespace

TEST_CASE("the display's DPI is Xft.dpi as a whole number, 96 without one") {
    struct Row {
        const char* resources;
        std::optional<int> dpi;
        double scale;
    };
    const Row rows[] = {
        {nullptr, std::nullopt, 1.0},
        {"", std::nullopt, 1.0},
        {"Xft.antialias:\t1\nXft.dpi:\t144\n", 144, 1.5},
        {"Xft.dpi:\t192", 192, 2.0},
        {"Xft.dpi:\t168\nXcursor.size:\t24\n", 168, 1.75},
        {"Xft.dpi:\t96.6\n", 97, 97 / 96.0},                         // a fraction is rounded
        {"Xft.dpix:\t192\nXcursor.size:\t24\n", std::nullopt, 1.0},  // only the exact name
        {"Xft.dpi:\tnonsense\n", std::nullopt, 1.0},
        {"Xft.dpi:\t20\n", std::nullopt, 1.0},  // beyond any screen: ignored
        {"Xft.dpi:\t4000\n", std::nullopt, 1.0},
    };
    for (const Row& row : rows) {
        CAPTURE(row.resources ? row.resources : "(none)");
        CHECK(xlib::DpiFromResources(row.resources) == row.dpi);
        CHECK(xlib::ScaleFromResources(row.resources) == doctest::Approx(row.scale));
    }
}

TEST_CASE("a failed X request is reported once for each kind, and the program goes on") {
    x11::XConnection& x = TestConnection();
    ReportedLines reported;
    for (int i = 0; i < 3; ++i) XMapWindow(x.Get(), kNoWindow);  // the same failure, three times
    XMoveWindow(x.Get(), kNoWindow, 10, 10);                     // another request that fails
    XSync(x.Get(), False);
    REQUIRE(reported.lines.size() == 2);
    CHECK(reported.lines[0].find("BadWindow") != std::string::npos);
    CHECK(reported.lines[0].find("X_MapWindow") != std::string::npos);
    CHECK(reported.lines[1].find("X_ConfigureWindow") != std::string::npos);
    for (const std::string& line : reported.lines) CHECK(line.back() == '\n');
    // Still connected and answered: the process was not ended by the failures.
    const ::Window window = XCreateSimpleWindow(x.Get(), x.Root(), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(x.Get(), window);
    XSync(x.Get(), False);
    CHECK(reported.lines.size() == 2);
}

TEST_CASE("a caller that traps X errors counts its own, and only its display's") {
    x11::XConnection& x = TestConnection();
    x11::XConnection other;
    ReportedLines reported;
    struct Row {
        const char* what;
        bool fail;
        bool succeeded;
        int firstError;
    };
    const Row rows[] = {
        {"a request that works", false, true, 0},
        {"a request on a window that is not there", true, false, BadWindow},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        x11::TrappedXErrors trap(x.Get());
        if (row.fail) {
            XUnmapWindow(x.Get(), kNoWindow);
        } else {
            XUnmapWindow(x.Get(), x.Root());  // unmapping the root is no error, and does nothing
        }
        CHECK(trap.Succeeded() == row.succeeded);
        CHECK(trap.FirstError() == row.firstError);
    }
    {
        // Trapped on one display, failing on another: that failure is not the trap's.
        x11::TrappedXErrors trap(x.Get());
        XUnmapSubwindows(other.Get(), kNoWindow);
        XSync(other.Get(), False);
        CHECK(trap.Succeeded());
    }
    {
        // Traps nest: the inner one counts its failure, the outer one sees none of it.
        x11::TrappedXErrors outer(x.Get());
        {
            x11::TrappedXErrors inner(x.Get());
            XUnmapWindow(x.Get(), kNoWindow);
            CHECK_FALSE(inner.Succeeded());
        }
        CHECK(outer.Succeeded());
    }
    REQUIRE(reported.lines.size() == 1);  // only the other display's failure, reported
    CHECK(reported.lines[0].find("X_UnmapSubwindows") != std::string::npos);
}

TEST_CASE("her menu when another program holds the pointer or the keyboard") {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop(x);
    const stage::MenuModel model = ThreeCommands();
    struct Row {
        const char* what;
        bool pointer, keyboard;
        int letGoAfterMs;  // < 0: never while the menu asks
        bool staysOpen;
    };
    const Row rows[] = {
        {"nothing held", false, false, -1, true},
        {"the pointer held throughout", true, false, -1, false},
        {"the keyboard held throughout", false, true, -1, false},
        {"both held throughout", true, true, -1, false},
        {"the pointer let go a moment later", true, false, 60, true},
    };
    for (const Row& row : rows) {
        CAPTURE(row.what);
        OtherProgram other;
        other.Hold(row.pointer, row.keyboard);
        std::optional<std::optional<std::size_t>> closedWith;
        auto menu = std::make_unique<x11::MenuWindow>(loop, model, 100, 100,
                                                      [&](std::optional<std::size_t> chosen) { closedWith = chosen; });
        CHECK(menu->Open());
        if (row.letGoAfterMs >= 0)
            loop.Clock().ScheduleAt(loop.Clock().NowMs() + row.letGoAfterMs, [&] { other.LetGo(); });
        // Longer than the menu asks: by then it either holds both or has closed.
        loop.RunUntil([] { return false; }, x11::MenuWindow::kGrabPatienceMs + 200);
        if (row.staysOpen) {
            CHECK(menu->Open());
            CHECK(menu->Grabbed());
            CHECK_FALSE(closedWith.has_value());
        } else {
            CHECK_FALSE(menu->Open());
            REQUIRE(closedWith.has_value());
            CHECK_FALSE(closedWith->has_value());  // closed without a choice
        }
        menu.reset();
        other.LetGo();
        // The next right-click: a menu that opens and holds both.
        x11::MenuWindow again(loop, model, 100, 100, [](std::optional<std::size_t>) {});
        loop.RunOnce(0);
        CHECK(again.Open());
        CHECK(again.Grabbed());
    }
}
