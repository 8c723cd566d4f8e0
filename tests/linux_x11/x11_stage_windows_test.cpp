// Her windows on an X screen, with the unchanged program on the simulated desktop's registry and
// shell, driven as a person would: xdotool's pointer and keys, the screen's pixels, and the window
// properties a window manager reads. Run without and with a compositor (xcompmgr).
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "lifecycle/zinna_form.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/trace.h"

#include "platform/linux/x11/hosted_agent_control.h"
#include "platform/linux/x11/x11_toolkit.h"
#include "x11_test_support.h"

#include <X11/extensions/shape.h>

#include <algorithm>
#include <memory>

using namespace zinna;
using namespace zinna::testing;

namespace {

// The program, its character on the X screen, and a desktop under her.
struct ProgramOnX {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop{x};
    TestDesktop desktop{loop};
    bool compositor = WithCompositor(loop);
    sim::Trace trace{loop.Clock()};
    sim::SimDesktop module{sim::SimDesktopConfig{}, trace};
    x11::X11Toolkit toolkit{loop, "Zinna", [](const std::string&) { return x11::ReadWholeFile(ZINNA_TEST_ACS); }};
    ZinnaForm form{toolkit, module};
    Placement firstShown;

    ProgramOnX() {
        toolkit.SetSessionEndingHandler([this] { form.Dispatch().SessionEnding(); });
        form.Dispatch().Start();
        REQUIRE(toolkit.Host() != nullptr);
        REQUIRE(toolkit.Host()->Windows() != nullptr);
        REQUIRE(loop.RunUntil([&] { return PlacementOf(x, Window()).viewable; }, kWaitMs));
        firstShown = PlacementOf(x, Window());
    }

    stage::StageCharacter& Her() { return *toolkit.Host()->Host().Loaded(); }
    const x11::StageWindows& Windows() { return *toolkit.Host()->Windows(); }
    ::Window Window() { return Windows().CharacterHandle(); }
    bool Until(const std::function<bool()>& done) { return loop.RunUntil(done, kWaitMs); }

    // A point of hers on the screen where the current frame is opaque, nearest her waist.
    std::pair<int, int> OpaquePoint() {
        const acs::RgbaImage& frame = Her().FrameImage();
        std::pair<int, int> best{-1, -1};
        int bestDistance = 1 << 30;
        for (int py = 0; py < frame.height; ++py)
            for (int px = 0; px < frame.width; ++px) {
                if (frame.rgba[(static_cast<std::size_t>(py) * frame.width + px) * 4 + 3] == 0) continue;
                const int distance = (px - frame.width / 2) * (px - frame.width / 2) +
                                     (py - frame.height * 9 / 16) * (py - frame.height * 9 / 16);
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = {px, py};
                }
            }
        REQUIRE(best.first >= 0);
        return {Her().X() + best.first, Her().Y() + best.second};
    }
    // The frame's colour at a screen point of hers, as 0xRRGGBB, or nullopt where it is transparent.
    std::optional<std::uint32_t> FrameColourAt(int sx, int sy) {
        const acs::RgbaImage& frame = Her().FrameImage();
        const int px = sx - Her().X(), py = sy - Her().Y();
        if (px < 0 || py < 0 || px >= frame.width || py >= frame.height) return std::nullopt;
        const std::uint8_t* p = &frame.rgba[(static_cast<std::size_t>(py) * frame.width + px) * 4];
        if (p[3] == 0) return std::nullopt;
        return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
    }
};

std::string ClassOf(x11::XConnection& x, ::Window window) {
    XClassHint hint{};
    if (XGetClassHint(x.Get(), window, &hint) == 0) return {};
    std::string both = std::string(hint.res_name) + "," + hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return both;
}

}  // namespace

