// The bare X screen's root picture, Plasma's scripts (to a stand-in: no Plasma runs here), the
// taskbar, "show desktop", xdg-open, the data folder, and a desktop that does not answer.
#include "linux_desktop_support.h"
#include "platform/linux/desktop/desktop_module.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

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
    CHECK(sent.find("writeConfig(\"Image\", \"file:///") != std::string::npos);
    CHECK(sent.find("Zinna%20Daten%20%C3%A4/LH1024x768.bmp\");") != std::string::npos);
    CHECK(sent.find("writeConfig(\"FillMode\", \"0\")") != std::string::npos);
    CHECK(sent.find("writeConfig(\"Color\", \"#000000\")") != std::string::npos);
    // Each desktop's own values back, as read, by its index: the slideshow desktop keeps its plugin.
    CHECK(sent.find("var d = ds[1];\n    d.wallpaperPlugin = \"org.kde.slideshow\"") != std::string::npos);
    CHECK(sent.find("var d = ds[0];\n    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                    "    d.writeConfig(\"Image\", \"file:///home/z\\u00F6e/Sommer%20am%20See.png\")") !=
          std::string::npos);
    CHECK(sent.find("\"/home/z\\u00F6e/zwei Bilder.jpg\"") != std::string::npos);
    CHECK(sent.find("writeConfig(\"Color\", \"#123456\")") != std::string::npos);
    CHECK(sent.find("writeConfig(\"FillMode\", \"1\")") != std::string::npos);
    // A setting without a stored value is removed again from the desktop's settings, after a write
    // that makes the wallpaper read them anew; no set value is removed.
    for (const auto& [desktop, field] :
         std::vector<std::pair<int, std::string>>{{1, "Color"}, {2, "Image"}, {2, "FillMode"}, {2, "Color"}}) {
        CAPTURE(desktop);
        CAPTURE(field);
        CHECK(sent.find("var d = ds[" + std::to_string(desktop) +
                        "];\n    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                        "    d.writeConfig(\"" +
                        field + "\", \"\");\n    imageSettings(d).deleteEntry(\"" + field + "\");") !=
              std::string::npos);
    }
    for (const std::string setValue : {"Sommer%20am%20See.png", "zwei Bilder.jpg", "#123456"}) {
        CAPTURE(setValue);
        CHECK(sent.find(setValue + "\");\n    imageSettings(d).deleteEntry") == std::string::npos);
    }
    CHECK(sent.find("ConfigFile(\"plasma-org.kde.plasma.desktop-appletsrc\", \"Containments\")") != std::string::npos);
}

// The last script the stand-in was sent.
std::string LastScript(const std::filesystem::path& log) {
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    const std::string all = text.str();
    constexpr std::string_view kEnd = "\n--- end of script ---\n";
    if (all.size() < kEnd.size()) return {};
    const std::size_t previous = all.rfind(kEnd, all.size() - kEnd.size() - 1);
    const std::size_t begin = previous == std::string::npos ? 0 : previous + kEnd.size();
    return all.substr(begin, all.size() - kEnd.size() - begin);
}

// What a restore script writes, run by a real script engine (node) over two desktops that record
// every write: one line "desktop field hex-of-UTF-8" each. nullopt without node.
std::optional<std::string> WritesOf(const std::string& script) {
    if (access("/usr/bin/node", X_OK) != 0) return std::nullopt;
    char path[] = "/tmp/zinna-plasma-XXXXXX";
    const int fd = mkstemp(path);
    REQUIRE(fd >= 0);
    close(fd);
    std::ofstream(path)
        << "var out = [];\n"
           "function hex(v) { return Buffer.from(String(v), 'utf8').toString('hex'); }\n"
           "function desktops() { return [0, 1].map(function (i) { return {\n"
           "  id: i, currentConfigGroup: [],\n"
           "  set wallpaperPlugin(v) { out.push(i + ' plugin ' + hex(v)); },\n"
           "  writeConfig: function (k, v) { out.push(i + ' ' + k + ' ' + hex(v)); } }; }); }\n"
           "function ConfigFile() { return { deleteEntry: function (k) { out.push('delete ' + k); } }; }\n"
        << script << "\nprocess.stdout.write(out.join('\\n'));\n";
    std::string out;
    if (FILE* pipe = popen(("/usr/bin/node " + std::string(path)).c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
        if (pclose(pipe) != 0) out = "the script did not run";
    }
    std::remove(path);
    return out;
}

std::string Hex(const std::string& text) {
    std::string hex;
    char byte[3];
    for (const unsigned char c : text) {
        std::snprintf(byte, sizeof byte, "%02x", c);
        hex += byte;
    }
    return hex;
}

TEST_CASE("a journal's settings reach Plasma's script only as keys this layer writes, values as literals") {
    const auto dataFolder = MakeDataFolder();
    const std::filesystem::path log = dataFolder / "scripts.log", reply = dataFolder / "reply.txt";
    std::ofstream(reply) << "org.kde.image % % %\norg.kde.image % % %\n";
    PlasmaStandIn standIn(log, reply);
    auto module = ModuleOn("kde", dataFolder);
    DesktopSettings* plasma = dynamic_cast<LinuxModule&>(*module).Settings();
    REQUIRE(plasma != nullptr);

    struct Row {
        std::string key;
        std::optional<std::string> value;
        bool taken;
    };
    const std::string injection = "\"); out.push(\"injected\"); (\"";
    for (const Row& row : {
             Row{"desktop0/Image",
                 "file:///home/z\xC3\xB6"
                 "e/" +
                     injection + "\n</script>'\\.png",
                 true},
             Row{"desktop1/plugin", "org.kde.slideshow", true},
             Row{"desktop1/Color", "#123456", true},
             Row{"desktop0/FillMode", std::nullopt, true},
             Row{"desktop0/Image" + injection, "x", false},
             Row{"desktop0" + injection + "/Image", "x", false},
             Row{"desktop0); out.push(1); (0/Image", "x", false},
             Row{"desktop00/Image", "x", false},
             Row{"desktop99999/Image", "x", false},
             Row{"desktop-1/Image", "x", false},
             Row{"desktop/Image", "x", false},
             Row{"desktop0/Unknown", "x", false},
             Row{"desktop0/image", "x", false},
             Row{"desktop0/Color", "\xFF\xFE", false},
         }) {
        CAPTURE(row.key);
        std::filesystem::remove(log);
        CHECK(plasma->Restore({{row.key, row.value}}) == row.taken);
        const std::string script = LastScript(log);
        if (!row.taken) CHECK(script.find("injected") == std::string::npos);  // nothing of a refused key
        const auto writes = WritesOf(script);
        if (!writes) continue;
        CHECK(writes->find("injected") == std::string::npos);  // no text ran as script
        std::string expected;
        if (row.taken) {
            const auto slash = row.key.find('/');
            const std::string desktop = row.key.substr(7, slash - 7), field = row.key.substr(slash + 1);
            expected = desktop + " " + field + " " + Hex(row.value.value_or(""));
            if (!row.value) expected += "\ndelete " + field;
        }
        CHECK(*writes == expected);  // a refused setting writes nothing
    }
}

TEST_CASE("a Plasma shell that stops answering costs the deadline in all, not a timeout a script") {
    const auto dataFolder = MakeDataFolder();
    const std::filesystem::path log = dataFolder / "scripts.log", reply = dataFolder / "reply.txt";
    std::ofstream(reply) << "org.kde.image % % %\n";
    PlasmaStandIn standIn(log, reply);
    auto module = ModuleOn("kde", dataFolder);
    DesktopSettings* plasma = dynamic_cast<LinuxModule&>(*module).Settings();
    REQUIRE(plasma != nullptr);
    REQUIRE(kill(standIn.Pid(), SIGSTOP) == 0);
    using Clock = std::chrono::steady_clock;
    const auto began = Clock::now();
    {
        const DesktopCallLimit limit(*module, std::chrono::milliseconds(1500));
        CHECK_FALSE(plasma->ReadPicture());
        CHECK_FALSE(plasma->Restore({{"desktop0/Image", "file:///a.png"}}));
        CHECK_FALSE(plasma->SetColour(0x123456));
        CHECK_FALSE(plasma->SetStyle(PictureStyle::Fit));
    }
    const auto took = Clock::now() - began;
    CHECK(took >= std::chrono::milliseconds(1400));
    CHECK(took < std::chrono::milliseconds(2500));
    // Without a deadline from outside, one change gets a few seconds of its own, then fails.
    const auto alone = Clock::now();
    CHECK_FALSE(plasma->SetPicture("/a.png"));
    CHECK(Clock::now() - alone < std::chrono::seconds(4));
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
