// Rules of the format shared by the reader and the writer, so that what one accepts the other
// produces. Internal to the format code.
#pragma once

#include "stage/acs/character.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zinna::acs {

inline constexpr std::uint32_t kSignature = 0xABCDABC3;
inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::uint32_t kRegionHeaderSize = 32;
inline constexpr std::uint32_t kRegionTypeRectangles = 1;

// Bytes per stored pixel row: width rounded up to a multiple of 4.
inline std::uint64_t RowStride(std::uint64_t width) { return (width + 3) & ~std::uint64_t{3}; }

// ASCII upper case, as files store state, record and return-animation names.
std::string UpperAscii(std::string text);

// CRC-32 (IEEE). Written as each list entry's checksum, which readers do not check.
std::uint32_t Crc32(std::span<const std::uint8_t> data);

// Why a sound is not a RIFF WAVE file that fits its block; nullopt when it is one.
std::optional<std::string> WaveProblem(std::span<const std::uint8_t> sound);

// Why a tray-icon bitmap is not a sane device-independent bitmap of bitsPerPixel; nullopt when fine.
std::optional<std::string> IconBitmapProblem(std::span<const std::uint8_t> dib, int bitsPerPixel);

// Region blob of rectangles (header, bounding box, rectangles), and its inverse. The parse
// returns why the blob is malformed for an image of width × height, or nullopt.
std::vector<std::uint8_t> EncodeRegion(const std::vector<RegionRect>& rects);
std::optional<std::string> DecodeRegion(std::span<const std::uint8_t> blob, int width, int height,
                                        std::vector<RegionRect>& rects);

// Image pixels between the model's top-down rows and the file's bottom-up, 4-byte padded rows.
std::vector<std::uint8_t> ToStoredRows(const Image& image);
std::vector<std::uint8_t> FromStoredRows(std::span<const std::uint8_t> stored, int width, int height);
// The same in place: the buffer (at least stride × height bytes) ends as width × height bytes,
// top-down, without a second buffer to allocate and fault in.
void StoredRowsToPixels(std::vector<std::uint8_t>& buffer, int width, int height);

}  // namespace zinna::acs
