#include "malformed_corpus.h"

#include "stage/acs/acs_writer.h"
#include "stage/acs/sample_character.h"

#include <functional>

namespace zinna::acs::corpus {

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32At(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void PutU16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Offsets of fields in the mini character's file, found through the header's locators and the
// known sizes of its texts.
struct Layout {
    explicit Layout(const Bytes& file)
        : info(U32At(file, 4)),
          animationList(U32At(file, 12)),
          imageList(U32At(file, 20)),
          soundList(U32At(file, 28)),
          animation(U32At(file, animationList + 12)),
          image0(U32At(file, imageList + 4)),
          sound0(U32At(file, soundList + 4)) {}
    std::size_t info, animationList, imageList, soundList;
    std::size_t animation;  // record of "A": name (8 bytes), transition, return name (4), frame count
    std::size_t image0;
    std::size_t sound0;

    std::size_t Transition() const { return animation + 8; }
    std::size_t FrameCount() const { return animation + 13; }
    std::size_t Frame0() const { return animation + 15; }
    std::size_t Frame0ImageIndex() const { return Frame0() + 2; }
    std::size_t Frame0Sound() const { return Frame0() + 18; }
    std::size_t Frame0Exit() const { return Frame0() + 22; }
    std::size_t Frame0BranchTarget() const { return Frame0() + 25; }
    std::size_t Frame0BranchProbability() const { return Frame0() + 27; }
    std::size_t Frame0MouthShape() const { return Frame0() + 30; }
    std::size_t Palette() const { return info + 41; }
};

}  // namespace

Character MiniCharacter() {
    Character character;
    CharacterInfo& info = character.info;
    info.width = 16;
    info.height = 12;
    info.transparentIndex = 0;
    info.flags = kFlagVoiceOff | kFlagBalloonOff;
    info.balloon.reset();
    info.palette.resize(16);
    for (int i = 0; i < 16; ++i)
        info.palette[i] = {static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i * 16), 128};
    info.localized = {{0x0409, "Mini", "", ""}};
    info.states = {{"SHOWING", {"A"}}};
    std::vector<std::uint8_t> pixels(6 * 5);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i % 4 == 0 ? 0 : 1 + i % 15);
    character.images.push_back(MakeImage(6, 5, pixels, 0));
    character.images.push_back(MakeImage(3, 3, {0, 2, 0, 2, 2, 2, 0, 2, 0}, 0));
    character.sounds.push_back(MakeSampleWave(16));
    Frame first;
    first.images = {{0, 1, 1}, {1, 2, 2}};
    first.sound = 0;
    first.branches = {{1, 50}};
    first.mouths = {{0, false, 1, 4, 4, 5, 5, 0, {}}};
    Frame last;
    last.duration = 0;
    character.animations = {{"A", Transition::None, "", {first, last}}};
    return character;
}

