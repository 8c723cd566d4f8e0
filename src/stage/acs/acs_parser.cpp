#include "stage/acs/acs_parser.h"

#include "stage/acs/compression.h"
#include "stage/acs/format_rules.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zinna::acs {

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

void AcsParser::Parse() {
    if (bytes_.size() < kHeaderSize)
        throw AcsError("file of " + std::to_string(bytes_.size()) + " bytes is shorter than the 36-byte header", 0);
    if (bytes_.size() > kMaxFileSize) throw AcsError("file is larger than 256 MiB", 0);
    ByteCursor header(bytes_, 0, kHeaderSize, "header");
    const std::uint32_t signature = header.U32("signature");
    static constexpr std::array<std::uint8_t, 8> kCompoundFile = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (std::equal(kCompoundFile.begin(), kCompoundFile.end(), bytes_.begin()))
        throw AcsError("file is an older compound-file character container, which is not supported", 0);
    if (signature != kSignature)
        throw AcsError("signature " + Hex(signature) + " is not 0xABCDABC3: not a character file", 0);
    const Locator info = ReadLocator(header, "character-info locator");
    const Locator animations = ReadLocator(header, "animation-list locator");
    const Locator images = ReadLocator(header, "image-list locator");
    const Locator sounds = ReadLocator(header, "audio-list locator");

    ParseCharacterInfo(info);
    ParseImageList(images);
    ParseSoundList(sounds);
    ParseAnimationList(animations);
    CheckStates();
    ReportUnclaimedBytes();
    file_.decoded_.resize(slots_.size());
}

// A locator read from a cursor, checked to lie inside the file.
Locator AcsParser::ReadLocator(ByteCursor& cursor, const std::string& field) {
    const std::uint64_t at = cursor.Position();
    const Locator locator{cursor.U32(field + " offset"), cursor.U32(field + " size")};
    if (locator.End() > bytes_.size())
        cursor.FailAt(field + " (offset " + Hex(locator.offset) + ", size " + std::to_string(locator.size) +
                          ") runs past the end of the " + std::to_string(bytes_.size()) + "-byte file",
                      at);
    return locator;
}

// Each animation and sound is read (and copied) once per list entry. Entries that point at
// the same bytes again and again would multiply that work far beyond the file's size, so
// together they may not claim more bytes than the file has.
void AcsParser::CountTowardsFile(std::uint64_t& total, const Locator& record, const ByteCursor& in,
                                 const std::string& what) {
    total += record.size;
    if (total > bytes_.size()) in.Fail(what + " add up to more than the whole file; list entries share their bytes");
}

ByteCursor AcsParser::CursorOver(const Locator& locator, const std::string& block) {
    claimed_.push_back(locator);
    return ByteCursor(bytes_, locator.offset, locator.End(), block);
}

void AcsParser::ParseImageList(const Locator& block) {
    ByteCursor in = CursorOver(block, "image list");
    const std::uint32_t count = in.U32("image count");
    in.CheckedCount(count, 12, "image");
    file_.images_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const Locator record = ReadLocator(in, "image " + std::to_string(i) + " locator");
        in.U32("image checksum");  // no known algorithm; nothing to check
        file_.images_.push_back(ParseImageRecord(record, i));
    }
    in.ExpectEnd();
}

