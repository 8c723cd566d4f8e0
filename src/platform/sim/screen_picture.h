// A picture of the simulated screen at one moment: the desktop colour, the wallpaper as the
// desktop's style values place it, the character's frame where she stands, and her balloon.
#pragma once

#include "stage/acs/frame_compositor.h"
#include "stage/host/balloon_layout.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zinna::sim {

// Reads an uncompressed 24- or 32-bit Windows bitmap; nullopt when the file is missing or of
// another kind.
std::optional<acs::RgbaImage> ReadBitmapFile(const std::filesystem::path& path);

struct ScreenScene {
    int width = 1024;
    int height = 768;
    std::uint32_t desktopColor = 0;  // 0x00BBGGRR
    const acs::RgbaImage* wallpaper = nullptr;
    std::string tileWallpaper, wallpaperStyle;  // "1" tiles; style "2" stretches; else centred
    std::optional<stage::ScreenRect> taskbar;   // drawn as a plain grey bar
    const acs::RgbaImage* character = nullptr;  // null when she is hidden
    int characterX = 0, characterY = 0;
    std::optional<stage::BalloonLayout> balloon;
    std::vector<std::string> balloonLines;  // the words shown so far
};

acs::RgbaImage PaintScreen(const ScreenScene& scene);

}  // namespace zinna::sim
