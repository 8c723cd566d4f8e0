// The bare X screen's root picture, Plasma's scripts (to a stand-in: no Plasma runs here), the
// taskbar, "show desktop", xdg-open, the data folder, and a desktop that does not answer.
#include "linux_desktop_support.h"

#include <poll.h>

#include <sstream>

// Last: Xlib's macros (True, None, Status) would clash with the program's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace zinna::linuxdesk::testing {

namespace {

struct DisplayOwner {
    Display* display = XOpenDisplay(nullptr);
    ~DisplayOwner() {
        if (display) XCloseDisplay(display);
    }
    Window Root() const { return DefaultRootWindow(display); }
};

std::optional<unsigned long> RootCardinal(Display* display, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, name, False), 0, 1, False,
                       AnyPropertyType, &type, &format, &count, &remaining, &data);
    std::optional<unsigned long> value;
    if (data && count == 1) value = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return value;
}

void SetRootCardinals(Display* display, const char* name, Atom type, std::vector<long> values) {
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, name, False), type, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(values.data()), static_cast<int>(values.size()));
    XSync(display, False);
}

bool PixmapExists(Display* display, Pixmap pixmap) {
    auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    const bool found = XGetGeometry(display, pixmap, &root, &x, &y, &w, &h, &border, &depth) != 0;
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

unsigned long PixelAt(Display* display, Pixmap pixmap, int x, int y) {
    XImage* image = XGetImage(display, pixmap, x, y, 1, 1, AllPlanes, ZPixmap);
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

}  // namespace

TEST_CASE("a bare X screen shows the program's picture on the root and gets the user's pixmap back") {
    const auto dataFolder = MakeDataFolder();
    DisplayOwner x;
    REQUIRE(x.display != nullptr);
    for (const bool userHadPixmap : {true, false}) {
        CAPTURE(userHadPixmap);
        const Pixmap users = XCreatePixmap(x.display, x.Root(), 8, 8, 24);
        XDeleteProperty(x.display, x.Root(), XInternAtom(x.display, "_XROOTPMAP_ID", False));
        XDeleteProperty(x.display, x.Root(), XInternAtom(x.display, "ESETROOT_PMAP_ID", False));
        if (userHadPixmap) {
            SetRootCardinals(x.display, "_XROOTPMAP_ID", XA_PIXMAP, {static_cast<long>(users)});
            SetRootCardinals(x.display, "ESETROOT_PMAP_ID", XA_PIXMAP, {static_cast<long>(users)});
        }
        XSync(x.display, False);

        auto module = ModuleOn("x11", dataFolder);
        ProgramOnDesktop program(*module);
        program.Start();
        const auto shown = RootCardinal(x.display, "_XROOTPMAP_ID");
        REQUIRE(shown.has_value());
        CHECK(RootCardinal(x.display, "ESETROOT_PMAP_ID") == shown);
        CHECK(*shown != users);
        // The 2x2 bitmap stretched over 1024x768: each quarter of the screen is one of its pixels.
        CHECK(PixelAt(x.display, *shown, 0, 0) == 0xFF0000);
        CHECK(PixelAt(x.display, *shown, 1023, 0) == 0x00FF00);
        CHECK(PixelAt(x.display, *shown, 0, 767) == 0x0000FF);
        CHECK(PixelAt(x.display, *shown, 1023, 767) == 0xFFFFFF);

        program.Quit();
        CHECK(RootCardinal(x.display, "_XROOTPMAP_ID") ==
              (userHadPixmap ? std::optional<unsigned long>(users) : std::nullopt));
        CHECK(RootCardinal(x.display, "ESETROOT_PMAP_ID") == RootCardinal(x.display, "_XROOTPMAP_ID"));
        CHECK_FALSE(PixmapExists(x.display, *shown));  // the program's pixmap is freed
        XFreePixmap(x.display, users);
    }
}

TEST_CASE("Plasma gets the program's image, fill mode and colour on every desktop, then each desktop's own") {
    const auto dataFolder = MakeDataFolder();
    const std::filesystem::path log = dataFolder / "scripts.log", reply = dataFolder / "reply.txt";
    // Three desktops as the read script prints them: plugin, Image, FillMode, Color, each escaped;
    // "%" where the desktop has no stored value (the third never had its wallpaper set, the second
    // no colour).
    std::ofstream(reply) << "org.kde.image file%3A%2F%2F%2Fhome%2Fz%C3%B6e%2FSommer%2520am%2520See.png 1 %23123456\n"
                         << "org.kde.slideshow %2Fhome%2Fz%C3%B6e%2Fzwei%20Bilder.jpg 2 %\n"
                         << "org.kde.image % % %\n";

    PlasmaStandIn standIn(log, reply);

    auto module = ModuleOn("kde", dataFolder);
    ProgramOnDesktop shell(*module);
    shell.Start();
    CHECK(shell.Form().sOldWallPaper == "file:///home/zöe/Sommer%20am%20See.png");
    CHECK(shell.Form().sOldWallPaperStyle == "6");  // fit
    shell.Quit();
    standIn.Stop();

    std::stringstream scripts;
    scripts << std::ifstream(log).rdbuf();
    const std::string sent = scripts.str();
    const std::string bitmapUri = "file://" + (dataFolder / "LH1024x768.bmp").string();
    // The program's look, on every desktop.
    CHECK(sent.find("d.wallpaperPlugin = \"org.kde.image\"") != std::string::npos);
    CHECK(sent.find("writeConfig(\"Image\", decodeURIComponent(\"file%3A%2F%2F%2F") != std::string::npos);
    CHECK(sent.find("Zinna%2520Daten%2520%25C3%25A4%2FLH1024x768.bmp") != std::string::npos);
    CHECK(sent.find("writeConfig(\"FillMode\", decodeURIComponent(\"0\"))") != std::string::npos);
    CHECK(sent.find("writeConfig(\"Color\", decodeURIComponent(\"%23000000\"))") != std::string::npos);
    // Each desktop's own values back, as read, by its index: the slideshow desktop keeps its plugin.
    CHECK(sent.find("var d = ds[1];\n    d.wallpaperPlugin = decodeURIComponent(\"org.kde.slideshow\")") !=
          std::string::npos);
    CHECK(sent.find("var d = ds[0];\n    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                    "    d.writeConfig(\"Image\", decodeURIComponent(\"file%3A%2F%2F%2Fhome%2Fz%C3%B6e%2F"
                    "Sommer%2520am%2520See.png\"))") != std::string::npos);
    CHECK(sent.find("decodeURIComponent(\"%2Fhome%2Fz%C3%B6e%2Fzwei%20Bilder.jpg\")") != std::string::npos);
    CHECK(sent.find("writeConfig(\"Color\", decodeURIComponent(\"%23123456\"))") != std::string::npos);
    CHECK(sent.find("writeConfig(\"FillMode\", decodeURIComponent(\"1\"))") != std::string::npos);
    // A setting without a stored value is removed again from the desktop's settings, after a write
    // that makes the wallpaper read them anew; no set value is removed.
    for (const auto& [desktop, field] :
         std::vector<std::pair<int, std::string>>{{1, "Color"}, {2, "Image"}, {2, "FillMode"}, {2, "Color"}}) {
        CAPTURE(desktop);
        CAPTURE(field);
        CHECK(sent.find("var d = ds[" + std::to_string(desktop) +
                        "];\n    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                        "    d.writeConfig(\"" +
                        field + "\", decodeURIComponent(\"\"));\n    imageSettings(d).deleteEntry(\"" + field +
                        "\");") != std::string::npos);
    }
    for (const std::string setValue : {"Sommer%2520am%2520See.png", "zwei%20Bilder.jpg", "%23123456"}) {
        CAPTURE(setValue);
        CHECK(sent.find(setValue + "\"));\n    imageSettings(d).deleteEntry") == std::string::npos);
    }
    CHECK(sent.find("ConfigFile(\"plasma-org.kde.plasma.desktop-appletsrc\", \"Containments\")") != std::string::npos);
}

// The look is left alone in both ways a desktop can be missing: its service does not answer, or
// its settings schema is not installed (run in a process of its own, without the system's schemas:
// see CMakeLists.txt).
void CheckMissingDesktopIsLeftAlone(const char* desktop, const std::string& expectedMessage) {
    const auto dataFolder = MakeDataFolder();
    CapturedStderr errors;
    auto module = ModuleOn(desktop, dataFolder);
    ProgramOnDesktop program(*module);
    program.Start();
    program.Quit();
    CHECK(errors.Text() == "zinna: " + expectedMessage + "; the desktop's look is left as it is\n");
    CHECK(program.Form().sOldWallPaper == "ERROR");
    CHECK_FALSE(module->SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "/x.bmp", SPIF_UPDATEINIFILE));
    const int elements[] = {COLOR_BACKGROUND};
    const std::uint32_t black[] = {0};
    CHECK_FALSE(module->SetSysColors(1, elements, black));
}

TEST_CASE("a desktop whose service does not answer is left alone and the program goes on") {
    CheckMissingDesktopIsLeftAlone("kde", "the Plasma shell (org.kde.plasmashell) does not answer on the session bus");
}

TEST_CASE("a desktop whose settings schema is not installed is left alone" * doctest::skip()) {
    CheckMissingDesktopIsLeftAlone("gnome", "the settings schema org.gnome.desktop.background is not installed");
    // Nothing was written: the settings store was never created.
    CHECK_FALSE(std::filesystem::exists(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "glib-2.0"));
}

TEST_CASE("the taskbar is the bottom dock, else the strip below the work area, else the screen's bottom edge") {
    DisplayOwner x;
    REQUIRE(x.display != nullptr);
    auto module = ModuleOn("x11", MakeDataFolder());
    const auto taskbar = [&] {
        Rect rect;
        const WindowHandle window = module->FindWindowA("Shell_TrayWnd", "");
        CHECK(window != 0);
        CHECK(module->GetWindowRect(window, &rect));
        return std::vector<int>{rect.Left, rect.Top, rect.Right, rect.Bottom};
    };
    XDeleteProperty(x.display, x.Root(), XInternAtom(x.display, "_NET_WORKAREA", False));
    XSync(x.display, False);
    CHECK(taskbar() == std::vector<int>{0, 768, 1024, 768});

    SetRootCardinals(x.display, "_NET_WORKAREA", XA_CARDINAL, {0, 24, 1024, 712});
    CHECK(taskbar() == std::vector<int>{0, 736, 1024, 768});

    // A dock reserving the bottom 30 pixels from x 100 to 899; an unmapped one does not count.
    const Window dock = XCreateSimpleWindow(x.display, x.Root(), 100, 738, 800, 30, 0, 0, 0);
    const Atom dockType = XInternAtom(x.display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(x.display, dock, XInternAtom(x.display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dockType), 1);
    long strut[12] = {0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 100, 899};
    XChangeProperty(x.display, dock, XInternAtom(x.display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(strut), 12);
    XSync(x.display, False);
    CHECK(taskbar() == std::vector<int>{0, 736, 1024, 768});
    XMapWindow(x.display, dock);
    XSync(x.display, False);
    CHECK(taskbar() == std::vector<int>{100, 738, 900, 768});
    XDestroyWindow(x.display, dock);
    XDeleteProperty(x.display, x.Root(), XInternAtom(x.display, "_NET_WORKAREA", False));
    XSync(x.display, False);

    CHECK(module->FindWindowA("Shell_TrayWnd", "Taskbar") == 0);  // the taskbar has no title
    CHECK(module->FindWindowA("Progman", nullptr) == 0);
}

TEST_CASE("the Windows key with M asks the window manager to show the desktop, where it offers that") {
    DisplayOwner x;
    REQUIRE(x.display != nullptr);
    XSelectInput(x.display, x.Root(), SubstructureNotifyMask);
    auto module = ModuleOn("x11", MakeDataFolder());
    const Atom showing = XInternAtom(x.display, "_NET_SHOWING_DESKTOP", False);
    const auto chord = [&] {
        module->keybd_event(VK_LWIN, 0, 0, 0);
        module->keybd_event(0x4D, 0, 0, 0);
        module->keybd_event(0x4D, 0, KEYEVENTF_KEYUP, 0);
        module->keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
        // A request the module sends reaches this client before the answer to a round trip of ours.
        XSync(x.display, False);
        XEvent event;
        int requests = 0;
        while (XCheckTypedWindowEvent(x.display, x.Root(), ClientMessage, &event)) {
            if (event.xclient.message_type == showing && event.xclient.data.l[0] == 1) ++requests;
        }
        return requests;
    };
    XDeleteProperty(x.display, x.Root(), XInternAtom(x.display, "_NET_SUPPORTED", False));
    CHECK(chord() == 0);  // no window manager offers it: nothing is sent
    SetRootCardinals(x.display, "_NET_SUPPORTED", XA_ATOM, {static_cast<long>(showing)});
    CHECK(chord() == 1);
    module->keybd_event(0x4D, 0, 0, 0);  // M alone is no chord
    CHECK(chord() == 1);
    XDeleteProperty(x.display, x.Root(), XInternAtom(x.display, "_NET_SUPPORTED", False));
    XSync(x.display, False);
}

TEST_CASE("the web page goes to xdg-open as one argument, and the Windows directory is the data folder") {
    const auto dataFolder = MakeDataFolder();
    // An xdg-open of the test's own, first on PATH, that writes down each argument it gets.
    const auto bin = dataFolder / "bin";
    std::filesystem::create_directories(bin);
    const auto record = dataFolder / "xdg-open.args";
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '"
                                    << record.string() << ".part'\nmv '" << record.string() << ".part' '"
                                    << record.string() << "'\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str(), 1);

    auto module = ModuleOn("x11", dataFolder);
    const std::string address = "http://lantern.example/?launcher=glint&x=$(touch pwned) 'a b'";
    CHECK(module->ShellExecuteA(0, "open", address, "", "/", SW_HIDE) > 32);
    CHECK(module->ShellExecuteA(0, "print", address, "", "/", SW_HIDE) <= 32);
    for (int tries = 0; !std::filesystem::exists(record) && tries < 1000; ++tries) {
        struct pollfd none {};
        poll(&none, 0, 10);  // waiting for the launched shell to write its record
    }
    std::stringstream args;
    args << std::ifstream(record).rdbuf();
    CHECK(args.str() == address + "\n");

    char buffer[512];
    const auto length = module->GetWindowsDirectoryA(buffer, sizeof buffer);
    CHECK(std::string(buffer, length) == dataFolder.string());
    CHECK(module->GetWindowsDirectoryA(buffer, 3) == length + 1);
    CHECK(HostPathFromProgramPath(dataFolder.string() + "\\zinna.acs", dataFolder.string()) ==
          (dataFolder / "zinna.acs").string());
    CHECK(HostPathFromProgramPath("/srv/Bilder\\x.bmp", "/usr/share/zinna") == "/srv/Bilder\\x.bmp");
}

}  // namespace zinna::linuxdesk::testing
