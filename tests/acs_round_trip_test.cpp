// Characters written by the writer read back exactly; the writer refuses models the reader
// would reject; the file is laid out as the old tools laid theirs out.
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/sample_character.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

using namespace zinna::acs;

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

std::string RejectionOf(const std::function<void(Character&)>& change) {
    Character character = MakeSampleCharacter();
    change(character);
    try {
        WriteAcs(character);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST_CASE("the decoding benchmark's large character: 600 distinct drawn frames, about 10 MB") {
    const Character large = MakeLargeCharacter();
    std::size_t frames = 0;
    // Distinct pictures by their hash: set<vector> makes MinGW's GCC 12 warn falsely about memcmp's bound.
    std::unordered_set<std::size_t> distinct;
    std::uint64_t pixels = 0;
    for (const Animation& animation : large.animations)
        for (const Frame& frame : animation.frames) {
            if (frame.images.empty()) continue;
            ++frames;
            const Image& image = large.images.at(frame.images[0].imageIndex);
            distinct.insert(std::hash<std::string_view>{}(
                std::string_view(reinterpret_cast<const char*>(image.pixels.data()), image.pixels.size())));
            // Mostly opaque art on a transparent ground, as a character is.
            const auto opaque = std::count_if(image.pixels.begin(), image.pixels.end(),
                                              [&](std::uint8_t p) { return p != large.info.transparentIndex; });
            CHECK(opaque > static_cast<std::ptrdiff_t>(image.pixels.size() / 4));
            CHECK(opaque < static_cast<std::ptrdiff_t>(image.pixels.size() * 3 / 4));
        }
    for (const Image& image : large.images) pixels += image.pixels.size();
    CHECK(frames == 600);
    CHECK(distinct.size() == 600);
    CHECK(pixels > 9'500'000);
    CHECK(pixels < 10'500'000);
    // The writer takes it as it is.
    CHECK(CompatibilityWarnings(large).empty());
}

TEST_CASE("the sample character reads back exactly as written") {
    const Character written = MakeSampleCharacter();
    const Character read = ReadAcs(WriteAcs(written));
    CHECK(read.info == written.info);
    CHECK(read.animations == written.animations);
    CHECK(read.images == written.images);
    CHECK(read.sounds == written.sounds);
    CHECK(read == written);
}

TEST_CASE("optional blocks round-trip when absent and in their other forms") {
    Character character = MakeSampleCharacter();
    character.info.flags = kFlagVoiceOff | kFlagBalloonOff;
    character.info.voice.reset();
    character.info.balloon.reset();
    character.info.trayIcon.reset();
    character.info.palette.resize(128);  // short palettes occur in real files
    character.sounds.clear();
    for (Animation& animation : character.animations)
        for (Frame& frame : animation.frames) frame.sound = kNoSound;
    character.animations[3].frames[0].mouths[2].region = std::vector<std::uint8_t>{1, 2, 3};
    character.animations[3].frames[0].mouths[3].unknown = 9;
    CHECK(ReadAcs(WriteAcs(character)) == character);

    character.info.flags = kFlagVoice | kFlagBalloonOff;
    character.info.voice = VoiceInfo{};  // voice without its extra part
    CHECK(ReadAcs(WriteAcs(character)) == character);
}

TEST_CASE("a character of many large images reads back exactly") {
    const Character written = MakeBenchmarkCharacter(6, 301);
    CHECK(ReadAcs(WriteAcs(written)) == written);
}

TEST_CASE("file layout: signature, records first, then the lists, then the character info") {
    const std::vector<std::uint8_t> bytes = WriteAcs(MakeSampleCharacter());
    CHECK(U32At(bytes, 0) == 0xABCDABC3);
    const std::uint32_t info = U32At(bytes, 4), infoSize = U32At(bytes, 8);
    const std::uint32_t animations = U32At(bytes, 12), animationsSize = U32At(bytes, 16);
    const std::uint32_t images = U32At(bytes, 20), imagesSize = U32At(bytes, 24);
    const std::uint32_t sounds = U32At(bytes, 28), soundsSize = U32At(bytes, 32);
    CHECK(animations + animationsSize == images);
    CHECK(images + imagesSize == sounds);
    CHECK(sounds + soundsSize == info);
    CHECK(info + infoSize == bytes.size());
    // Version 2.1 as bytes 01 00 02 00.
    CHECK(bytes[info] == 1);
    CHECK(bytes[info + 2] == 2);
    // The list: count 5, then the first entry: the name "Show" (count 4, four units, terminator), the
    // record's locator, which points directly after the header.
    CHECK(U32At(bytes, animations) == 5);
    CHECK(U32At(bytes, animations + 4) == 4);
    CHECK(U32At(bytes, animations + 18) == 36);
}

TEST_CASE("state names, return names and record names are stored upper-case") {
    Character character = MakeSampleCharacter();
    character.info.states[0].name = "Showing";
    character.animations[4].returnAnimation = "RestPose";
    const Character read = ReadAcs(WriteAcs(character));
    CHECK(read.info.states[0].name == "SHOWING");
    CHECK(read.animations[4].returnAnimation == "RESTPOSE");
    CHECK(read.animations[4].name == "Wave");  // the list keeps the authored case
}

TEST_CASE("images are compressed well below their raw size") {
    const Character character = MakeBenchmarkCharacter(4, 200);
    std::size_t raw = 0;
    for (const Image& image : character.images) raw += image.pixels.size();
    const std::size_t file = WriteAcs(character).size();
    CHECK(file * 4 < raw);
}

TEST_CASE("the writer refuses models that the reader would reject") {
    CHECK(RejectionOf([](Character&) {}) == "");
    CHECK(RejectionOf([](Character& c) {
              c.animations[0].frames[0].images[0].imageIndex = 99;
          }).find("image index 99 is past the images") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.animations[0].frames[0].sound = 1; }).find("sound index 1") !=
          std::string::npos);
    CHECK(RejectionOf([](Character& c) {
              c.animations[2].frames[2].branches[0].probability = 80;
          }).find("more than 100") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.animations[2].frames[0].exitFrame = 4; }).find("exit frame 4") !=
          std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.animations[1].frames.clear(); }).find("has no frames") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.info.voice.reset(); }).find("0x20") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.info.flags &= ~kFlagBalloon; }).find("0x200") != std::string::npos);
    CHECK(RejectionOf([](Character& c) {
              c.info.transparentIndex = 200, c.info.palette.resize(200);
          }).find("transparent index") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.images[0].pixels.pop_back(); }).find("pixel count") != std::string::npos);
    CHECK(RejectionOf([](Character& c) {
              c.images[1].region.push_back({0, 0, 31, 1});
          }).find("outside") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.sounds[0][8] = 'X'; }).find("not a RIFF WAVE") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.info.trayIcon->color.resize(100); }).find("tray icon") != std::string::npos);
    CHECK(RejectionOf([](Character& c) { c.info.localized.clear(); }).find("localized") != std::string::npos);
}