TEST_CASE("she appears centred in a window the window manager neither frames, focuses nor lists") {
    ProgramOnX program;
    x11::XConnection& x = program.x;
    const ::Window window = program.Window();
    CHECK(program.firstShown.width == 128);
    CHECK(program.firstShown.x == (1024 - 128) / 2);
    CHECK(program.firstShown.y == (768 - 128) / 2);

    CHECK(ClassOf(x, window) == "zinna,Zinna");
    const std::vector<Atom> state = AtomsOf(x, window, "_NET_WM_STATE");
    for (const char* wanted : {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        CAPTURE(wanted);
        CHECK(std::count(state.begin(), state.end(), x.Intern(wanted)) == 1);
    }
    CHECK(AtomsOf(x, window, "_NET_WM_WINDOW_TYPE") == std::vector<Atom>{x.Intern("_NET_WM_WINDOW_TYPE_DOCK")});
    XWMHints* hints = XGetWMHints(x.Get(), window);
    REQUIRE(hints != nullptr);
    CHECK((hints->flags & InputHint) != 0);
    CHECK(hints->input == False);
    XFree(hints);

    // Her visual: 32-bit with her alpha where a compositor blends, the screen's own otherwise.
    XWindowAttributes attributes{};
    XGetWindowAttributes(x.Get(), window, &attributes);
    CHECK(attributes.depth == (program.compositor ? 32 : 24));
    CHECK(program.Windows().CharacterArgb() == program.compositor);
    // The pointer's shape is her opaque pixels: many runs, never the whole square.
    int count = 0, ordering = 0;
    XRectangle* input = XShapeGetRectangles(x.Get(), window, ShapeInput, &count, &ordering);
    CHECK(count > 10);
    if (input != nullptr) XFree(input);
    XRectangle* bounding = XShapeGetRectangles(x.Get(), window, ShapeBounding, &count, &ordering);
    if (program.compositor)
        CHECK(count == 1);  // the whole window: the compositor shows her alpha
    else
        CHECK(count > 10);
    if (bounding != nullptr) XFree(bounding);
}

// Her opening flight gives her window another picture and outline at every wing beat. The server
// must send her nothing back for them: each event would be one more read and one more turn of her
// loop a beat.
TEST_CASE("her wing beats bring no event back from the X server") {
    ProgramOnX program;
    Display* display = program.x.Get();
    ::Window window = program.Window();
    const auto hers = [](Display*, XEvent* event, XPointer her) -> Bool {
        return event->xany.window == *reinterpret_cast<::Window*>(her) ? True : False;
    };
    const int before = program.Windows().CharacterDrawings();
    const std::int64_t deadline = program.loop.Clock().NowMs() + kWaitMs;
    int events = 0;
    while (program.Windows().CharacterDrawings() < before + 8 && program.loop.Clock().NowMs() < deadline) {
        program.loop.RunOnce(kWaitMs);
        // Whatever the turn's requests caused is in the queue after the round trip, not handled yet.
        XSync(display, False);
        XEvent event;
        while (XCheckIfEvent(display, &event, hers, reinterpret_cast<XPointer>(&window))) ++events;
    }
    REQUIRE(program.Windows().CharacterDrawings() >= before + 8);
    CHECK(events == 0);
}

TEST_CASE("the screen shows her pixels where she is opaque and the desktop where she is transparent") {
    ProgramOnX program;
    x11::XConnection& x = program.x;
    // The pictures may change between a look and the next: the screen is watched until it matches.
    CHECK(program.Until([&] {
        const auto [sx, sy] = program.OpaquePoint();
        const std::optional<std::uint32_t> wanted = program.FrameColourAt(sx, sy);
        return wanted && ScreenPixel(x, sx, sy) == *wanted;
    }));
    CHECK(program.Until([&] {
        const int sx = program.Her().X() + 1, sy = program.Her().Y() + 1;  // her frame's corner is empty
        return !program.FrameColourAt(sx, sy) && ScreenPixel(x, sx, sy) == TestDesktop::kColour;
    }));
}

TEST_CASE("clicks on her transparent pixels reach the desktop; on her, they do not") {
    ProgramOnX program;
    // She stands still while the opening has her hidden between its parts; the test waits for her
    // to be shown, then clicks at once.
    REQUIRE(program.Until([&] { return program.Her().Visible(); }));
    const int cornerX = program.Her().X() + 1, cornerY = program.Her().Y() + 1;
    Xdotool("mousemove " + std::to_string(cornerX) + " " + std::to_string(cornerY) + " click 1");
    CHECK(program.Until([&] { return program.desktop.Clicks() == 1; }));

    const auto [sx, sy] = program.OpaquePoint();
    Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " click 3");
    CHECK(program.Until([&] { return program.Windows().Menu() != nullptr; }));
    CHECK(program.desktop.Clicks() == 1);
    Xdotool("key Escape");
    CHECK(program.Until([&] { return program.Windows().Menu() == nullptr; }));
}

