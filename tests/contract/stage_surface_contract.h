// The contract of her surface: what every platform's drawing of her shows for the same frames from
// the one presenter (a frame seen before is switched to and never made again; a move makes no
// picture; the screen shows the frame's colours and lets the pointer through her transparent
// pixels), written once as a table of cases (stage_surface_contract.cpp) and run against each
// surface from that same source: the simulated desktop's recorded surface, the X11 windows and the
// Windows layered windows.
//
// An implementation joins by one registration file of its own (see sim_surface_registration.cpp):
// a factory giving her on a fresh surface, driven as its platform drives it.
#pragma once

#include "contract/contract_runner.h"
#include "host_test_character.h"
#include "stage/host/stage_character.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zinna::contract {

// What every registration gives her control: no sound, and events nobody listens to.
using Silence = testing::Silence;
using UnheardEvents = testing::UnheardEvents;

// The character the cases use: the host test character (tests/host_test_character.h) with Blink's
// first image transparent on its left half and its frames too long to be handed to the screen ahead,
// and Beat, two short frames (images 4 and 5) that are.
std::vector<std::uint8_t> StageSurfaceCharacterFile();
// Sets her as every registration starts her: idling off, moved to (100, 100) and shown.
void StartHer(stage::StageCharacter& her);
// Whether her Showing animation has reached its last frame (the start is over).
bool HerStartDone(stage::StageCharacter& her);

// Her, loaded from StageSurfaceCharacterFile(), idling off, shown at (100, 100) on a platform's
// surface until Showing's last frame, with what the cases read back from the platform itself.
class SurfaceUnderContract {
public:
    virtual ~SurfaceUnderContract() = default;
    virtual stage::StageCharacter& Her() = 0;
    // Runs the platform's loop (or its clock) until done() is true or timeoutMs have passed; says
    // whether done() came.
    virtual bool RunUntil(const std::function<bool()>& done, std::int64_t timeoutMs) = 0;
    // How many pictures the platform has made ready to show (uploaded, made into bitmaps) so far.
    virtual int PicturesMade() = 0;
    // The colour (0xRRGGBB) her window shows at a point of her picture, or nullopt where the pointer
    // passes through her there (or her window is not shown). Read as the X server answers: once
    // everything she has asked of the screen has reached it, a change it holds back included.
    virtual std::optional<std::uint32_t> ColourAt(int px, int py) = 0;
    // Her window's top-left corner on the screen, or nullopt while it is not shown (read the same way).
    virtual std::optional<std::pair<int, int>> WindowPlace() = 0;
};

struct StageSurfaceRegistration {
    std::string implementation;
    std::function<std::unique_ptr<SurfaceUnderContract>()> makeFresh;
    std::vector<KnownDifference> differences = {};
};

void RunStageSurfaceContract(const StageSurfaceRegistration& registration);

}  // namespace zinna::contract

#define ZINNA_STAGE_SURFACE_CONTRACT(...) \
    TEST_CASE("stage surface contract") { ::zinna::contract::RunStageSurfaceContract(__VA_ARGS__); }
