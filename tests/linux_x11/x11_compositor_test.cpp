// A compositor coming and going while she is on the screen, as a person would see it: xcompmgr
// started and ended by the test, her window shown with her own character, and the screen's pixels
// (a screenshot of the root window) around her and on her. Whenever no compositor blends her, the pixels around her are
// the desktop's, never a dark box.
#include <doctest/doctest.h>  // before Xlib, whose macros would rename some of its names

#include "platform/linux/x11/hosted_agent_control.h"
#include "platform/linux/x11/stage_windows.h"
#include "stage/host/stage_control.h"
#include "x11_test_support.h"

#include <X11/extensions/shape.h>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace zinna;
using namespace zinna::testing;

namespace {

// xcompmgr, started by the test and ended when the test says or at the latest when it goes.
class Compositor {
public:
    Compositor() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        // The event loop blocks the session's signals in this thread; xcompmgr gets them again.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        char name[] = "xcompmgr";
        char* arguments[] = {name, nullptr};
        const int failed = posix_spawnp(&pid_, name, &actions, &attributes, arguments, environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        REQUIRE_MESSAGE(failed == 0, "cannot start xcompmgr");
    }
    ~Compositor() { End(); }
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;
    void End() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = 0;
};

struct NoEvents final : AgentEvents {
    void Command(const std::string&) override {}
    void DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void RequestStart(RequestId) override {}
    void RequestComplete(RequestId) override {}
    void IdleStart(const std::string&) override {}
};

struct NoSound final : stage::SoundOutput {
    void Play(std::span<const std::uint8_t>) override {}
};

constexpr int kHerX = 400, kHerY = 300;
constexpr int kMargin = 8;  // the desktop's pixels checked all around her frame

// The screen as a screenshot shows it: import's picture of the root window.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t At(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
    }
};

// keepAs: also kept as a PNG of the screen around her in $ZINNA_SCREENSHOT_DIR, when that is set.
Screenshot TakeScreenshot(const char* keepAs = nullptr, int width = 0, int height = 0) {
    char folder[] = "/tmp/zinna-screen-XXXXXX";
    REQUIRE(mkdtemp(folder) != nullptr);
    const std::string ppm = std::string(folder) + "/screen.ppm";
    const std::string command = "import -window root -depth 8 ppm:" + ppm;
    REQUIRE_MESSAGE(std::system(command.c_str()) == 0, command);
    const char* folderToKeep = std::getenv("ZINNA_SCREENSHOT_DIR");
    if (keepAs != nullptr && folderToKeep != nullptr) {
        const std::string crop = std::to_string(width + 2 * 60) + "x" + std::to_string(height + 2 * 40) + "+" +
                                 std::to_string(kHerX - 60) + "+" + std::to_string(kHerY - 40);
        const std::string png =
            "import -window root -crop " + crop + " +repage png:" + std::string(folderToKeep) + "/" + keepAs;
        CHECK(std::system(png.c_str()) == 0);
    }
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int maximum = 0;
    Screenshot shot;
    in >> magic >> shot.width >> shot.height >> maximum;
    in.get();
    REQUIRE(magic == "P6");
    REQUIRE(maximum == 255);
    shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
    in.read(reinterpret_cast<char*>(shot.rgb.data()), static_cast<std::streamsize>(shot.rgb.size()));
    std::remove(ppm.c_str());
    rmdir(folder);
    return shot;
}

// Her on the screen, her windows drawn by the presenter, over the test's desktop.
struct HerOnX {
    x11::XConnection& x = TestConnection();
    x11::EventLoop loop{x};
    TestDesktop desktop{loop};
    NoEvents events;
    NoSound sound;
    stage::StageControl control{loop.Clock(), events, sound,
                                [](const std::string&) { return x11::ReadWholeFile(ZINNA_TEST_ACS); },
                                stage::StageSettings{}};
    std::unique_ptr<x11::StageWindows> windows;

    // compositor: whether one runs; her window is made once the selection says so (one that was
    // ended may still hold it for a moment).
    explicit HerOnX(bool compositor) {
        REQUIRE(Until([&] { return x.CompositorRunning() == compositor; }));
        control.CharactersLoad("tester", "tester.acs");
        stage::StageCharacter& her = *control.Loaded();
        her.SetIdleOn(basic::Boolean{0});  // False: Xlib has taken the name
        windows = std::make_unique<x11::StageWindows>(loop, her);
        her.MoveTo(kHerX, kHerY, std::nullopt);
        her.Show();
        REQUIRE(Until([&] { return PlacementOf(x, windows->CharacterHandle()).viewable; }));
    }
    bool Until(const std::function<bool()>& done) { return loop.RunUntil(done, kWaitMs); }

