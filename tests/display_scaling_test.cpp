// Scaled displays (100 % to 400 %): the screen the program computes from the toolkit's layout units,
// her frames and balloon at the display's scale, and her places on a scaled display.
#include "host_test_character.h"
#include "sim_test_support.h"

#include "lifecycle/screen_metrics.h"
#include "platform/layout_units.h"
#include "platform/sim/sim_toolkit.h"
#include "platform/sim/virtual_clock.h"
#include "stage/host/frame_scaling.h"
#include "stage/host/stage_control.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

using namespace zinna;
using namespace zinna::testing;

namespace {

std::string ProgramCharacterPath(int frameSide) {
    const auto path =
        std::filesystem::temp_directory_path() / ("zinna-display-scaling-test-" + std::to_string(frameSide) + ".acs");
    return WriteProgramTestCharacter(path.string(), frameSide);
}

acs::RgbaImage Picture(int width, int height, std::initializer_list<std::uint32_t> pixels) {
    acs::RgbaImage image{width, height, {}};
    for (std::uint32_t rgba : pixels)
        for (int shift : {24, 16, 8, 0}) image.rgba.push_back(static_cast<std::uint8_t>(rgba >> shift));
    return image;
}

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

// The smallest rectangle around the screen's pixels of one colour, as "width x height".
std::string ExtentOf(const acs::RgbaImage& screen, std::uint32_t colour) {
    int left = screen.width, top = screen.height, right = -1, bottom = -1;
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x)
            if (screen.At(x, y) == colour) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return std::to_string(right - left + 1) + "x" + std::to_string(bottom - top + 1);
}

}  // namespace

TEST_CASE("whole layout units per pixel give the program the display's true pixel size at every scaling") {
    // DPI, the layout units per pixel reported (1440 / DPI, to the nearest, halves to even).
    const std::pair<int, int> scalings[] = {{96, 15}, {120, 12}, {144, 10}, {168, 9}, {192, 8},
                                            {216, 7}, {240, 6},  {288, 5},  {336, 4}, {384, 4}};
    const std::pair<int, int> screens[] = {{1024, 768}, {1366, 768}, {1920, 1080}, {2560, 1600}, {3840, 2160}};
    sim::VirtualClock clock;
    sim::Trace trace(clock);
    for (const auto& scaling : scalings) {
        const int dpi = scaling.first, twips = scaling.second;
        CAPTURE(dpi);
        CHECK(TwipsPerPixelAt(dpi) == twips);
        for (const auto& screen : screens) {
            const int width = screen.first, height = screen.second;
            CAPTURE(width);
            sim::SimToolkit toolkit(sim::SimScreen{width, height, dpi}, 1, {}, clock, trace, nullptr);
            CHECK(ScreenWidthPixels(toolkit) == width);
            CHECK(ScreenHeightPixels(toolkit) == height);
        }
    }
    // A display that reports no DPI counts as 96; beyond 2880 DPI the figure stays 1.
    CHECK(TwipsPerPixelAt(0) == 15);
    CHECK(TwipsPerPixelAt(4000) == 1);
}

TEST_CASE("frame sizes at the display's scale") {
    const std::pair<double, int> sizes[] = {{1.0, 128},  {1.25, 160}, {1.5, 192}, {1.75, 224}, {2.0, 256},
                                            {2.25, 288}, {2.5, 320},  {3.0, 384}, {3.5, 448},  {4.0, 512}};
    for (const auto& [scale, side] : sizes) CHECK(stage::ScaledLength(128, scale) == side);
    CHECK(stage::ScaledLength(1, 1.25) == 1);
    CHECK(stage::ScaledLength(101, 1.5) == 152);  // 151.5: halves round up
    CHECK(stage::ScaledLength(0, 2.0) == 0);
}

TEST_CASE("whole factors repeat every pixel; fractional ones blend only seams, without the colours of clear pixels") {
    // Opaque red, opaque blue, a clear pixel that still holds green, and a half-clear white.
    const acs::RgbaImage frame = Picture(2, 2, {0xFF0000FF, 0x0000FFFF, 0x00FF0000, 0xFFFFFF80});
    for (int factor : {2, 3, 4}) {
        CAPTURE(factor);
        const acs::RgbaImage scaled = stage::ScaleFrame(frame, 2 * factor, 2 * factor);
        bool repeated = true;
        for (int y = 0; y < scaled.height; ++y)
            for (int x = 0; x < scaled.width; ++x) {
                const std::uint32_t old = frame.At(x / factor, y / factor);
                repeated &= scaled.At(x, y) == ((old & 0xFF) == 0 ? 0 : old);  // clear pixels are all 0
            }
        CHECK(repeated);
    }

    // 1.5 times: the middle column and row straddle the old pixels' seams.
    const acs::RgbaImage scaled = stage::ScaleFrame(frame, 3, 3);
    CHECK(scaled.At(0, 0) == 0xFF0000FF);
    CHECK(scaled.At(2, 0) == 0x0000FFFF);
    CHECK(scaled.At(1, 0) == 0x800080FF);  // red and blue, half each, opaque
    CHECK(scaled.At(0, 2) == 0x00000000);  // wholly clear stays all 0
    // Red over a clear pixel: still pure red, half as opaque, no green in it.
    CHECK(scaled.At(0, 1) == 0xFF000080);
    // Half-clear white stays half-clear white; over blue it weighs half as much as the blue.
    CHECK(scaled.At(2, 2) == 0xFFFFFF80);
    CHECK(scaled.At(2, 1) == 0x5555FFC0);

    // An opaque frame stays opaque at every scale: no gaps open in her outline.
    const acs::RgbaImage solid = Picture(3, 1, {0x102030FF, 0x405060FF, 0x708090FF});
    for (int width : {4, 5, 7, 8}) {
        const acs::RgbaImage wider = stage::ScaleFrame(solid, width, 2);
        bool opaque = true;
        for (int x = 0; x < width; ++x) opaque &= (wider.At(x, 0) & 0xFF) == 0xFF && wider.At(x, 1) == wider.At(x, 0);
        CHECK(opaque);
    }
}

