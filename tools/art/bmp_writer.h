// Writes a 24-bit Windows bitmap (BITMAPFILEHEADER + BITMAPINFOHEADER, no compression, rows
// bottom-up and padded to 4 bytes), the form the desktop wallpaper call takes.
#pragma once

#include "rgba_image.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace zinna::art {

// The file's bytes. Alpha is dropped: the picture is taken as opaque.
std::vector<std::uint8_t> EncodeBmp24(const RgbaPicture& picture);

// Throws std::runtime_error when the file cannot be written.
void WriteBmp24(const RgbaPicture& picture, const std::filesystem::path& path);

}  // namespace zinna::art
