// The parser behind AcsFile::Parse: it walks the file block by block, checks every offset, size
// and count before use, and fills the AcsFile. Animations are parsed last because their frames are
// checked against the image and sound counts. The character-info block is read in
// character_info_parser.cpp, the lists of images, sounds and animations in acs_parser.cpp.
#pragma once

#include "stage/acs/acs_reader.h"
#include "stage/acs/byte_io.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace zinna::acs {

// Where a block lies in the file.
struct Locator {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t End() const { return offset + size; }
};

// "0x1F" for error messages.
std::string Hex(std::uint64_t value);

class AcsParser {
public:
    explicit AcsParser(AcsFile& file) : file_(file), bytes_(file.bytes_) {}
    // Throws AcsError for a malformed file.
    void Parse();

private:
    // A locator read from a cursor, checked to lie inside the file.
    Locator ReadLocator(ByteCursor& cursor, const std::string& field);
    // Each animation and sound is read (and copied) once per list entry. Entries that point at
    // the same bytes again and again would multiply that work far beyond the file's size, so
    // together they may not claim more bytes than the file has.
    void CountTowardsFile(std::uint64_t& total, const Locator& record, const ByteCursor& in, const std::string& what);
    // A cursor over a block, which counts as read.
    ByteCursor CursorOver(const Locator& locator, const std::string& block);

    // character_info_parser.cpp
    void ParseCharacterInfo(const Locator& block);
    VoiceInfo ParseVoice(ByteCursor& in);
    BalloonInfo ParseBalloon(ByteCursor& in);

    // acs_parser.cpp
    void ParseImageList(const Locator& block);
    AcsFile::ImageRecord ParseImageRecord(const Locator& block, std::uint32_t index);
    struct FrameLimit {
        std::uint32_t width;
        std::uint32_t height;
    };
    // Images may be smaller than the frame; anything far larger is not a real image, and
    // allowing it would let a tiny file ask for a huge decode.
    FrameLimit ImageLimit() const;
    void ParseSoundList(const Locator& block);
    void ParseAnimationList(const Locator& block);
    Animation ParseAnimation(const Locator& block, std::string name);
    void ParseFrame(ByteCursor& in, Frame& frame, std::uint16_t index, std::uint16_t frameCount);
    void CheckStates();
    // Real files use every byte; bytes that no block claims are reported, not rejected.
    void ReportUnclaimedBytes();

    AcsFile& file_;
    std::span<const std::uint8_t> bytes_;
    std::vector<Locator> claimed_;                // every block that was read
    std::map<std::uint64_t, std::size_t> slots_;  // image record offset -> cache slot
};

}  // namespace zinna::acs
