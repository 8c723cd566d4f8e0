// Writes an RGBA image as a PNG file (libpng).
#pragma once

#include "image/rgba_image.h"

#include <filesystem>

namespace zinna::image {

// Throws std::runtime_error when the file cannot be written.
void WritePng(const RgbaImage& image, const std::filesystem::path& path);

}  // namespace zinna::image
