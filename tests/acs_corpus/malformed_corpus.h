// The regression corpus of malformed character files: a small valid character and a set of
// damaged copies of it, each with the words its rejection must contain. The files are written to
// tests/data/acs-malformed by the acs-make-corpus tool and read back by the tests.
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zinna::acs::corpus {

// A tiny valid character: 16 x 12 frames, a 16-colour palette, two images, one animation "A"
// of two frames, one sound, no voice or balloon.
Character MiniCharacter();

struct MalformedFile {
    std::string fileName;  // e.g. "truncated-header.acs"
    std::vector<std::uint8_t> bytes;
    std::string expectedError;  // a part of the error message the reader must give
};

std::vector<MalformedFile> MalformedFiles();

}  // namespace zinna::acs::corpus