std::vector<MalformedFile> MalformedFiles() {
    const Bytes good = WriteAcs(MiniCharacter());
    const Layout at(good);
    std::vector<MalformedFile> files;
    const auto add = [&](std::string name, std::string expected, const std::function<void(Bytes&)>& damage) {
        Bytes bytes = good;
        damage(bytes);
        files.push_back({std::move(name), std::move(bytes), std::move(expected)});
    };

    add("truncated-header.acs", "shorter than the 36-byte header", [](Bytes& b) { b.resize(20); });
    add("bad-signature.acs", "signature 0xABCDABC4 is not 0xABCDABC3", [](Bytes& b) { b[0] = 0xC4; });
    add("compound-file.acs", "older compound-file", [](Bytes& b) {
        b = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        b.resize(64);
    });
    add("truncated-file.acs", "runs past the end of the", [](Bytes& b) { b.resize(b.size() / 2); });
    add("info-offset-past-end.acs", "character-info locator (offset",
        [](Bytes& b) { PutU32(b, 4, static_cast<std::uint32_t>(b.size())); });
    add("locator-wraps-32-bits.acs", "animation-list locator", [](Bytes& b) { PutU32(b, 16, 0xFFFFFFF0); });
    add("huge-animation-count.acs", "animation list: animation count 268435456 needs at least",
        [&](Bytes& b) { PutU32(b, at.animationList, 0x10000000); });
    add("huge-image-count.acs", "image list: image count 4294967295",
        [&](Bytes& b) { PutU32(b, at.imageList, 0xFFFFFFFF); });
    add("huge-sound-count.acs", "audio list: sound count", [&](Bytes& b) { PutU32(b, at.soundList, 0x40000000); });
    add("huge-palette-count.acs", "palette count 2147483647 is more than 256",
        [&](Bytes& b) { PutU32(b, at.Palette(), 0x7FFFFFFF); });
    add("huge-frame-count.acs", "frame count 65535 needs at least",
        [&](Bytes& b) { PutU16(b, at.FrameCount(), 0xFFFF); });
    add("huge-string-length.acs", "text of 2147483647 characters runs past the end",
        [&](Bytes& b) { PutU32(b, at.animationList + 4, 0x7FFFFFFF); });
    add("unterminated-string.acs", "lacks its 0x0000 terminator", [&](Bytes& b) { b[at.animation + 6] = 'X'; });
    add("wrong-version.acs", "version 3.1 is not 2.x", [&](Bytes& b) { PutU16(b, at.info + 2, 3); });
    add("localized-outside-info.acs", "localized-info table lies outside",
        [&](Bytes& b) { PutU32(b, at.info + 4, 0); });
    add("frame-size-zero.acs", "frame size 0 x 12", [&](Bytes& b) { PutU16(b, at.info + 28, 0); });
    add("transparent-past-palette.acs", "transparent index 40 is past the 16-colour palette",
        [&](Bytes& b) { b[at.info + 32] = 40; });
    add("transition-type-bad.acs", "transition type 7 is not 0, 1 or 2", [&](Bytes& b) { b[at.Transition()] = 7; });
    add("frame-image-index-past-end.acs", "image index 99 is past the 2 images",
        [&](Bytes& b) { PutU32(b, at.Frame0ImageIndex(), 99); });
    add("sound-index-bad.acs", "sound index 3 is not -1 or one of the 1 sounds",
        [&](Bytes& b) { PutU16(b, at.Frame0Sound(), 3); });
    add("exit-frame-bad.acs", "exit frame 9 is not -1, -2 or a frame",
        [&](Bytes& b) { PutU16(b, at.Frame0Exit(), 9); });
    add("branch-target-bad.acs", "branch target 2 is past the 2 frames",
        [&](Bytes& b) { PutU16(b, at.Frame0BranchTarget(), 2); });
    add("branch-sum-over-100.acs", "add up to 101", [&](Bytes& b) { PutU16(b, at.Frame0BranchProbability(), 101); });
    add("mouth-shape-bad.acs", "mouth shape 9 is not 0..6", [&](Bytes& b) { b[at.Frame0MouthShape()] = 9; });
    add("animation-record-too-long.acs", "1 bytes left over after the last field",
        [&](Bytes& b) { PutU32(b, at.animationList + 16, U32At(b, at.animationList + 16) + 1); });
    add("image-kind-bad.acs", "image kind 2 is not 0 or 1", [&](Bytes& b) { b[at.image0] = 2; });
    add("empty-slot-too-long.acs", "empty image slot is", [&](Bytes& b) { b[at.image0] = 0; });
    add("image-far-larger-than-frame.acs", "image size 60000 x 5 is beyond the limit",
        [&](Bytes& b) { PutU16(b, at.image0 + 1, 60000); });
    add("raw-pixels-wrong-size.acs", "raw pixel data of", [&](Bytes& b) { b[at.image0 + 5] = 0; });
    add("compressed-overrun.acs", "writes past its declared size", [&](Bytes& b) { PutU16(b, at.image0 + 3, 2); });
    add("compressed-first-byte.acs", "does not start with a 0 byte", [&](Bytes& b) { b[at.image0 + 10] = 1; });
    add("compressed-reference-before-start.acs", "bytes back with only 0 written",
        [&](Bytes& b) { b[at.image0 + 11] = 0x01; });
    add("sound-not-riff.acs", "sound 0: sound is not a RIFF WAVE file", [&](Bytes& b) { b[at.sound0 + 3] = 'X'; });
    add("sound-riff-length-too-big.acs", "RIFF length", [&](Bytes& b) { PutU32(b, at.sound0 + 4, 5000); });
    return files;
}

}  // namespace zinna::acs::corpus
