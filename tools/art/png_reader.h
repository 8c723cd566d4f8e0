// Reads a PNG file as straight RGBA (libpng's simplified interface).
#pragma once

#include "rgba_image.h"

#include <filesystem>

namespace zinna::art {

// Throws std::runtime_error naming the file when it cannot be read or decoded.
RgbaPicture ReadPngRgba(const std::filesystem::path& path);

}  // namespace zinna::art
