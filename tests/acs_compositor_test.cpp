// A frame is drawn as the character shows it: images back to front at their offsets, upright,
// in the palette's colours, with the transparent index see-through.
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/frame_compositor.h"
#include "stage/acs/sample_character.h"

#include <doctest/doctest.h>

using namespace zinna::acs;

namespace {

constexpr std::uint32_t kClear = 0x00000000;
constexpr std::uint32_t kRed = 0xFF0000FF, kGreen = 0x00FF00FF, kBlue = 0x0000FFFF;

// A 6 x 4 frame; palette 0 transparent (magenta), 1 red, 2 green, 3 blue.
Character Tiny() {
    Character c;
    c.info.width = 6;
    c.info.height = 4;
    c.info.transparentIndex = 0;
    c.info.palette = {{255, 0, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    // Image 0: 2 x 2 red with a transparent top-left pixel. Image 1: 3 x 1 green.
    c.images.push_back(MakeImage(2, 2, {0, 1, 1, 1}, 0));
    c.images.push_back(MakeImage(3, 1, {2, 2, 2}, 0));
    c.images.push_back(MakeImage(1, 1, {3}, 0));
    c.images.push_back(MakeImage(1, 1, {200}, 0));  // an index past the palette
    c.images.push_back(Image{});
    return c;
}

RgbaImage Compose(const Character& c, const Frame& frame, std::optional<std::uint8_t> mouth = std::nullopt) {
    return ComposeFrame(c.info, frame, ImagesOf(c), mouth);
}

}  // namespace

TEST_CASE("images are placed at their offsets and the transparent index is alpha 0") {
    const Character c = Tiny();
    Frame frame;
    frame.images = {{0, 1, 2}};
    const RgbaImage out = Compose(c, frame);
    CHECK(out.width == 6);
    CHECK(out.height == 4);
    CHECK(out.At(1, 2) == kClear);  // the image's transparent top-left pixel
    CHECK(out.At(2, 2) == kRed);
    CHECK(out.At(1, 3) == kRed);
    CHECK(out.At(2, 3) == kRed);
    CHECK(out.At(0, 0) == kClear);
    CHECK(out.At(3, 2) == kClear);
}

TEST_CASE("the first listed image is drawn on top") {
    const Character c = Tiny();
    Frame frame;
    frame.images = {{1, 0, 1}, {0, 1, 0}};  // green row over the red square's bottom row
    RgbaImage out = Compose(c, frame);
    CHECK(out.At(1, 1) == kGreen);
    CHECK(out.At(2, 1) == kGreen);
    CHECK(out.At(2, 0) == kRed);
    frame.images = {{0, 1, 0}, {1, 0, 1}};
    out = Compose(c, frame);
    CHECK(out.At(1, 1) == kRed);
    CHECK(out.At(0, 1) == kGreen);
}

TEST_CASE("images are clipped at every edge of the frame") {
    const Character c = Tiny();
    Frame frame;
    frame.images = {{0, -1, -1}, {1, 4, 3}, {2, 7, 0}, {2, 0, -2}};
    const RgbaImage out = Compose(c, frame);
    CHECK(out.At(0, 0) == kRed);  // the square's bottom-right pixel
    CHECK(out.At(4, 3) == kGreen);
    CHECK(out.At(5, 3) == kGreen);
}

TEST_CASE("empty slots and indices past the palette draw nothing") {
    const Character c = Tiny();
    Frame frame;
    frame.images = {{3, 0, 0}, {4, 2, 2}};
    const RgbaImage out = Compose(c, frame);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) CHECK(out.At(x, y) == kClear);
}

TEST_CASE("a mouth overlay is drawn on top, or instead of the first image") {
    const Character c = Tiny();
    Frame frame;
    frame.images = {{1, 0, 0}, {0, 3, 0}};
    frame.mouths = {{0, false, 2, 4, 1, 0, 0, 0, {}}, {1, true, 2, 0, 3, 0, 0, 0, {}}};
    RgbaImage out = Compose(c, frame);
    CHECK(out.At(4, 1) == kRed);  // no mouth asked for
    CHECK(out.At(0, 0) == kGreen);
    out = Compose(c, frame, 0);
    CHECK(out.At(4, 1) == kBlue);
    CHECK(out.At(0, 0) == kGreen);
    out = Compose(c, frame, 1);
    CHECK(out.At(0, 3) == kBlue);
    CHECK(out.At(0, 0) == kClear);  // the first image is replaced
    CHECK(out.At(4, 1) == kRed);
}

TEST_CASE("frames of a written file compose the same as the model's") {
    const Character character = MakeSampleCharacter();
    AcsFile file = AcsFile::Parse(WriteAcs(character));
    for (const Animation& animation : character.animations)
        for (const Frame& frame : animation.frames) {
            const RgbaImage fromModel = ComposeFrame(character.info, frame, ImagesOf(character));
            const RgbaImage fromFile = ComposeFrame(file.Info(), frame, ImagesOf(file));
            CHECK(fromModel.rgba == fromFile.rgba);
        }
    // The sample's red hat is at the top of the body, its green feet at the bottom.
    const RgbaImage greet = ComposeFrame(file.Info(), character.animations[2].frames[0], ImagesOf(file));
    CHECK(greet.At(13 + 34, 6 + 2) == 0xDC1E1EFF);
    CHECK(greet.At(13 + 20, 6 + 67) == 0x1EAA3CFF);
}