AcsFile::ImageRecord AcsParser::ParseImageRecord(const Locator& block, std::uint32_t index) {
    ByteCursor in = CursorOver(block, "image " + std::to_string(index));
    AcsFile::ImageRecord record;
    record.offset = block.offset;
    record.cacheSlot = slots_.try_emplace(block.offset, slots_.size()).first->second;
    const std::uint8_t kind = in.U8("image kind");
    if (kind == 0) {
        if (block.size != 1) in.Fail("empty image slot is " + std::to_string(block.size) + " bytes, not 1");
        return record;
    }
    if (kind != 1) in.FailAt("image kind " + std::to_string(kind) + " is not 0 or 1", block.offset);
    const std::uint64_t sizeAt = in.Position();
    record.width = in.U16("width");
    record.height = in.U16("height");
    const FrameLimit limit = ImageLimit();
    if (record.width > limit.width || record.height > limit.height)
        in.FailAt("image size " + std::to_string(record.width) + " x " + std::to_string(record.height) +
                      " is beyond the limit of " + std::to_string(limit.width) + " x " + std::to_string(limit.height) +
                      " for this frame size",
                  sizeAt);
    const std::uint8_t compressed = in.U8("compressed flag");
    if (compressed > 1) in.Fail("compressed flag " + std::to_string(compressed) + " is not 0 or 1");
    record.compressed = compressed == 1;
    record.pixelsSize = in.U32("pixel data size");
    record.pixelsOffset = in.Position();
    in.Bytes(record.pixelsSize, "pixel data");
    const std::uint64_t decoded = RowStride(record.width) * record.height;
    if (record.compressed && decoded > MaxDecodedSize(record.pixelsSize))
        in.FailAt("compressed pixels of " + std::to_string(record.pixelsSize) + " bytes cannot hold a " +
                      std::to_string(record.width) + " x " + std::to_string(record.height) + " image",
                  record.pixelsOffset);
    if (!record.compressed && record.pixelsSize != decoded)
        in.FailAt("raw pixel data of " + std::to_string(record.pixelsSize) + " bytes is not the " +
                      std::to_string(decoded) + " a " + std::to_string(record.width) + " x " +
                      std::to_string(record.height) + " image needs",
                  record.pixelsOffset);
    record.regionStoredSize = in.U32("region compressed size");
    record.regionDecodedSize = in.U32("region size");
    record.regionCompressed = record.regionStoredSize != 0;
    record.regionOffset = in.Position();
    in.Bytes(record.regionCompressed ? record.regionStoredSize : record.regionDecodedSize, "region data");
    if (record.regionCompressed && record.regionDecodedSize > MaxDecodedSize(record.regionStoredSize))
        in.FailAt("compressed region of " + std::to_string(record.regionStoredSize) + " bytes cannot decode to " +
                      std::to_string(record.regionDecodedSize),
                  record.regionOffset);
    in.ExpectEnd();
    if (record.width == 0 || record.height == 0) {
        file_.warnings_.push_back("image " + std::to_string(index) + " has no pixels; treated as an empty slot");
        record.width = record.height = 0;
    }
    return record;
}

// Images may be smaller than the frame; anything far larger is not a real image, and
// allowing it would let a tiny file ask for a huge decode.
AcsParser::FrameLimit AcsParser::ImageLimit() const {
    const CharacterInfo& info = file_.info_;
    return {std::min<std::uint32_t>(kMaxImageSide, 2u * info.width + 256),
            std::min<std::uint32_t>(kMaxImageSide, 2u * info.height + 256)};
}

void AcsParser::ParseSoundList(const Locator& block) {
    ByteCursor in = CursorOver(block, "audio list");
    const std::uint32_t count = in.U32("sound count");
    in.CheckedCount(count, 12, "sound");
    file_.sounds_.reserve(count);
    std::uint64_t soundBytes = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const Locator record = ReadLocator(in, "sound " + std::to_string(i) + " locator");
        in.U32("sound checksum");
        CountTowardsFile(soundBytes, record, in, "sounds");
        if (auto problem = WaveProblem(std::span(bytes_).subspan(record.offset, record.size)))
            throw AcsError("sound " + std::to_string(i) + ": " + *problem, record.offset);
        file_.sounds_.push_back({record.offset, static_cast<std::uint32_t>(record.size)});
        claimed_.push_back(record);
    }
    in.ExpectEnd();
}

void AcsParser::ParseAnimationList(const Locator& block) {
    ByteCursor in = CursorOver(block, "animation list");
    const std::uint32_t count = in.U32("animation count");
    in.CheckedCount(count, 12, "animation");
    file_.animations_.reserve(count);
    std::uint64_t animationBytes = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name = in.String("animation name");
        const Locator record = ReadLocator(in, "animation \"" + name + "\" locator");
        CountTowardsFile(animationBytes, record, in, "animation records");
        file_.animations_.push_back(ParseAnimation(record, std::move(name)));
    }
    in.ExpectEnd();
}

Animation AcsParser::ParseAnimation(const Locator& block, std::string name) {
    ByteCursor in = CursorOver(block, "animation \"" + name + "\"");
    Animation animation;
    animation.name = std::move(name);
    in.String("record name");  // an upper-case copy of the list's name
    const std::uint8_t transition = in.U8("transition type");
    if (transition > 2) in.Fail("transition type " + std::to_string(transition) + " is not 0, 1 or 2");
    animation.transition = static_cast<Transition>(transition);
    animation.returnAnimation = in.String("return animation name");
    const std::uint16_t frameCount = in.U16("frame count");
    in.CheckedCount(frameCount, 10, "frame");
    animation.frames.resize(frameCount);
    for (std::uint16_t f = 0; f < frameCount; ++f) ParseFrame(in, animation.frames[f], f, frameCount);
    in.ExpectEnd();
    if (frameCount == 0)
        file_.warnings_.push_back("animation \"" + animation.name + "\" has no frames and cannot be played");
    return animation;
}

