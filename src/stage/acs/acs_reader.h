// Reads a character data file (.acs). Every file is treated as untrusted: each offset and size is
// checked against the file and its block before use, counts are checked before memory is
// reserved, and any fault throws AcsError naming what is wrong and the file offset.
#pragma once

#include "stage/acs/character.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zinna::acs {

// Limits that keep a hostile file from asking for memory out of proportion to it.
inline constexpr std::uint16_t kMaxFrameSide = 2048;  // frame width and height
inline constexpr std::uint16_t kMaxImageSide = 4096;  // image width and height
inline constexpr std::uint64_t kMaxFileSize = 256u << 20;
inline constexpr std::uint64_t kMaxDecodedTotal = 512u << 20;  // all cached images together

// A parsed file. Opening checks the structure of the whole file (header, character info,
// every animation, every image and sound record); the pixels and regions of an image are
// decompressed when the image is first asked for, and then kept.
class AcsFile {
public:
    // Throws AcsError for a malformed file.
    static AcsFile Parse(std::vector<std::uint8_t> bytes);
    // Reads the file, then Parse. Throws AcsError (offset 0) when it cannot be read.
    static AcsFile Load(const std::filesystem::path& path);

    const CharacterInfo& Info() const { return info_; }
    const std::vector<Animation>& Animations() const { return animations_; }
    std::size_t ImageCount() const { return images_.size(); }
    std::size_t SoundCount() const { return sounds_.size(); }

    // Width and height of an image without decoding it (0, 0 for an empty slot).
    std::uint16_t ImageWidth(std::size_t index) const { return images_.at(index).width; }
    std::uint16_t ImageHeight(std::size_t index) const { return images_.at(index).height; }

    // The decoded image, decompressed on the first call. Throws AcsError when its data is bad,
    // std::out_of_range for an index past ImageCount().
    const Image& ImageAt(std::size_t index);

    // The bytes of a sound (a RIFF WAVE file) inside the file.
    std::span<const std::uint8_t> SoundAt(std::size_t index) const;

    // The whole character with every image decoded. Throws AcsError on the first bad image.
    Character ToCharacter();

    // Oddities that were tolerated (unclaimed bytes, dangling state names, ...), one line each.
    const std::vector<std::string>& Warnings() const { return warnings_; }

private:
    struct ImageRecord {
        std::uint64_t offset = 0;  // of the record
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        bool compressed = false;
        std::uint64_t pixelsOffset = 0;
        std::uint32_t pixelsSize = 0;
        bool regionCompressed = false;
        std::uint64_t regionOffset = 0;
        std::uint32_t regionStoredSize = 0;
        std::uint32_t regionDecodedSize = 0;
        std::size_t cacheSlot = 0;  // records with the same offset share one decoded image
    };
    struct SoundRecord {
        std::uint64_t offset = 0;
        std::uint32_t size = 0;
    };

    friend class AcsParser;
    AcsFile() = default;
    Image DecodeImage(const ImageRecord& record) const;

    std::vector<std::uint8_t> bytes_;
    CharacterInfo info_;
    std::vector<Animation> animations_;
    std::vector<ImageRecord> images_;
    std::vector<SoundRecord> sounds_;
    std::vector<std::optional<Image>> decoded_;  // by cache slot
    std::uint64_t decodedBytes_ = 0;
    std::vector<std::string> warnings_;
};

// Parses and decodes everything: AcsFile::Parse(bytes).ToCharacter().
Character ReadAcs(std::vector<std::uint8_t> bytes);

}  // namespace zinna::acs
