// Character files put together byte by byte, block by block, as the format describes them, for
// the reader's tests and as fuzzing seeds (raw pixels and raw regions, which the writer never makes).
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zinna::acs::corpus {

using Bytes = std::vector<std::uint8_t>;

// One image record: kind 1, width, height, the pixel block (raw or compressed) and a region
// stored raw (compressed size 0).
Bytes ImageRecord(std::uint16_t width, std::uint16_t height, bool compressed, const Bytes& pixels, const Bytes& region);

// A region blob: header (size, type, count, a size hint of 168), a zero bounding box, the rectangles.
Bytes Region(std::uint32_t headerSize, std::uint32_t type, const std::vector<RegionRect>& rects);

// A file assembled from hand-made blocks, in the order real files use: one 5 x 2 image stored raw,
// one animation "A" of one frame, state SHOWING, a 3-colour palette, frame size 32 x 24, the
// name "Hand" under the bare language id 9.
struct HandMadeFile {
    std::vector<Bytes> images;
    std::vector<std::pair<std::string, Bytes>> animations;
    std::vector<std::pair<std::string, std::vector<std::string>>> states = {{"SHOWING", {"A"}}};
    Bytes trayIcon = {0};  // the flag byte, and the icon if any
    std::uint8_t paletteFourthByte = 0;

    HandMadeFile();

    // An animation record "A" of n frames, each showing image 0 at (1, 2) for 10.
    static Bytes Animation(int frames);

    Bytes Assemble() const;
};

}  // namespace zinna::acs::corpus
