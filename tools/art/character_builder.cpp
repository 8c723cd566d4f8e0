#include "character_builder.h"

#include "palette_quantizer.h"

#include <algorithm>
#include <stdexcept>

namespace zinna::art {

namespace {

struct PlacedImage {
    std::uint32_t index = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
};

// The smallest image holding every opaque pixel of the picture, and where it sits in the frame.
PlacedImage CropToOpaque(const IndexedPicture& picture, std::uint8_t transparent, const std::string& name,
                         std::vector<acs::Image>& images) {
    int left = picture.width, top = picture.height, right = -1, bottom = -1;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.indices[static_cast<std::size_t>(y) * picture.width + x] != transparent) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0) throw std::runtime_error("image " + name + " has no opaque pixel");
    const int width = right - left + 1;
    const int height = bottom - top + 1;
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(width) * height);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            pixels.push_back(picture.indices[static_cast<std::size_t>(y) * picture.width + x]);
    images.push_back(acs::MakeImage(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                    std::move(pixels), transparent));
    return {static_cast<std::uint32_t>(images.size() - 1), static_cast<std::int16_t>(left),
            static_cast<std::int16_t>(top), static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
}

bool IsRiffWave(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 12) return false;
    const std::uint32_t riffLength =
        bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (static_cast<std::uint32_t>(bytes[7]) << 24);
    return std::equal(bytes.begin(), bytes.begin() + 4, "RIFF") &&
           std::equal(bytes.begin() + 8, bytes.begin() + 12, "WAVE") &&
           static_cast<std::uint64_t>(riffLength) + 8 <= bytes.size();
}

acs::Transition TransitionOf(ManifestTransition transition) {
    switch (transition) {
        case ManifestTransition::ReturnAnimation:
            return acs::Transition::ReturnAnimation;
        case ManifestTransition::ExitBranches:
            return acs::Transition::ExitBranches;
        case ManifestTransition::None:
            break;
    }
    return acs::Transition::None;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

acs::Guid ParseGuid(const std::string& text) {
    const std::string error = "guid '" + text + "' is not XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX";
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        throw std::runtime_error(error);
    std::vector<std::uint8_t> bytes;  // in reading order
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-') continue;
        const int high = HexDigit(text[i]);
        const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0) throw std::runtime_error(error);
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        ++i;
    }
    // The first three groups are stored little-endian, the last eight bytes as written.
    acs::Guid guid;
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) guid.bytes[static_cast<std::size_t>(i)] = bytes[static_cast<std::size_t>(order[i])];
    return guid;
}

acs::Character BuildCharacter(const CharacterSources& sources) {
    const AnimationManifest& manifest = sources.manifest;
    const std::vector<std::string> names = ImagesUsed(manifest);
    std::vector<RgbaPicture> pictures;
    for (const std::string& name : names) {
        const auto found = sources.pictures.find(name);
        if (found == sources.pictures.end()) throw std::runtime_error("no picture rendered for image " + name);
        if (found->second.width != manifest.frameWidth || found->second.height != manifest.frameHeight)
            throw std::runtime_error("picture " + name + " is " + std::to_string(found->second.width) + " x " +
                                     std::to_string(found->second.height) + ", not the frame size");
        pictures.push_back(found->second);
    }
    const QuantizedSet quantized = QuantizePictures(pictures);

    acs::Character character;
    std::map<std::string, PlacedImage> placed;
    for (std::size_t i = 0; i < names.size(); ++i)
        placed[names[i]] = CropToOpaque(quantized.pictures[i], quantized.transparentIndex, names[i], character.images);

    std::map<std::string, std::int16_t> soundIndex;
    for (const ManifestSound& sound : manifest.sounds) {
        const auto found = sources.sounds.find(sound.name);
        if (found == sources.sounds.end()) throw std::runtime_error("no data for sound " + sound.name);
        if (!IsRiffWave(found->second)) throw std::runtime_error("sound " + sound.name + " is not a RIFF WAVE file");
        soundIndex[sound.name] = static_cast<std::int16_t>(character.sounds.size());
        character.sounds.push_back(found->second);
    }

    for (const ManifestAnimation& source : manifest.animations) {
        acs::Animation animation;
        animation.name = source.name;
        animation.transition = TransitionOf(source.transition);
        animation.returnAnimation = source.returnAnimation;
        for (const ManifestFrame& sourceFrame : source.frames) {
            acs::Frame frame;
            if (!sourceFrame.image.empty()) {
                const PlacedImage& image = placed.at(sourceFrame.image);
                frame.images.push_back({image.index, image.x, image.y});
            }
            frame.sound = sourceFrame.sound.empty() ? acs::kNoSound : soundIndex.at(sourceFrame.sound);
            frame.duration = static_cast<std::uint16_t>(sourceFrame.duration);
            frame.exitFrame = static_cast<std::int16_t>(sourceFrame.exitFrame);
            for (const ManifestBranch& branch : sourceFrame.branches)
                frame.branches.push_back(
                    {static_cast<std::uint16_t>(branch.targetFrame), static_cast<std::uint16_t>(branch.percent)});
            if (!sourceFrame.mouthPrefix.empty()) {
                // Every overlay of a frame carries the centre of the first mouth image's outline.
                const PlacedImage& first = placed.at(MouthImage(sourceFrame.mouthPrefix, 0));
                for (int shape = 0; shape < kMouthShapes; ++shape) {
                    const PlacedImage& mouth = placed.at(MouthImage(sourceFrame.mouthPrefix, shape));
                    acs::MouthOverlay overlay;
                    overlay.shape = static_cast<std::uint8_t>(shape);
                    overlay.imageIndex = static_cast<std::uint16_t>(mouth.index);
                    overlay.x = mouth.x;
                    overlay.y = mouth.y;
                    overlay.centerX = static_cast<std::uint16_t>(first.width / 2);
                    overlay.centerY = static_cast<std::uint16_t>(first.height / 2);
                    frame.mouths.push_back(overlay);
                }
            }
            animation.frames.push_back(std::move(frame));
        }
        character.animations.push_back(std::move(animation));
    }

    acs::CharacterInfo& info = character.info;
    info.id = ParseGuid(manifest.guid);
    info.width = static_cast<std::uint16_t>(manifest.frameWidth);
    info.height = static_cast<std::uint16_t>(manifest.frameHeight);
    info.transparentIndex = quantized.transparentIndex;
    for (const PaletteColor& color : quantized.palette) info.palette.push_back({color.red, color.green, color.blue});
    for (const ManifestState& state : manifest.states) info.states.push_back({state.name, state.animations});
    info.localized.push_back({0x0409, manifest.name, manifest.description, ""});
    return character;
}

}  // namespace zinna::art
