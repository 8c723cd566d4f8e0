// The character file the build makes from art/: it names Zinna and the title, holds every
// animation the program plays and the states a character host needs, and keeps her edges clean.
#include "stage/acs/acs_reader.h"
#include "stage/acs/frame_compositor.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cctype>
#include <string>

using namespace zinna::acs;

namespace {

AcsFile& Zinna() {
    static AcsFile file = AcsFile::Load(ZINNA_ACS_PATH);
    return file;
}

const Animation* Find(std::string_view name) {
    for (const Animation& animation : Zinna().Animations())
        if (animation.name == name) return &animation;
    return nullptr;
}

// State tables name animations upper-case; animation names compare without case there.
const Animation* FindIgnoringCase(std::string_view name) {
    for (const Animation& animation : Zinna().Animations())
        if (std::equal(name.begin(), name.end(), animation.name.begin(), animation.name.end(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
            }))
            return &animation;
    return nullptr;
}

}  // namespace

TEST_CASE("the file is Zinna of Lantern Hall, 128 x 128, read without warnings") {
    AcsFile& file = Zinna();
    CHECK(file.Warnings().empty());
    CHECK(file.Info().width == 128);
    CHECK(file.Info().height == 128);
    const LocalizedInfo* text = FindLocalization(file.Info());
    REQUIRE(text != nullptr);
    CHECK(text->name == "Zinna");
    CHECK(text->description.find("Lantern Hall") != std::string::npos);
}

TEST_CASE("every animation the program plays is there, spelled exactly") {
    for (const char* name : {"Kiss", "DanceFadeIn", "Dance", "DanceFadeOut", "FlyRight1", "FlyRight2", "FlyRight3",
                             "FlyRight4", "FlyRight5", "FlyRight6", "FlyLeft1", "FlyLeft2", "FlyLeft3", "FlyLeft4"}) {
        CAPTURE(name);
        const Animation* animation = Find(name);
        REQUIRE(animation != nullptr);
        CHECK_FALSE(animation->frames.empty());
    }
}

TEST_CASE("the host's states are assigned, and the speaking animation has mouths") {
    for (const char* state : {"Showing", "Hiding", "Speaking", "MovingLeft", "MovingRight", "MovingUp", "MovingDown",
                              "IdlingLevel1", "IdlingLevel2", "IdlingLevel3"}) {
        CAPTURE(state);
        const State* found = FindState(Zinna().Info(), state);
        REQUIRE(found != nullptr);
        CHECK_FALSE(found->animations.empty());
    }
    const Animation* speaking = Find("Speaking");
    REQUIRE(speaking != nullptr);
    CHECK(speaking->frames.back().mouths.size() == 7);
    CHECK(Find("RestPose") != nullptr);
}

TEST_CASE("a flight step is short, so that the flight's moves keep pace") {
    for (const char* name : {"FlyRight1", "FlyRight6", "FlyLeft1", "FlyLeft4"}) {
        CAPTURE(name);
        int hundredths = 0;
        for (const Frame& frame : Find(name)->frames) hundredths += frame.duration;
        CHECK(hundredths <= 20);
    }
}

TEST_CASE("her rest pose has a dark rim: every opaque pixel next to a transparent one is dark") {
    AcsFile& file = Zinna();
    const RgbaImage frame = ComposeFrame(file.Info(), Find("RestPose")->frames[0], ImagesOf(file));
    int edgePixels = 0;
    int lightEdgePixels = 0;
    for (int y = 1; y + 1 < frame.height; ++y)
        for (int x = 1; x + 1 < frame.width; ++x) {
            if ((frame.At(x, y) & 0xFF) == 0) continue;
            const bool onEdge = (frame.At(x - 1, y) & 0xFF) == 0 || (frame.At(x + 1, y) & 0xFF) == 0 ||
                                (frame.At(x, y - 1) & 0xFF) == 0 || (frame.At(x, y + 1) & 0xFF) == 0;
            if (!onEdge) continue;
            ++edgePixels;
            const std::uint32_t c = frame.At(x, y);
            const int brightness = static_cast<int>((c >> 24) + ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF));
            if (brightness > 3 * 100) ++lightEdgePixels;
        }
    CHECK(edgePixels > 200);
    CHECK(lightEdgePixels == 0);
}

TEST_CASE("moving to the screen's right (her left) shows her flying right, and the other way round") {
    // The host plays MovingLeft for a move toward the screen's right: the character's own left.
    auto firstImage = [](std::string_view name) {
        const Animation* animation = FindIgnoringCase(name);
        REQUIRE(animation != nullptr);
        return animation->frames.front().images.at(0).imageIndex;
    };
    const State* left = FindState(Zinna().Info(), "MovingLeft");
    const State* right = FindState(Zinna().Info(), "MovingRight");
    REQUIRE(left != nullptr);
    REQUIRE(right != nullptr);
    CHECK(firstImage(left->animations.at(0)) == firstImage("FlyRight1"));
    CHECK(firstImage(right->animations.at(0)) == firstImage("FlyLeft1"));
}
