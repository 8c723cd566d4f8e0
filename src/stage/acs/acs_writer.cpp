#include "stage/acs/acs_writer.h"

#include "stage/acs/acs_reader.h"
#include "stage/acs/byte_io.h"
#include "stage/acs/compression.h"
#include "stage/acs/format_rules.h"

#include <fstream>
#include <limits>
#include <stdexcept>

namespace zinna::acs {

namespace {

[[noreturn]] void Reject(const std::string& what) { throw std::invalid_argument("character model: " + what); }

void CheckInfo(const Character& character) {
    const CharacterInfo& info = character.info;
    if (info.majorVersion != 2) Reject("version " + std::to_string(info.majorVersion) + ".x is not 2.x");
    if (info.width == 0 || info.height == 0 || info.width > kMaxFrameSide || info.height > kMaxFrameSide)
        Reject("frame size " + std::to_string(info.width) + " x " + std::to_string(info.height) + " is not in 1.." +
               std::to_string(kMaxFrameSide));
    if (info.palette.empty() || info.palette.size() > 256) Reject("palette must have 1 to 256 colours");
    if (info.transparentIndex >= info.palette.size()) Reject("transparent index is past the palette");
    if (((info.flags & kFlagVoice) != 0) != info.voice.has_value())
        Reject("flags bit 0x20 must be set exactly when there is a voice block");
    if (((info.flags & kFlagBalloon) != 0) != info.balloon.has_value())
        Reject("flags bit 0x200 must be set exactly when there is a balloon block");
    if (info.localized.empty()) Reject("needs at least one localized name");
    if (info.localized.size() > 0xFFFF || info.states.size() > 0xFFFF) Reject("too many states or localizations");
    for (const State& state : info.states)
        if (state.animations.size() > 0xFFFF) Reject("state " + state.name + " lists too many animations");
    if (info.trayIcon) {
        if (auto problem = IconBitmapProblem(info.trayIcon->mask, 1)) Reject("tray icon mask: " + *problem);
        if (auto problem = IconBitmapProblem(info.trayIcon->color, 4)) Reject("tray icon colour image: " + *problem);
    }
}

void CheckAnimation(const Character& character, const Animation& animation) {
    const std::string where = "animation \"" + animation.name + "\"";
    if (animation.frames.empty()) Reject(where + " has no frames");
    if (animation.frames.size() > 0x7FFF) Reject(where + " has too many frames");
    if (static_cast<int>(animation.transition) > 2) Reject(where + ": transition type is not 0, 1 or 2");
    const auto frameCount = static_cast<std::int64_t>(animation.frames.size());
    for (std::size_t f = 0; f < animation.frames.size(); ++f) {
        const Frame& frame = animation.frames[f];
        const std::string at = where + " frame " + std::to_string(f);
        if (frame.images.size() > 0xFFFF || frame.branches.size() > 0xFF || frame.mouths.size() > 0xFF)
            Reject(at + " has too many images, branches or mouths");
        for (const FrameImage& image : frame.images)
            if (image.imageIndex >= character.images.size())
                Reject(at + ": image index " + std::to_string(image.imageIndex) + " is past the images");
        if (frame.sound != kNoSound &&
            (frame.sound < 0 || static_cast<std::size_t>(frame.sound) >= character.sounds.size()))
            Reject(at + ": sound index " + std::to_string(frame.sound) + " is past the sounds");
        if (frame.exitFrame != kExitEndsNow && frame.exitFrame != kNoExitBranch &&
            (frame.exitFrame < 0 || frame.exitFrame >= frameCount))
            Reject(at + ": exit frame " + std::to_string(frame.exitFrame) + " is not a frame");
        int sum = 0;
        for (const Branch& branch : frame.branches) {
            if (branch.targetFrame >= frameCount) Reject(at + ": branch target is not a frame");
            sum += branch.probability;
        }
        if (sum > 100) Reject(at + ": branch probabilities add up to more than 100");
        for (const MouthOverlay& mouth : frame.mouths) {
            if (mouth.shape > 6) Reject(at + ": mouth shape is not 0..6");
            if (mouth.imageIndex >= character.images.size()) Reject(at + ": mouth image index is past the images");
        }
    }
}

void CheckImage(const Image& image, std::size_t index) {
    const std::string where = "image " + std::to_string(index);
    if (image.IsEmptySlot()) {
        if (!image.pixels.empty() || !image.region.empty()) Reject(where + " has no size but has pixels");
        return;
    }
    if (image.width > kMaxImageSide || image.height > kMaxImageSide) Reject(where + " is larger than 4096 pixels");
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
        Reject(where + ": pixel count is not width x height");
    for (const RegionRect& r : image.region)
        if (r.left < 0 || r.top < 0 || r.left > r.right || r.top > r.bottom || r.right > image.width ||
            r.bottom > image.height)
            Reject(where + ": a region rectangle lies outside the image");
}

void CheckCharacter(const Character& character) {
    CheckInfo(character);
    if (character.images.size() > std::numeric_limits<std::uint32_t>::max() / 12 || character.sounds.size() > 0x7FFF)
        Reject("too many images or sounds");
    for (const Animation& animation : character.animations) CheckAnimation(character, animation);
    for (std::size_t i = 0; i < character.images.size(); ++i) CheckImage(character.images[i], i);
    for (std::size_t i = 0; i < character.sounds.size(); ++i)
        if (auto problem = WaveProblem(character.sounds[i])) Reject("sound " + std::to_string(i) + ": " + *problem);
}

struct Locator {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

Locator Since(const ByteWriter& out, std::uint64_t start) {
    return {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(out.Position() - start)};
}

void WriteFrame(ByteWriter& out, const Frame& frame) {
    out.U16(static_cast<std::uint16_t>(frame.images.size()));
    for (const FrameImage& image : frame.images) {
        out.U32(image.imageIndex);
        out.I16(image.x);
        out.I16(image.y);
    }
    out.I16(frame.sound);
    out.U16(frame.duration);
    out.I16(frame.exitFrame);
    out.U8(static_cast<std::uint8_t>(frame.branches.size()));
    for (const Branch& branch : frame.branches) {
        out.U16(branch.targetFrame);
        out.U16(branch.probability);
    }
    out.U8(static_cast<std::uint8_t>(frame.mouths.size()));
    for (const MouthOverlay& mouth : frame.mouths) {
        out.U8(mouth.shape);
        out.U8(mouth.replacesTopImage ? 1 : 0);
        out.U16(mouth.imageIndex);
        out.U8(mouth.unknown);
        out.U8(mouth.region ? 1 : 0);
        out.I16(mouth.x);
        out.I16(mouth.y);
        out.U16(mouth.centerX);
        out.U16(mouth.centerY);
        if (mouth.region) {
            out.U32(static_cast<std::uint32_t>(mouth.region->size()));
            out.Append(*mouth.region);
        }
    }
}

Locator WriteAnimationRecord(ByteWriter& out, const Animation& animation) {
    const std::uint64_t start = out.Position();
    out.String(UpperAscii(animation.name));
    out.U8(static_cast<std::uint8_t>(animation.transition));
    out.String(UpperAscii(animation.returnAnimation));
    out.U16(static_cast<std::uint16_t>(animation.frames.size()));
    for (const Frame& frame : animation.frames) WriteFrame(out, frame);
    return Since(out, start);
}

Locator WriteImageRecord(ByteWriter& out, const Image& image) {
    const std::uint64_t start = out.Position();
    if (image.IsEmptySlot()) {
        out.U8(0);
        return Since(out, start);
    }
    out.U8(1);
    out.U16(image.width);
    out.U16(image.height);
    out.U8(1);  // compressed
    const std::vector<std::uint8_t> pixels = Compress(ToStoredRows(image));
    out.U32(static_cast<std::uint32_t>(pixels.size()));
    out.Append(pixels);
    const std::vector<std::uint8_t> region = EncodeRegion(image.region);
    const std::vector<std::uint8_t> storedRegion = Compress(region);
    out.U32(static_cast<std::uint32_t>(storedRegion.size()));
    out.U32(static_cast<std::uint32_t>(region.size()));
    out.Append(storedRegion);
    return Since(out, start);
}

void WriteLocatorList(ByteWriter& out, const std::vector<Locator>& records) {
    out.U32(static_cast<std::uint32_t>(records.size()));
    for (const Locator& record : records) {
        out.U32(record.offset);
        out.U32(record.size);
        out.U32(Crc32(std::span(out.Bytes()).subspan(record.offset, record.size)));
    }
}

void WriteVoice(ByteWriter& out, const VoiceInfo& voice) {
    out.GuidBytes(voice.engine);
    out.GuidBytes(voice.mode);
    out.U32(voice.speed);
    out.U16(voice.pitch);
    out.U8(voice.extra ? 1 : 0);
    if (!voice.extra) return;
    out.U16(voice.extra->languageId);
    out.String(voice.extra->dialect);
    out.U16(voice.extra->gender);
    out.U16(voice.extra->age);
    out.String(voice.extra->style);
}

void WriteBalloon(ByteWriter& out, const BalloonInfo& balloon) {
    out.U8(balloon.lines);
    out.U8(balloon.charactersPerLine);
    out.U32(balloon.foreground);
    out.U32(balloon.background);
    out.U32(balloon.border);
    out.String(balloon.fontName);
    out.I32(balloon.fontHeight);
    out.I32(balloon.fontWeight);
    out.U8(balloon.italic ? 1 : 0);
    out.U8(0);
}

Locator WriteCharacterInfo(ByteWriter& out, const CharacterInfo& info) {
    const std::uint64_t start = out.Position();
    out.U16(info.minorVersion);
    out.U16(info.majorVersion);
    const std::uint64_t localizedLocator = out.Position();
    out.U32(0);
    out.U32(0);
    out.GuidBytes(info.id);
    out.U16(info.width);
    out.U16(info.height);
    out.U8(info.transparentIndex);
    out.U32(info.flags);
    out.U16(2);  // animation set version 2.0
    out.U16(0);
    if (info.voice) WriteVoice(out, *info.voice);
    if (info.balloon) WriteBalloon(out, *info.balloon);
    out.U32(static_cast<std::uint32_t>(info.palette.size()));
    for (const Rgb& colour : info.palette) {
        out.U8(colour.blue);
        out.U8(colour.green);
        out.U8(colour.red);
        out.U8(0);
    }
    out.U8(info.trayIcon ? 1 : 0);
    if (info.trayIcon) {
        out.U32(static_cast<std::uint32_t>(info.trayIcon->mask.size()));
        out.Append(info.trayIcon->mask);
        out.U32(static_cast<std::uint32_t>(info.trayIcon->color.size()));
        out.Append(info.trayIcon->color);
    }
    out.U16(static_cast<std::uint16_t>(info.states.size()));
    for (const State& state : info.states) {
        out.String(UpperAscii(state.name));
        out.U16(static_cast<std::uint16_t>(state.animations.size()));
        for (const std::string& name : state.animations) out.String(UpperAscii(name));
    }
    const std::uint64_t localizedStart = out.Position();
    out.U16(static_cast<std::uint16_t>(info.localized.size()));
    for (const LocalizedInfo& entry : info.localized) {
        out.U16(entry.languageId);
        out.String(entry.name);
        out.String(entry.description);
        out.String(entry.extraData);
    }
    const Locator localized = Since(out, localizedStart);
    out.PatchU32(localizedLocator, localized.offset);
    out.PatchU32(localizedLocator + 4, localized.size);
    return Since(out, start);
}

}  // namespace

std::vector<std::uint8_t> WriteAcs(const Character& character) {
    CheckCharacter(character);
    ByteWriter out;
    for (std::size_t i = 0; i < kHeaderSize; ++i) out.U8(0);

    std::vector<Locator> animationRecords;
    for (const Animation& animation : character.animations)
        animationRecords.push_back(WriteAnimationRecord(out, animation));
    std::vector<Locator> imageRecords;
    for (const Image& image : character.images) imageRecords.push_back(WriteImageRecord(out, image));
    std::vector<Locator> soundRecords;
    for (const Sound& sound : character.sounds) {
        const std::uint64_t start = out.Position();
        out.Append(sound);
        soundRecords.push_back(Since(out, start));
    }

    std::uint64_t start = out.Position();
    out.U32(static_cast<std::uint32_t>(character.animations.size()));
    for (std::size_t i = 0; i < character.animations.size(); ++i) {
        out.String(character.animations[i].name);
        out.U32(animationRecords[i].offset);
        out.U32(animationRecords[i].size);
    }
    const Locator animationList = Since(out, start);
    start = out.Position();
    WriteLocatorList(out, imageRecords);
    const Locator imageList = Since(out, start);
    start = out.Position();
    WriteLocatorList(out, soundRecords);
    const Locator soundList = Since(out, start);
    const Locator info = WriteCharacterInfo(out, character.info);

    if (out.Position() > kMaxFileSize) Reject("the file would be larger than 256 MiB");
    out.PatchU32(0, kSignature);
    const Locator header[] = {info, animationList, imageList, soundList};
    for (std::size_t i = 0; i < 4; ++i) {
        out.PatchU32(4 + 8 * i, header[i].offset);
        out.PatchU32(8 + 8 * i, header[i].size);
    }
    return std::move(out.Bytes());
}

void WriteAcsFile(const Character& character, const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = WriteAcs(character);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace zinna::acs

namespace zinna::acs {

namespace {

// Whether the region covers exactly the opaque pixels, however its rectangles split them.
bool RegionCoversOpaquePixels(const Image& image, std::uint8_t transparentIndex) {
    if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) return false;
    std::vector<std::uint8_t> covered(image.pixels.size(), 0);
    for (const RegionRect& r : image.region) {
        if (r.left < 0 || r.top < 0 || r.right > image.width || r.bottom > image.height) return false;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) covered[static_cast<std::size_t>(y) * image.width + x] = 1;
    }
    for (std::size_t p = 0; p < covered.size(); ++p)
        if ((covered[p] != 0) != (image.pixels[p] != transparentIndex)) return false;
    return true;
}

}  // namespace

std::vector<std::string> CompatibilityWarnings(const Character& character) {
    std::vector<std::string> warnings;
    const CharacterInfo& info = character.info;
    for (const char* required : {"SHOWING", "HIDING"})
        if (!FindState(info, required)) warnings.push_back(std::string("no ") + required + " state");
    for (const State& state : info.states)
        for (const std::string& name : state.animations)
            if (!FindAnimation(character, name))
                warnings.push_back("state " + state.name + " names the missing animation " + name);
    for (const Animation& animation : character.animations)
        if (!animation.frames.empty() && animation.frames.back().exitFrame >= 0)
            warnings.push_back("animation \"" + animation.name + "\": the last frame's exit is a frame, not -1 or -2");
    for (std::size_t i = 0; i < character.images.size(); ++i) {
        const Image& image = character.images[i];
        if (image.IsEmptySlot()) continue;
        if (image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
            warnings.push_back("image " + std::to_string(i) + ": pixel count is not width x height");
            continue;
        }
        const std::vector<RegionRect> opaque = OpaqueRegion(image, info.transparentIndex);
        if (image.region.empty() && !opaque.empty())
            warnings.push_back("image " + std::to_string(i) + " has no region (MakeImage computes one)");
        else if (image.region != opaque && !RegionCoversOpaquePixels(image, info.transparentIndex))
            warnings.push_back("image " + std::to_string(i) + ": its region does not match its opaque pixels");
    }
    if (info.palette.size() < 256)
        warnings.push_back("palette of " + std::to_string(info.palette.size()) +
                           " colours; real files nearly always have 256");
    return warnings;
}

}  // namespace zinna::acs
