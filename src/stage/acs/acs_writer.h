// Writes a character model as a character data file (.acs), laid out as the old tools laid
// theirs out: header, animation records, image records, sounds, the three lists, character info.
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <filesystem>
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