TEST_CASE("her menu: a right-click opens it, its access keys and clicks reach the program from the loop") {
    ProgramOnX program;
    x11::XConnection& x = program.x;
    const auto openMenu = [&] {
        REQUIRE(program.Until([&] { return program.Her().Visible(); }));
        const auto [sx, sy] = program.OpaquePoint();
        Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " click 3");
        REQUIRE(program.Until([&] { return program.Windows().Menu() != nullptr; }));
        return program.Windows().Menu()->Handle();
    };
    ::Window menu = openMenu();
    CHECK(ClassOf(x, menu) == "zinna,ZinnaMenu");
    const Placement placement = PlacementOf(x, menu);
    CHECK(placement.viewable);
    // Thirteen entries of one height each, inside the screen.
    CHECK((placement.height - 2) % 13 == 0);
    CHECK(placement.x + placement.width <= 1024);
    CHECK(placement.y + placement.height <= 768);

    // "&Lantern Hall": its access key opens the page through the shell.
    Xdotool("key l");
    REQUIRE(program.Until([&] { return program.module.ShellRequests().size() == 1; }));
    CHECK(program.Until([&] { return program.Windows().Menu() == nullptr; }));

    // A click elsewhere closes it and chooses nothing; the click goes no further.
    menu = openMenu();
    const int clicksBefore = program.desktop.Clicks();
    Xdotool("mousemove 5 5 click 1");
    CHECK(program.Until([&] { return program.Windows().Menu() == nullptr; }));
    CHECK(program.desktop.Clicks() == clicksBefore);
    CHECK(program.module.ShellRequests().size() == 1);

    // A click on its first entry chooses it.
    menu = openMenu();
    const Placement open = PlacementOf(x, menu);
    Xdotool("mousemove " + std::to_string(open.x + 30) + " " + std::to_string(open.y + 6) + " click 1");
    CHECK(program.Until([&] { return program.module.ShellRequests().size() == 2; }));
}

TEST_CASE("a drag moves her where the pointer goes, from where she was grabbed; she dances out there") {
    ProgramOnX program;
    REQUIRE(program.Until([&] { return program.Her().Visible(); }));
    const auto [sx, sy] = program.OpaquePoint();
    const int grabX = sx - program.Her().X(), grabY = sy - program.Her().Y();
    const int dropX = std::clamp(sx + 150, 200, 900), dropY = std::clamp(sy - 100, 150, 600);
    Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " mousedown 1 mousemove " +
            std::to_string(sx + 40) + " " + std::to_string(sy + 10) + " mousemove " + std::to_string(dropX) + " " +
            std::to_string(dropY) + " mouseup 1");
    CHECK(program.Until([&] { return program.Her().ShownAnimation() == "DanceFadeOut"; }));
    CHECK(program.Her().X() == dropX - grabX);
    CHECK(program.Her().Y() == dropY - grabY);
    CHECK(program.Until([&] {
        const Placement shown = PlacementOf(program.x, program.Window());
        return shown.x == dropX - grabX && shown.y == dropY - grabY;
    }));
}

TEST_CASE("a double-click on her opens the page; the session's end puts the desktop back and ends") {
    ProgramOnX program;
    REQUIRE(program.Until([&] { return program.Her().Visible(); }));
    const auto [sx, sy] = program.OpaquePoint();
    Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " click --repeat 2 --delay 80 1");
    CHECK(program.Until([&] { return program.module.ShellRequests().size() == 1; }));

    CHECK(program.module.DesktopColor() == 0);  // her desktop is black
    raise(SIGTERM);
    CHECK(program.toolkit.RunMessageLoop() == 0);
    CHECK(program.toolkit.EndedWith() == EndReason::SessionEnd);
    CHECK(program.module.DesktopColor() == sim::SimDesktopConfig{}.desktopColor);
}

namespace {

// Whether another client can take the pointer now: nothing of hers holds it.
bool PointerFree(x11::XConnection& x) {
    XSync(x.Get(), False);  // her requests so far have reached the server
    const std::unique_ptr<Display, int (*)(Display*)> other(XOpenDisplay(nullptr), XCloseDisplay);
    REQUIRE(other != nullptr);
    const int status = XGrabPointer(other.get(), DefaultRootWindow(other.get()), False, ButtonPressMask, GrabModeAsync,
                                    GrabModeAsync, None, None, CurrentTime);
    XUngrabPointer(other.get(), CurrentTime);
    XSync(other.get(), False);
    return status == GrabSuccess;
}

}  // namespace

