// The simulated user's desktop kept between runs (zinna-sim --state-dir): every registry key and
// value with its type, the desktop colour and the wallpaper shown, in one small text file.
#pragma once

#include "platform/sim/sim_desktop.h"

#include <filesystem>

namespace zinna::sim {

// Replaces the desktop's registry, colour and shown wallpaper with the saved ones. False when the
// file does not exist; std::runtime_error when it is not a saved desktop.
bool LoadSimDesktop(SimDesktop& desktop, const std::filesystem::path& file);
// Writes the desktop atomically; std::runtime_error when it cannot.
void SaveSimDesktop(const SimDesktop& desktop, const std::filesystem::path& file);

}  // namespace zinna::sim
