#include "platform/linux/x11/wave_clip.h"

#include <cstring>

namespace zinna::x11 {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

constexpr std::uint16_t kPcm = 1;

}  // namespace

std::optional<WaveClip> ReadWaveClip(std::span<const std::uint8_t> file) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<WaveClip> clip;
    bool formatSeen = false;
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint8_t* chunk = file.data() + at;
        const std::size_t size = Le32(chunk + 4);
        const std::size_t body = at + 8;
        if (size > file.size() - body) return std::nullopt;  // a chunk past the file's end
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) return std::nullopt;
            const std::uint8_t* format = file.data() + body;
            WaveClip found;
            found.channels = Le16(format + 2);
            found.rate = static_cast<int>(Le32(format + 4));
            found.bitsPerSample = Le16(format + 14);
            if (Le16(format) != kPcm || found.channels < 1 || found.channels > 2 || found.rate <= 0 ||
                (found.bitsPerSample != 8 && found.bitsPerSample != 16))
                return std::nullopt;
            clip = std::move(found);
            formatSeen = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!formatSeen) return std::nullopt;
            clip->samples.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                                 file.begin() + static_cast<std::ptrdiff_t>(body + size));
            return clip;
        }
        at = body + size + (size & 1);  // chunks are padded to an even size
    }
    return std::nullopt;
}

}  // namespace zinna::x11
