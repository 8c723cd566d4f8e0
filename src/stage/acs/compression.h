// The bit-stream compression of character files (LZ77 with variable-length distance and length
// fields, least-significant bit first), used for image pixels and region blobs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zinna::acs {

// Decodes a compressed block into exactly decodedSize bytes. The output never grows past
// decodedSize. blockOffset is the block's file offset, used in error messages. Throws AcsError
// when the block is malformed: first byte not 0, stream ending before its end marker, a
// back-reference before the start of the output, output past decodedSize, a length prefix of
// more than eleven 1-bits, or an end marker reached with less than decodedSize bytes.
std::vector<std::uint8_t> Decompress(std::span<const std::uint8_t> block, std::size_t decodedSize,
                                     std::uint64_t blockOffset);

// The most bytes any block of blockSize bytes can decode to; larger declared sizes are rejected
// before memory is reserved.
std::uint64_t MaxDecodedSize(std::uint64_t blockSize);

// Encodes data as a compressed block (leading 0 byte, stream, end marker, 1-bit padding and three
// 0xFF bytes) that Decompress turns back into data.
std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> data);

}  // namespace zinna::acs
