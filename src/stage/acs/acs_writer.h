// Writes a character model as a character data file (.acs), laid out as the old tools laid
// theirs out: header, animation records, image records, sounds, the three lists, character info.
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zinna::acs {

// The file's bytes. Images are compressed and get their regions as stored in the model.
// Throws std::invalid_argument naming the first thing in the model that the reader would reject
// (an image index past the images, flags that disagree with the voice/balloon blocks, ...).
std::vector<std::uint8_t> WriteAcs(const Character& character);

// WriteAcs, then writes the bytes to path. Throws std::runtime_error when the file cannot be
// written.
void WriteAcsFile(const Character& character, const std::filesystem::path& path);

}  // namespace zinna::acs

namespace zinna::acs {

// Things in a character that the writer stores faithfully but that real character files have
// rarely or never, so the old control is less likely to have been tried with them: no SHOWING or
// HIDING state, a state naming a missing animation, a last frame whose exit is a frame index, an
// image with opaque pixels but no region (never seen), a region that does not match the opaque
// pixels, a palette of fewer than 256 colours. One line each; empty when nothing is unusual.
std::vector<std::string> CompatibilityWarnings(const Character& character);

}  // namespace zinna::acs
