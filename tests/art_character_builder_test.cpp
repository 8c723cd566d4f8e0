// Building the character model from manifest, pictures and sounds, and writing it: images are
// cropped to their opaque pixels and placed back at their offsets, shared images are stored
// once, mouths, sounds, exits and states arrive in the file as the manifest says.
#include "character_builder.h"

#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/frame_compositor.h"

#include <doctest/doctest.h>

#include <cstring>

using namespace zinna;
using namespace zinna::art;

namespace {

constexpr int kSide = 16;

RgbaPicture Blank() { return {kSide, kSide, std::vector<std::uint8_t>(kSide * kSide * 4, 0)}; }

// A picture with an opaque rectangle [left, right) x [top, bottom) of one colour.
RgbaPicture Block(int left, int top, int right, int bottom, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    RgbaPicture picture = Blank();
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            std::uint8_t* p = &picture.pixels[(static_cast<std::size_t>(y) * kSide + x) * 4];
            p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
        }
    return picture;
}

std::vector<std::uint8_t> TinyWave() {
    std::vector<std::uint8_t> wave(44 + 4, 0x80);
    std::memcpy(wave.data(), "RIFF", 4);
    const std::uint32_t riffLength = static_cast<std::uint32_t>(wave.size() - 8);
    std::memcpy(wave.data() + 4, &riffLength, 4);  // little-endian host
    std::memcpy(wave.data() + 8, "WAVEfmt ", 8);
    return wave;
}

CharacterSources Sources() {
    CharacterSources sources;
    sources.manifest = ParseManifest(
        "name Testa\n"
        "description A test character.\n"
        "guid 00112233-4455-6677-8899-aabbccddeeff\n"
        "frame-size 16 16\n"
        "sound pop pop.wav\n"
        "animation RestPose\n"
        "  frame body 10 mouths=m\n"
        "animation Wave exit-branches\n"
        "  frame body 10 exit=2\n"
        "  frame arm 20 sound=pop branch=0:40 exit=2\n"
        "  frame body 10 exit=end\n"
        "  frame - 0\n"
        "state Showing Wave\n");
    sources.pictures["body"] = Block(4, 2, 12, 15, 40, 160, 150);
    sources.pictures["arm"] = Block(0, 5, 3, 9, 255, 220, 200);
    for (int shape = 0; shape < kMouthShapes; ++shape)
        sources.pictures["m" + std::to_string(shape)] = Block(6, 6, 9 + (shape % 2), 8, 176, 42, 76);
    sources.sounds["pop"] = TinyWave();
    return sources;
}

}  // namespace

TEST_CASE("images are cropped to their opaque pixels, placed at their offsets and stored once") {
    const acs::Character character = BuildCharacter(Sources());
    REQUIRE(character.images.size() == 2 + kMouthShapes);  // body, arm and the mouths; body once
    const acs::Animation& wave = character.animations[1];
    REQUIRE(wave.frames.size() == 4);
    const acs::FrameImage body = wave.frames[0].images.at(0);
    CHECK(body.x == 4);
    CHECK(body.y == 2);
    CHECK(character.images[body.imageIndex].width == 8);
    CHECK(character.images[body.imageIndex].height == 13);
    CHECK(wave.frames[2].images.at(0).imageIndex == body.imageIndex);
    CHECK(wave.frames[1].images.at(0).x == 0);
    CHECK(wave.frames[1].images.at(0).y == 5);
    CHECK(wave.frames[3].images.empty());
    CHECK(wave.frames[3].duration == 0);
}