    // What a person sees: the desktop all around her and wherever her frame is transparent, her
    // colours wherever it is opaque, pixel for pixel. Taken again until it is so (a compositor
    // paints when it gets to it); keepAs names the screenshot kept once it is.
    bool LooksRight(const char* keepAs = nullptr) {
        std::size_t wrong = 0;
        loop.RunUntil(
            [&] {
                const acs::RgbaImage& frame = control.Loaded()->FrameImage();
                const Screenshot shot = TakeScreenshot();
                wrong = 0;
                for (int y = -kMargin; y < frame.height + kMargin; ++y)
                    for (int x = -kMargin; x < frame.width + kMargin; ++x) {
                        std::uint32_t wanted = TestDesktop::kColour;
                        if (x >= 0 && y >= 0 && x < frame.width && y < frame.height) {
                            const std::uint8_t* p = &frame.rgba[(static_cast<std::size_t>(y) * frame.width + x) * 4];
                            if (p[3] != 0)
                                wanted = static_cast<std::uint32_t>(p[0]) << 16 |
                                         static_cast<std::uint32_t>(p[1]) << 8 | p[2];
                        }
                        if (shot.At(kHerX + x, kHerY + y) != wanted) ++wrong;
                    }
                return wrong == 0;
            },
            kWaitMs);
        CAPTURE(wrong);
        if (wrong == 0 && keepAs != nullptr) {
            const acs::RgbaImage& frame = control.Loaded()->FrameImage();
            TakeScreenshot(keepAs, frame.width, frame.height);
        }
        return wrong == 0;
    }
    // Whether the window's bounding shape is exactly her opaque pixels (the server may join rows of
    // the same runs into one rectangle).
    bool BoundingIsOpaquePixels() {
        const acs::RgbaImage& frame = control.Loaded()->FrameImage();
        std::vector<bool> inside(static_cast<std::size_t>(frame.width) * frame.height, false);
        int count = 0, ordering = 0;
        XRectangle* rectangles =
            XShapeGetRectangles(x.Get(), windows->CharacterHandle(), ShapeBounding, &count, &ordering);
        for (int i = 0; i < count; ++i)
            for (int y = rectangles[i].y; y < rectangles[i].y + rectangles[i].height; ++y)
                for (int x = rectangles[i].x; x < rectangles[i].x + rectangles[i].width; ++x)
                    if (x >= 0 && y >= 0 && x < frame.width && y < frame.height)
                        inside[static_cast<std::size_t>(y) * frame.width + x] = true;
        if (rectangles != nullptr) XFree(rectangles);
        for (std::size_t i = 0; i < inside.size(); ++i)
            if (inside[i] != (frame.rgba[i * 4 + 3] != 0)) return false;
        return true;
    }
    int BoundingRectangles() {
        int count = 0, ordering = 0;
        XRectangle* rectangles =
            XShapeGetRectangles(x.Get(), windows->CharacterHandle(), ShapeBounding, &count, &ordering);
        if (rectangles != nullptr) XFree(rectangles);
        return count;
    }
};

}  // namespace

TEST_CASE("a compositor that leaves: her ARGB window is shaped to her opaque pixels, and comes back blended") {
    auto compositor = std::make_unique<Compositor>();
    HerOnX her(true);
    REQUIRE(her.windows->CharacterArgb());
    CHECK(her.windows->CharacterBlended());
    CHECK(her.BoundingRectangles() == 1);  // the compositor shows her alpha
    CHECK(her.LooksRight());

    compositor->End();
    CHECK(her.Until([&] { return !her.windows->CharacterBlended(); }));
    CHECK(her.BoundingIsOpaquePixels());
    CHECK(her.LooksRight("linux-compositor-left.png"));

    // Another compositor comes: her alpha is blended again, without a shape.
    Compositor again;
    CHECK(her.Until([&] { return her.windows->CharacterBlended(); }));
    CHECK(her.BoundingRectangles() == 1);
    CHECK(her.LooksRight());
}

TEST_CASE("a compositor that arrives while she runs finds her shaped window as it was") {
    HerOnX her(false);
    REQUIRE_FALSE(her.windows->CharacterArgb());
    CHECK(her.BoundingIsOpaquePixels());
    CHECK(her.LooksRight());

    Compositor compositor;
    CHECK(her.Until([&] { return her.x.CompositorRunning(); }));
    CHECK_FALSE(her.windows->CharacterBlended());  // a window of the screen's visual has no alpha to blend
    CHECK(her.BoundingIsOpaquePixels());
    CHECK(her.LooksRight());
}
