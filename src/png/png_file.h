// Writes an RGBA image as a PNG file (libpng).
#pragma once

#include "stage/acs/frame_compositor.h"

#include <filesystem>

namespace zinna::acs {

// Throws std::runtime_error when the file cannot be written.
void WritePng(const RgbaImage& image, const std::filesystem::path& path);

}  // namespace zinna::acs
