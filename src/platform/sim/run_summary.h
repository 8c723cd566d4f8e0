// The few lines that end a text timeline: what she did and how long each part took, the desktop
// before, while she ran and after, and whether it was given back exactly.
#pragma once

#include "platform/sim/storyline.h"
#include "platform/sim/trace.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace zinna::sim {

// The user's desktop values that Zinna changes; a missing value is nullopt.
struct DesktopLook {
    std::optional<std::string> wallpaper, tile, style;
    std::uint32_t color = 0;  // red in the lowest byte

    bool operator==(const DesktopLook&) const = default;
};

// The look a "state" event records.
DesktopLook LookOfState(const TraceEvent& state);
// What differs from `before` in `after`, one phrase a value ("wallpaper \"a\" is now \"b\"").
std::vector<std::string> Differences(const DesktopLook& before, const DesktopLook& after);
// "wallpaper "C:\WINDOWS\Clouds.bmp", tile "0", style "2", colour 0,128,128"
std::string Describe(const DesktopLook& look);

class RunSummary {
public:
    explicit RunSummary(DesktopLook before) : before_(std::move(before)) {}

    void Observe(const TraceEvent& event);
    void Write(std::ostream& out, const Storyline& story) const;

private:
    DesktopLook before_;
    std::optional<std::string> dressedWallpaper_;
    std::optional<std::uint32_t> dressedColor_;
    std::optional<DesktopLook> after_;
    std::string endReason_;
    std::int64_t endMs_ = 0;
};

}  // namespace zinna::sim