TEST_CASE("the host at a display's scale: her frame, her reported size and her balloon grow by it") {
    sim::VirtualClock clock;
    NoEvents events;
    NoSound sound;
    stage::StageSettings settings;
    settings.scale = 2.0;
    stage::StageControl control(
        clock, events, sound, [](const std::string&) { return HostTestCharacterFile(); }, settings);
    control.CharactersLoad("tester", "C:\\tester.acs");
    stage::StageCharacter& character = *control.Loaded();
    CHECK(character.Width() == 2 * kTestFrameSide);
    CHECK(character.Height() == 2 * kTestFrameSide);

    character.MoveTo(400, 300, 0);
    character.Show();
    character.Speak("Hello there");
    clock.RunUntil(400, {});  // after her showing animation
    REQUIRE(character.Visible());
    const acs::RgbaImage& frame = character.FrameImage();
    CHECK(frame.width == 2 * kTestFrameSide);
    CHECK(frame.height == 2 * kTestFrameSide);
    REQUIRE(character.Balloon());
    const stage::BalloonLayout& balloon = *character.Balloon();
    CHECK(balloon.fontPixels == stage::FontPixelsForPoints(10, 2.0));
    CHECK(balloon.fontPixels == 27);  // 10 points at 192 dots per inch
    CHECK(balloon.padding == 2 * stage::kBalloonPadding);
    CHECK(balloon.pointerHeight == 2 * stage::kBalloonPointerHeight);
    CHECK(balloon.rect.bottom + balloon.pointerHeight == 300);  // its pointer reaches her frame's top

    // Onto a display at 150 %: she is drawn again at that scale, where she stands.
    int changes = 0;
    character.SetChangeListener([&] { ++changes; });
    character.SetScale(1.5);
    CHECK(changes == 1);
    CHECK(character.Width() == 48);
    CHECK(character.FrameImage().width == 48);
    CHECK(character.X() == 400);
    character.SetScale(1.5);
    CHECK(changes == 1);  // no change, nothing drawn
}

TEST_CASE("at 200 % on a 3840x2160 display she is placed exactly as a 256x256 character at 100 %") {
    const std::string character = ProgramCharacterPath(128);
    // Every placement of the program: the centre, the four performances, both flights.
    const std::string script =
        "20 command Kiss\n40 command Dance\n60 command FlyLeft\n90 command FlyRight\n120 command Kiss\n"
        "140 command FlyLeft\n170 command Dance\n";
    auto common = [&] { return Setup().CharacterFile(character).Seed(11).Seconds(200).Screen(3840, 2160); };
    const SimRun scaled = RunSim(common().Dpi(192), script);
    const SimRun large = RunSim(common().Character(256, 256), script);
    const std::vector<std::string> requests = scaled.Requests();
    CHECK(requests == large.Requests());
    REQUIRE(requests.size() > 700);

    CHECK(requests[0] == "MoveTo 1792,952");  // (1920 - 128, 1080 - 128)
    // Performances stand on the taskbar (its top at 2132) anywhere up to the right edge; flights
    // leave above the screen, the height of her scaled frame.
    int performances = 0, flights = 0;
    for (std::size_t i = 0; i + 2 < requests.size(); ++i) {
        if (requests[i] != "Hide" || requests[i + 2] != "Show") continue;
        int x = 0, y = 0;
        REQUIRE(std::sscanf(requests[i + 1].c_str(), "MoveTo %d,%d", &x, &y) == 2);
        if (y == 2132 - 256) {
            ++performances;
            CHECK((x >= 1 && x <= 3840 - 256));
        } else {
            ++flights;
            CHECK((x == -256 || x == 3841));
        }
    }
    CHECK(performances >= 5);  // the opening's two, the commands' four, and the timer's
    CHECK(flights >= 4);
    // The columns' range is the whole width: 1440 / 192 = 7.5 would have made the screen 3600 wide.
    CHECK(ScreenWidthPixels(scaled.world->Toolkit()) == 3840);
    CHECK(std::count(requests.begin(), requests.end(), "MoveTo 960,-256") >= 2);  // leftward: a quarter of 3840
}

TEST_CASE("a picture of the screen at 200 % shows her twice as large as at 100 %") {
    const std::string character = ProgramCharacterPath(kTestFrameSide);
    auto extentAt = [&](int dpi) {
        SimRun run = RunSim(Setup().CharacterFile(character).Seed(3).Seconds(5).Dpi(dpi));
        stage::StageCharacter* shown = run.world->Host()->Loaded();
        REQUIRE(shown->Visible());
        const acs::RgbaImage screen = run.world->PictureOfScreen();
        // Her test frames are one colour each, on the black desktop.
        const int middle = shown->FrameWidth() / 2;
        return ExtentOf(screen, screen.At(shown->X() + middle, shown->Y() + middle));
    };
    CHECK(extentAt(96) == "32x32");
    CHECK(extentAt(192) == "64x64");
    CHECK(extentAt(144) == "48x48");
}