TEST_CASE("images decode on first use and are then kept") {
    Character character = MakeSampleCharacter();
    AcsFile file = AcsFile::Parse(WriteAcs(character));
    CHECK(file.ImageCount() == character.images.size());
    CHECK(file.ImageWidth(0) == 69);
    const Image& first = file.ImageAt(0);
    CHECK(&file.ImageAt(0) == &first);
    CHECK(first == character.images[0]);
    CHECK(file.ImageAt(10).IsEmptySlot());
    CHECK_THROWS_AS(file.ImageAt(12), std::out_of_range);
    CHECK(std::vector<std::uint8_t>(file.SoundAt(0).begin(), file.SoundAt(0).end()) == character.sounds[0]);
    CHECK(file.Warnings().empty());
}

TEST_CASE("what real character files rarely or never have is listed") {
    Character character = MakeSampleCharacter();
    CHECK(CompatibilityWarnings(character).empty());

    character.info.states.erase(character.info.states.begin() + 1);  // HIDING
    character.info.states[0].animations.push_back("FLY");
    character.animations[0].frames.back().exitFrame = 0;
    character.images[1].region.clear();
    character.images[2].region = {{0, 0, 1, 1}};
    std::swap(character.images[0].region[0], character.images[0].region[1]);  // same pixels, other order
    REQUIRE(character.images[0].region.size() > 1);
    character.info.palette.resize(200);
    const std::vector<std::string> expected = {
        "no HIDING state",
        "state SHOWING names the missing animation FLY",
        "animation \"Show\": the last frame's exit is a frame, not -1 or -2",
        "image 1 has no region (MakeImage computes one)",
        "image 2: its region does not match its opaque pixels",
        "palette of 200 colours; real files nearly always have 256",
    };
    CHECK(CompatibilityWarnings(character) == expected);
}
