// Which libraries are mapped into the process as her use of them goes on: GIO only with a desktop
// that keeps its settings behind it, Xft (with fontconfig) only with her first words; and a
// library that cannot be loaded is a reported failure, never a crash.
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "platform/linux/desktop/desktop_module.h"
#include "platform/linux/desktop/gsettings_desktop.h"
#include "platform/linux/desktop/setting_text.h"
#include "platform/linux/desktop/xfconf_desktop.h"
#include "platform/linux/loaded_library.h"
#include "platform/linux/x11/xft_text.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace zinna {

namespace {

// Whether a file whose name starts with prefix (after its folder) is mapped into this process.
bool Mapped(const std::string& prefix) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find("/" + prefix) != std::string::npos) return true;
    }
    return false;
}

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// A bare X screen: no desktop named, no session bus to ask.
void BareXScreen() {
    for (const char* name : {"ZINNA_DESKTOP", "XDG_CURRENT_DESKTOP", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
        ::unsetenv(name);
}

}  // namespace

TEST_CASE("libraries are mapped only once she uses them") {
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    REQUIRE(display);
    BareXScreen();
    std::unique_ptr<ZinnaModule> module;
    std::string problem;
    struct Step {
        const char* what;
        std::function<void()> act;
        bool gio, xft, fontconfig;
    };
    const Step steps[] = {
        {"at the start", [] {}, false, false, false},
        {"the desktop module on a bare X screen",
         [&] {
             module = linuxdesk::CreateLinuxModule({display.get(), ""});
         },
         false, false, false},
        {"her balloon's first words",
         [&] {
             const x11::XftText text(display.get(), DefaultScreen(display.get()), 13);
             CHECK(text.Available());
             CHECK(text.Width("Hello") > 0);
         },
         false, true, true},
        {"a GNOME desktop asked for",
         [&] { linuxdesk::CreateGSettingsDesktop(linuxdesk::GSettingsFamily::Gnome, &problem); }, true, true, true},
    };
    for (const Step& step : steps) {
        CAPTURE(std::string(step.what));
        step.act();
        CHECK(Mapped("libX11.so"));  // what she always needs: the lookup itself works
        CHECK(Mapped("libgio-2.0.so") == step.gio);
        CHECK(Mapped("libglib-2.0.so") == step.gio);
        CHECK(Mapped("libXft.so") == step.xft);
        CHECK(Mapped("libfontconfig.so") == step.fontconfig);
    }
    REQUIRE(module);
    CHECK(dynamic_cast<linuxdesk::LinuxModule&>(*module).Settings()->Name() == "X (the root window)");
}

TEST_CASE("a library or function that is not there is named, not called") {
    std::string problem;
    CHECK_FALSE(linuxlib::LoadedLibrary::Open("libzinna-not-installed.so.0", &problem));
    CHECK(problem.find("libzinna-not-installed.so.0") != std::string::npos);

    auto libc = linuxlib::LoadedLibrary::Open("libc.so.6", &problem);
    REQUIRE(libc);
    int (*function)(const char*) = nullptr;
    CHECK_FALSE(libc->Find("zinna_not_a_function", function, &problem));
    CHECK((function == nullptr));
    CHECK(problem.find("zinna_not_a_function") != std::string::npos);
    size_t (*length)(const char*) = nullptr;
    REQUIRE(libc->Find("strlen", length, &problem));
    CHECK(length("four") == 4);
}

TEST_CASE("a library's handle can be moved and closed, and the library stays usable") {
    // libXtst (xdotool's, so installed wherever these tests run): one this test does not link.
    REQUIRE_FALSE(Mapped("libXtst.so"));
    std::string problem;
    Bool (*query)(Display*, int*, int*, int*, int*) = nullptr;
    {
        auto library = linuxlib::LoadedLibrary::Open("libXtst.so.6", &problem);
        REQUIRE_MESSAGE(library, problem);
        CHECK(Mapped("libXtst.so"));
        const auto moved = std::move(*library);
        library.reset();
        REQUIRE(moved.Find("XTestQueryExtension", query, &problem));
    }
    // Closed, it stays mapped, so that a function or hook of it still called is still there.
    CHECK(Mapped("libXtst.so"));
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    REQUIRE(display);
    int event = 0, error = 0, major = 0, minor = 0;
    CHECK(query(display.get(), &event, &error, &major, &minor) == True);  // Xvfb has XTEST
}

// Run with LD_LIBRARY_PATH naming a folder of damaged libXft.so.2 and libgio-2.0.so.0 (ctest
// does): GIO's desktops and the text say so and carry on.
TEST_CASE("without GIO and Xft the desktop is left alone and the words are missing" * doctest::skip(true)) {
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    REQUIRE(display);
    std::string problem;
    CHECK_FALSE(linuxdesk::CreateGSettingsDesktop(linuxdesk::GSettingsFamily::Gnome, &problem));
    CHECK(problem.find("GIO cannot be loaded") != std::string::npos);
    problem.clear();
    CHECK_FALSE(linuxdesk::CreateXfconfDesktop(&problem));
    CHECK(problem.find("GIO cannot be loaded") != std::string::npos);
    CHECK(linuxdesk::PictureAsUri("/a b.bmp") == "/a b.bmp");

    ::setenv("ZINNA_DESKTOP", "gnome", 1);
    const auto module = linuxdesk::CreateLinuxModule({display.get(), ""});
    REQUIRE(module);
    CHECK(dynamic_cast<linuxdesk::LinuxModule&>(*module).Settings() == nullptr);

    const x11::XftText text(display.get(), DefaultScreen(display.get()), 13);
    CHECK_FALSE(text.Available());
    CHECK(text.Width("Hello") == 0);
    CHECK(text.LineHeight() > 0);
    CHECK_FALSE(Mapped("libgio-2.0.so"));
    CHECK_FALSE(Mapped("libXft.so"));
}

}  // namespace zinna
