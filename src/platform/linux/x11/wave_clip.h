// The sound in a character's wave file: its PCM format and samples, as a sound server takes them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zinna::x11 {

struct WaveClip {
    int channels = 1;
    int rate = 22050;
    int bitsPerSample = 16;  // 8 (unsigned) or 16 (signed, little-endian)
    std::vector<std::uint8_t> samples;
};

// The clip of a RIFF WAVE file with uncompressed 8- or 16-bit PCM; nullopt for anything else.
std::optional<WaveClip> ReadWaveClip(std::span<const std::uint8_t> file);

}  // namespace zinna::x11
