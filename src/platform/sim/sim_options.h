// A simulated run as it is set up (the world's configuration, how long it runs, which control
// plays) and running it: what zinna-sim's command line fills in and what tests call directly.
#pragma once

#include "platform/sim/sim_world.h"
#include "platform/sim/trace.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace zinna::sim {

struct SimOptions {
    SimConfig config;
    std::int64_t seconds = 180;
    std::string characterFile;   // the character the built-in host plays; empty: the one built with Zinna
    bool simpleControl = false;  // a simulated control with a fixed timing model instead of the host

    // The screen's size; a taskbar along the bottom of the screen moves with it.
    void SetScreenSize(int width, int height);
};

// Decides which control plays: the built-in host with the character file given, or else with the
// character built with Zinna when it exists, or else the simple simulated control. The wallpaper
// built with Zinna, when it exists, is what pictures of the screen show for the program's bitmap.
void ChooseBuiltFiles(SimOptions& options, const std::filesystem::path& builtCharacter,
                      const std::filesystem::path& builtWallpaper);

// The user's actions when none are given: she quits ten virtual seconds before the run's end (a run
// of three minutes shows start-up, the opening, a random performance, the quit and the desktop
// given back). Nothing for a run shorter than twenty seconds.
std::vector<UserAction> LifeStory(std::int64_t seconds);

// Runs the whole simulation; every event goes to `listener` as it happens. The world is returned
// for a look at how it ended.
std::unique_ptr<SimWorld> RunSimulation(SimOptions options, const Trace::Listener& listener);

}  // namespace zinna::sim
