// The picture a bare X screen shows: a Windows bitmap read from its file and laid over the screen
// in one of the wallpaper styles, on the background colour.
#pragma once

#include "platform/linux/desktop/desktop_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zinna::linuxdesk {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top-down
};

// An uncompressed 8-, 24- or 32-bit Windows bitmap; nullopt for anything else.
std::optional<RgbPicture> ReadBmp(const std::string& path);

// The screen's pixels: the picture placed by style over the colour (0x00BBGGRR, as Windows gives it).
RgbPicture ComposeWallpaper(const RgbPicture* picture, PictureStyle style, std::uint32_t colour, int width, int height);

}  // namespace zinna::linuxdesk
