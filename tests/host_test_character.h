// A small character for the host's tests, written and read back through the real file format.
// Every image is a 32 x 32 square of one colour, so a composed frame tells which image it shows:
// image i is palette colour i + 1.
#pragma once

#include "boundary/agent_control.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/acs_writer.h"
#include "stage/acs/sample_character.h"
#include "stage/host/stage_character.h"

namespace zinna::testing {

// For a host whose sounds and events no test listens to.
struct Silence final : stage::SoundOutput {
    void Play(std::span<const std::uint8_t>) override {}
};
struct UnheardEvents final : AgentEvents {
    void Command(const std::string&) override {}
    void DblClick(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void DragStart(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void DragComplete(const std::string&, basic::Integer, basic::Integer, basic::Integer, basic::Integer) override {}
    void RequestStart(RequestId) override {}
    void RequestComplete(RequestId) override {}
    void IdleStart(const std::string&) override {}
};

inline constexpr int kTestFrameSide = 32;

inline acs::Frame TestFrame(std::uint32_t image, std::uint16_t duration, std::int16_t exit = acs::kNoExitBranch) {
    acs::Frame frame;
    frame.images.push_back({image, 0, 0});
    frame.duration = duration;
    frame.exitFrame = exit;
    return frame;
}

inline acs::Animation TestAnimation(std::string name, std::vector<acs::Frame> frames) {
    acs::Animation animation;
    animation.name = std::move(name);
    animation.frames = std::move(frames);
    return animation;
}

// Animations (frame images in brackets, durations in hundredths of a second):
//   Showing [1 1] 10 each, Hiding [2 2], Rest [0], Blink [3 4 5] returning to Rest,
//   Loop [6 7 8]: frame 1 jumps back to 0 always; leaving from 0 or 1 goes to 2,
//   Chance [9 10 11]: frame 0 jumps to 2 half the time, Walk [12 12 12] for moving,
//   Talk [13] with mouth overlays (shape s draws image 14), Idle [15], Kiss [0] with sound 0.
inline acs::Character MakeHostTestCharacter() {
    acs::Character character;
    acs::CharacterInfo& info = character.info;
    info.width = kTestFrameSide;
    info.height = kTestFrameSide;
    info.transparentIndex = 0;
    info.palette.push_back({255, 0, 255});
    for (int i = 1; i < 256; ++i)
        info.palette.push_back(
            {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i * 13), static_cast<std::uint8_t>(i)});
    acs::LocalizedInfo name;
    name.name = "Tester";
    info.localized.push_back(name);
    info.states = {{"SHOWING", {"Showing"}},   {"HIDING", {"Hiding"}},    {"MOVINGLEFT", {"Walk"}},
                   {"MOVINGRIGHT", {"Walk"}},  {"SPEAKING", {"Talk"}},    {"IDLINGLEVEL1", {"Idle"}},
                   {"IDLINGLEVEL2", {"Idle"}}, {"IDLINGLEVEL3", {"Idle"}}};

    for (int i = 0; i < 16; ++i)
        character.images.push_back(
            acs::MakeImage(kTestFrameSide, kTestFrameSide,
                           std::vector<std::uint8_t>(kTestFrameSide * kTestFrameSide, static_cast<std::uint8_t>(i + 1)),
                           info.transparentIndex));
    character.sounds.push_back(acs::MakeSampleWave(400));

    auto& animations = character.animations;
    animations.push_back(TestAnimation("Showing", {TestFrame(1, 10), TestFrame(1, 10)}));
    animations.push_back(TestAnimation("Hiding", {TestFrame(2, 10), TestFrame(2, 10)}));
    animations.push_back(TestAnimation("Rest", {TestFrame(0, 10)}));
    acs::Animation blink = TestAnimation("Blink", {TestFrame(3, 10), TestFrame(4, 10), TestFrame(5, 10)});
    blink.transition = acs::Transition::ReturnAnimation;
    blink.returnAnimation = "Rest";
    animations.push_back(blink);
    acs::Animation loop = TestAnimation("Loop", {TestFrame(6, 10, 2), TestFrame(7, 10, 2), TestFrame(8, 10)});
    loop.frames[1].branches.push_back({0, 100});
    loop.transition = acs::Transition::ExitBranches;
    animations.push_back(loop);
    acs::Animation chance = TestAnimation("Chance", {TestFrame(9, 10), TestFrame(10, 10), TestFrame(11, 10)});
    chance.frames[0].branches.push_back({2, 50});
    animations.push_back(chance);
    animations.push_back(TestAnimation("Walk", {TestFrame(12, 10), TestFrame(12, 10), TestFrame(12, 10)}));
    acs::Animation talk = TestAnimation("Talk", {TestFrame(13, 20)});
    talk.frames[0].branches.push_back({0, 100});
    for (std::uint8_t shape = 0; shape <= 6; ++shape) {
        acs::MouthOverlay mouth;
        mouth.shape = shape;
        mouth.imageIndex = 14;
        talk.frames[0].mouths.push_back(mouth);
    }
    animations.push_back(talk);
    animations.push_back(TestAnimation("Idle", {TestFrame(15, 50)}));
    acs::Animation kiss = TestAnimation("Kiss", {TestFrame(0, 10)});
    kiss.frames[0].sound = 0;
    animations.push_back(kiss);
    return character;
}

inline std::vector<std::uint8_t> HostTestCharacterFile() { return acs::WriteAcs(MakeHostTestCharacter()); }

// A wing beat as her flights play it between short steps: Flap, two frames of 60 ms (images 3 and 4).
inline acs::Animation FlapAnimation() { return TestAnimation("Flap", {TestFrame(3, 6), TestFrame(4, 6)}); }

// The test character with every animation the program plays, written to a file for zinna-sim:
// each wing beat 100 ms, DanceFadeIn and DanceFadeOut 500 ms, Dance 1 s (Kiss is the test's).
// A larger frame side leaves the images in its top-left corner.
inline std::string WriteProgramTestCharacter(const std::string& path, int frameSide = kTestFrameSide) {
    acs::Character character = MakeHostTestCharacter();
    character.info.width = static_cast<std::uint16_t>(frameSide);
    character.info.height = static_cast<std::uint16_t>(frameSide);
    for (int i = 1; i <= 6; ++i)
        character.animations.push_back(TestAnimation("FlyRight" + std::to_string(i), {TestFrame(12, 10)}));
    for (int i = 1; i <= 4; ++i)
        character.animations.push_back(TestAnimation("FlyLeft" + std::to_string(i), {TestFrame(12, 10)}));
    character.animations.push_back(TestAnimation("DanceFadeIn", {TestFrame(3, 25), TestFrame(4, 25)}));
    character.animations.push_back(TestAnimation("Dance", {TestFrame(5, 50), TestFrame(6, 50)}));
    character.animations.push_back(TestAnimation("DanceFadeOut", {TestFrame(4, 25), TestFrame(3, 25)}));
    acs::WriteAcsFile(character, path);
    return path;
}

}  // namespace zinna::testing