TEST_CASE("timing, sounds, branches, exits, transitions, states and texts follow the manifest") {
    const acs::Character character = BuildCharacter(Sources());
    const acs::Animation& wave = character.animations[1];
    CHECK(wave.transition == acs::Transition::ExitBranches);
    CHECK(wave.frames[1].duration == 20);
    CHECK(wave.frames[1].sound == 0);
    CHECK(wave.frames[0].sound == acs::kNoSound);
    REQUIRE(wave.frames[1].branches.size() == 1);
    CHECK(wave.frames[1].branches[0].targetFrame == 0);
    CHECK(wave.frames[1].branches[0].probability == 40);
    CHECK(wave.frames[1].exitFrame == 2);
    CHECK(wave.frames[2].exitFrame == acs::kExitEndsNow);
    CHECK(wave.frames[3].exitFrame == acs::kNoExitBranch);
    REQUIRE(character.sounds.size() == 1);
    CHECK(character.sounds[0] == TinyWave());
    REQUIRE(character.info.states.size() == 1);
    CHECK(character.info.states[0].animations == std::vector<std::string>{"Wave"});
    REQUIRE(character.info.localized.size() == 1);
    CHECK(character.info.localized[0].name == "Testa");
    CHECK(character.info.localized[0].description == "A test character.");
    CHECK(character.info.width == 16);
    CHECK(character.info.palette.size() == 256);
}

TEST_CASE("a speaking frame gets the seven mouth overlays at their places") {
    const acs::Character character = BuildCharacter(Sources());
    const std::vector<acs::MouthOverlay>& mouths = character.animations[0].frames[0].mouths;
    REQUIRE(mouths.size() == 7);
    for (int shape = 0; shape < 7; ++shape) {
        CAPTURE(shape);
        CHECK(mouths[shape].shape == shape);
        CHECK(mouths[shape].x == 6);
        CHECK(mouths[shape].y == 6);
        CHECK_FALSE(mouths[shape].replacesTopImage);
        CHECK(character.images[mouths[shape].imageIndex].width == 3 + (shape % 2));
        // Every overlay carries the centre of the first mouth image (3 x 2).
        CHECK(mouths[shape].centerX == 1);
        CHECK(mouths[shape].centerY == 1);
    }
}

TEST_CASE("the written file draws the frames in the source colours") {
    const acs::Character built = BuildCharacter(Sources());
    acs::AcsFile file = acs::AcsFile::Parse(acs::WriteAcs(built));
    CHECK(file.Warnings().empty());
    const acs::RgbaImage frame = acs::ComposeFrame(file.Info(), file.Animations()[1].frames[1], acs::ImagesOf(file));
    CHECK(frame.At(1, 6) == 0xFFDCC8FFu);  // the arm's colour, opaque
    CHECK((frame.At(8, 8) & 0xFF) == 0);   // the body is not in this frame: transparent
    const acs::RgbaImage speaking =
        acs::ComposeFrame(file.Info(), file.Animations()[0].frames[0], acs::ImagesOf(file), std::uint8_t{1});
    CHECK(speaking.At(7, 7) == 0xB02A4CFFu);  // the mouth over the body
    CHECK(speaking.At(5, 7) == 0x28A096FFu);  // the body beside it
}

TEST_CASE("missing or unusable sources are named") {
    CharacterSources noArm = Sources();
    noArm.pictures.erase("arm");
    CHECK_THROWS_WITH_AS(BuildCharacter(noArm), doctest::Contains("arm"), std::runtime_error);

    CharacterSources wrongSize = Sources();
    wrongSize.pictures["arm"] = RgbaPicture{8, 8, std::vector<std::uint8_t>(8 * 8 * 4, 255)};
    CHECK_THROWS_WITH_AS(BuildCharacter(wrongSize), doctest::Contains("arm"), std::runtime_error);

    CharacterSources empty = Sources();
    empty.pictures["arm"] = Blank();
    CHECK_THROWS_WITH_AS(BuildCharacter(empty), doctest::Contains("no opaque pixel"), std::runtime_error);

    CharacterSources notWave = Sources();
    notWave.sounds["pop"] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    CHECK_THROWS_WITH_AS(BuildCharacter(notWave), doctest::Contains("pop"), std::runtime_error);
}

TEST_CASE("a guid is stored with its first three groups little-endian") {
    const acs::Guid guid = ParseGuid("00112233-4455-6677-8899-AABBCCDDEEFF");
    const std::array<std::uint8_t, 16> expected = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                                   0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    CHECK(guid.bytes == expected);
    CHECK_THROWS(ParseGuid("00112233-4455-6677-8899-aabbccddeefg"));
    CHECK_THROWS(ParseGuid("0011223344556677-8899-aabbccddeeff"));
    CHECK_THROWS(ParseGuid(""));
}