void AcsParser::ParseFrame(ByteCursor& in, Frame& frame, std::uint16_t index, std::uint16_t frameCount) {
    const std::string at = "frame " + std::to_string(index);
    const std::uint16_t imageCount = in.U16(at + " image count");
    in.CheckedCount(imageCount, 8, at + " image");
    frame.images.resize(imageCount);
    for (FrameImage& image : frame.images) {
        image.imageIndex = in.U32(at + " image index");
        if (image.imageIndex >= file_.images_.size())
            in.FailAt(at + ": image index " + std::to_string(image.imageIndex) + " is past the " +
                          std::to_string(file_.images_.size()) + " images",
                      in.Position() - 4);
        image.x = in.I16(at + " image x");
        image.y = in.I16(at + " image y");
    }
    frame.sound = in.I16(at + " sound");
    if (frame.sound != kNoSound && (frame.sound < 0 || static_cast<std::size_t>(frame.sound) >= file_.sounds_.size()))
        in.FailAt(at + ": sound index " + std::to_string(frame.sound) + " is not -1 or one of the " +
                      std::to_string(file_.sounds_.size()) + " sounds",
                  in.Position() - 2);
    frame.duration = in.U16(at + " duration");
    frame.exitFrame = in.I16(at + " exit frame");
    if (frame.exitFrame != kExitEndsNow && frame.exitFrame != kNoExitBranch &&
        (frame.exitFrame < 0 || frame.exitFrame >= frameCount))
        in.FailAt(at + ": exit frame " + std::to_string(frame.exitFrame) + " is not -1, -2 or a frame",
                  in.Position() - 2);
    const std::uint8_t branchCount = in.U8(at + " branch count");
    in.CheckedCount(branchCount, 4, at + " branch");
    frame.branches.resize(branchCount);
    int sum = 0;
    for (Branch& branch : frame.branches) {
        branch.targetFrame = in.U16(at + " branch target");
        if (branch.targetFrame >= frameCount)
            in.FailAt(at + ": branch target " + std::to_string(branch.targetFrame) + " is past the " +
                          std::to_string(frameCount) + " frames",
                      in.Position() - 2);
        branch.probability = in.U16(at + " branch probability");
        sum += branch.probability;
    }
    if (sum > 100) in.Fail(at + ": branch probabilities add up to " + std::to_string(sum) + ", more than 100");
    const std::uint8_t mouthCount = in.U8(at + " mouth count");
    in.CheckedCount(mouthCount, 14, at + " mouth");
    frame.mouths.resize(mouthCount);
    for (MouthOverlay& mouth : frame.mouths) {
        mouth.shape = in.U8(at + " mouth shape");
        if (mouth.shape > 6)
            in.FailAt(at + ": mouth shape " + std::to_string(mouth.shape) + " is not 0..6", in.Position() - 1);
        mouth.replacesTopImage = in.U8(at + " mouth replace flag") != 0;
        mouth.imageIndex = in.U16(at + " mouth image");
        if (mouth.imageIndex >= file_.images_.size())
            in.FailAt(at + ": mouth image index " + std::to_string(mouth.imageIndex) + " is past the images",
                      in.Position() - 2);
        mouth.unknown = in.U8(at + " mouth byte 4");
        const bool hasRegion = in.U8(at + " mouth region flag") != 0;
        mouth.x = in.I16(at + " mouth x");
        mouth.y = in.I16(at + " mouth y");
        mouth.centerX = in.U16(at + " mouth centre x");
        mouth.centerY = in.U16(at + " mouth centre y");
        if (hasRegion) {
            const std::uint32_t size = in.U32(at + " mouth region size");
            std::span<const std::uint8_t> region = in.Bytes(size, at + " mouth region");
            mouth.region.emplace(region.begin(), region.end());
        }
    }
}

void AcsParser::CheckStates() {
    for (const State& state : file_.info_.states)
        for (const std::string& name : state.animations) {
            const bool found = std::any_of(file_.animations_.begin(), file_.animations_.end(),
                                           [&](const Animation& a) { return UpperAscii(a.name) == UpperAscii(name); });
            if (!found) file_.warnings_.push_back("state " + state.name + " names the missing animation " + name);
        }
}

// Real files use every byte; bytes that no block claims are reported, not rejected.
void AcsParser::ReportUnclaimedBytes() {
    claimed_.push_back({0, kHeaderSize});
    std::sort(claimed_.begin(), claimed_.end(), [](const Locator& a, const Locator& b) { return a.offset < b.offset; });
    std::uint64_t covered = 0, unclaimed = 0;
    for (const Locator& block : claimed_) {
        if (block.offset > covered) unclaimed += block.offset - covered;
        covered = std::max(covered, block.End());
    }
    unclaimed += bytes_.size() - covered;
    if (unclaimed > 0) file_.warnings_.push_back(std::to_string(unclaimed) + " bytes of the file belong to no block");
}

}  // namespace zinna::acs
