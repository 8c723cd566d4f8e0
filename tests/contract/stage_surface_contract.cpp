#include "contract/stage_surface_contract.h"

#include "host_test_character.h"

#include <doctest/doctest.h>

#include <cstdio>

namespace doctest {
// A colour read back as the failure message shows it: 0xRRGGBB, or "none" where she lets the
// pointer through.
template <>
struct StringMaker<std::optional<std::uint32_t>> {
    static String convert(const std::optional<std::uint32_t>& colour) {
        if (!colour) return "none";
        char text[16];
        std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(*colour));
        return text;
    }
};
}  // namespace doctest

namespace zinna::contract {

namespace {

constexpr std::int64_t kWaitMs = 5000;  // the longest a case waits for her to reach a frame
constexpr int kSide = testing::kTestFrameSide;

// The colour of an image of the test character: every image is of one palette entry, its index + 1.
std::optional<std::uint32_t> ImageColour(int image) {
    const acs::Character character = testing::MakeHostTestCharacter();
    const acs::Rgb rgb = character.info.palette[static_cast<std::size_t>(image) + 1];
    return static_cast<std::uint32_t>(rgb.red) << 16 | static_cast<std::uint32_t>(rgb.green) << 8 | rgb.blue;
}

// The test character with Blink's first image (3) transparent on its left half, Blink's frames of
// 150 ms, and Beat.
std::vector<std::uint8_t> CharacterFile() {
    acs::Character character = testing::MakeHostTestCharacter();
    std::vector<std::uint8_t> pixels(kSide * kSide, 4);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide / 2; ++x) pixels[y * kSide + x] = character.info.transparentIndex;
    character.images[3] = acs::MakeImage(kSide, kSide, pixels, character.info.transparentIndex);
    for (acs::Animation& animation : character.animations)
        if (animation.name == "Blink")
            for (acs::Frame& frame : animation.frames) frame.duration = 15;  // each shown when she wakes for it
    character.animations.push_back(
        testing::TestAnimation("Beat", {testing::TestFrame(4, 6), testing::TestFrame(5, 6)}));
    return acs::WriteAcs(character);
}

void Until(SurfaceUnderContract& s, const std::function<bool()>& done, const char* what) {
    INFO("waiting until " << what);
    REQUIRE(s.RunUntil(done, kWaitMs));
}

bool Showing(SurfaceUnderContract& s, const char* animation, int frame) {
    return s.Her().ShownAnimation() == animation && s.Her().ShownFrameIndex() == frame;
}

void PlayBlinkThrough(SurfaceUnderContract& s) {
    s.Her().Play("Blink");
    Until(
        s, [&] { return Showing(s, "Blink", 0); }, "Blink starts");
    Until(
        s, [&] { return Showing(s, "Rest", 0); }, "Blink returns to Rest");
}

struct SurfaceCase {
    const char* id;
    const char* behaviour;
    std::function<void(SurfaceUnderContract&)> run;
};

const SurfaceCase kCases[] = {
    {"first-picture", "her first frame is made once and shown where she stands, in its colours",
     [](SurfaceUnderContract& s) {
         CHECK(s.PicturesMade() == 1);
         CHECK(s.WindowPlace() == std::pair{100, 100});
         CHECK(s.ColourAt(kSide / 2, kSide / 2) == ImageColour(1));
     }},
    {"frame-seen-before", "a frame shown before is switched to, never made again, and shows its own pixels and outline",
     [](SurfaceUnderContract& s) {
         PlayBlinkThrough(s);
         CHECK(s.PicturesMade() == 5);  // Showing's, Blink's three, Rest's
         s.Her().Play("Blink");
         Until(
             s, [&] { return Showing(s, "Blink", 0); }, "Blink starts again");
         CHECK(s.PicturesMade() == 5);
         CHECK(s.ColourAt(kSide * 3 / 4, kSide / 2) == ImageColour(3));
         CHECK(s.ColourAt(kSide / 4, kSide / 2) == std::nullopt);  // the transparent half lets the pointer through
         Until(
             s, [&] { return Showing(s, "Rest", 0); }, "Blink returns to Rest again");
         CHECK(s.PicturesMade() == 5);
         CHECK(s.ColourAt(kSide / 4, kSide / 2) == ImageColour(0));
     }},
    {"same-images-other-animation", "another animation's frame of the same images is the picture already made",
     [](SurfaceUnderContract& s) {
         PlayBlinkThrough(s);
         const int made = s.PicturesMade();
         s.Her().Play("Kiss");  // image 0, as Rest
         Until(
             s, [&] { return Showing(s, "Kiss", 0); }, "Kiss starts");
         CHECK(s.PicturesMade() == made);
         CHECK(s.ColourAt(kSide / 2, kSide / 2) == ImageColour(0));
     }},
    {"frame-handed-ahead",
     "a frame that follows without a branch, soon, in a picture made before, is shown at its time by the screen "
     "itself",
     [](SurfaceUnderContract& s) {
         s.Her().Play("Beat");
         Until(
             s, [&] { return Showing(s, "Beat", 1); }, "Beat's pictures are made");
         s.Her().Play("Beat");
         Until(
             s, [&] { return Showing(s, "Beat", 0); }, "Beat starts again");
         Clock& clock = s.Her().HostClock();
         const std::int64_t drawn = clock.NowMs();
         CHECK(s.ColourAt(kSide / 2, kSide / 2) == ImageColour(5));
         // Not before its time: 60 ms after the first frame, which she drew a little before `drawn`
         // (and the X server's clock counts whole milliseconds).
         CHECK(clock.NowMs() - drawn >= 50);
         CHECK(Showing(s, "Beat", 0));  // she was not woken for it
         CHECK(s.PicturesMade() == 3);  // Showing's and Beat's two
     }},
    {"move", "a move of the same frame moves her window and makes no picture",
     [](SurfaceUnderContract& s) {
         s.Her().MoveTo(300, 200, 0);
         Until(
             s,
             [&] {
                 return s.WindowPlace() == std::pair{300, 200};
             },
             "her window is at (300, 200)");
         CHECK(s.PicturesMade() == 1);
         CHECK(s.ColourAt(kSide / 2, kSide / 2) == ImageColour(1));
     }},
    {"hidden-and-shown", "hidden and shown again, she shows the picture kept from before",
     [](SurfaceUnderContract& s) {
         s.Her().Hide();
         Until(
             s, [&] { return !s.WindowPlace(); }, "her window is hidden");
         CHECK(s.PicturesMade() == 2);  // Hiding's frame
         s.Her().Show();
         Until(
             s, [&] { return s.WindowPlace().has_value() && Showing(s, "Showing", 1); }, "she is shown again");
         CHECK(s.PicturesMade() == 2);
         CHECK(s.ColourAt(kSide / 2, kSide / 2) == ImageColour(1));
     }},
};

}  // namespace

std::vector<std::uint8_t> StageSurfaceCharacterFile() { return CharacterFile(); }

void StartHer(stage::StageCharacter& her) {
    her.SetIdleOn(basic::False);
    her.MoveTo(100, 100, std::nullopt);
    her.Show();
}

bool HerStartDone(stage::StageCharacter& her) {
    return her.ShownAnimation() == "Showing" && her.ShownFrameIndex() == 1;
}

void RunStageSurfaceContract(const StageSurfaceRegistration& registration) {
    RunCases<SurfaceCase>("stage surface", registration.implementation, kCases, registration.differences,
                          [&](const SurfaceCase& c) {
                              const std::unique_ptr<SurfaceUnderContract> surface = registration.makeFresh();
                              REQUIRE(surface != nullptr);
                              c.run(*surface);
                          });
}

}  // namespace zinna::contract