TEST_CASE("a double-click opens the page however late she reads its presses and releases") {
    // Her presses are read when her loop runs; a busy machine reads them late, some before and some
    // after the user's next move. The loop runs here only where a step waits, so each row fixes what
    // she has read when the rest comes. She stands still meanwhile, so every press is on her.
    enum class Then { Nothing, PressHeld, PageOpened };
    struct Step {
        const char* xdotool;
        Then then;
    };
    struct Row {
        const char* reading;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"both clicks come before she reads anything", {{"click --repeat 2 --delay 80 1", Then::PageOpened}}},
        {"she reads the first press while its button is down; its release and the second click come before "
         "she reads again",
         {{"mousedown 1", Then::PressHeld}, {"mouseup 1 click 1", Then::PageOpened}}},
        {"she reads each press while its button is down",
         {{"mousedown 1", Then::PressHeld}, {"mouseup 1 mousedown 1", Then::PageOpened}, {"mouseup 1", Then::Nothing}}},
    };

    ProgramOnX program;
    REQUIRE(program.Until([&] { return program.Her().Visible() && program.Her().ShownAnimation() != "Hiding"; }));
    program.Her().SetIdleOn(basic::ToBoolean(false));  // no idle animation either
    program.Her().Stop();
    REQUIRE(program.Until([&] { return program.Her().QueuedRequests() == 0 && !program.Her().NextChangeMs(); }));
    REQUIRE(program.Her().Visible());
    const auto [sx, sy] = program.OpaquePoint();
    Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy));

    std::size_t pages = 0;
    for (const Row& row : rows) {
        const std::string reading = row.reading;
        CAPTURE(reading);
        for (const Step& step : row.steps) {
            Xdotool(step.xdotool);
            if (step.then == Then::PressHeld) REQUIRE(program.Until([&] { return program.Windows().PointerHeld(); }));
            if (step.then == Then::PageOpened) {
                ++pages;
                CHECK(program.Until([&] { return program.module.ShellRequests().size() >= pages; }));
            }
        }
        CHECK(program.module.ShellRequests().size() == pages);  // one page for one double-click
        CHECK_FALSE(program.Windows().PointerHeld());
        CHECK(PointerFree(program.x));
        pages = program.module.ShellRequests().size();
    }
}

TEST_CASE("the hidden separators bring the credits balloon: inside the screen, shaped, towards her") {
    ProgramOnX program;
    x11::XConnection& x = program.x;
    // A drop ends the opening at once, so the credits need not wait for all of it.
    REQUIRE(program.Until([&] { return program.Her().Visible(); }));
    const auto [grabX, grabY] = program.OpaquePoint();
    Xdotool("mousemove " + std::to_string(grabX) + " " + std::to_string(grabY) +
            " mousedown 1 mousemove 500 500 mouseup 1");
    REQUIRE(program.Until([&] { return program.Her().ShownAnimation() == "DanceFadeOut"; }));
    // The separators are the menu's second, ninth and twelfth entries, clicked in that order.
    for (const int entry : {1, 8, 11}) {
        CAPTURE(entry);
        REQUIRE(program.Until([&] { return program.Her().Visible() && program.Windows().Menu() == nullptr; }));
        const auto [sx, sy] = program.OpaquePoint();
        Xdotool("mousemove " + std::to_string(sx) + " " + std::to_string(sy) + " click 3");
        REQUIRE(program.Until([&] { return program.Windows().Menu() != nullptr; }));
        const Placement menu = PlacementOf(x, program.Windows().Menu()->Handle());
        const int row = (menu.height - 2) / 13;
        Xdotool("mousemove " + std::to_string(menu.x + 20) + " " + std::to_string(menu.y + 1 + entry * row + row / 2) +
                " click 1");
        REQUIRE(program.Until([&] { return program.Windows().Menu() == nullptr; }));
    }
    const ::Window balloon = program.Windows().BalloonHandle();
    REQUIRE(program.Until([&] { return PlacementOf(x, balloon).viewable; }));
    const Placement shown = PlacementOf(x, balloon);
    CHECK(shown.x >= 0);
    CHECK(shown.y >= 0);
    CHECK(shown.x + shown.width <= 1024);
    CHECK(shown.y + shown.height <= 768);
    // Above her with its pointer down to her, or below her pointing up.
    const int herTop = program.Her().Y(), herBottom = herTop + 128;
    CHECK((shown.y + shown.height <= herTop + 1 || shown.y >= herBottom - 1));
    int count = 0, ordering = 0;
    XRectangle* outline = XShapeGetRectangles(x.Get(), balloon, ShapeBounding, &count, &ordering);
    CHECK(count > 4);  // rounded corners and a pointer: never a plain rectangle
    if (outline != nullptr) XFree(outline);
    CHECK(ClassOf(x, balloon) == "zinna,Zinna");
}
