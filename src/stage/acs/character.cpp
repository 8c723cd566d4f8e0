#include "stage/acs/character.h"

#include <stdexcept>

namespace zinna::acs {

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::vector<RegionRect> OpaqueRegion(const Image& image, std::uint8_t transparentIndex) {
    std::vector<RegionRect> rects;
    for (int y = 0; y < image.height; ++y) {
        int x = 0;
        while (x < image.width) {
            while (x < image.width && image.At(x, y) == transparentIndex) ++x;
            if (x == image.width) break;
            const int start = x;
            while (x < image.width && image.At(x, y) != transparentIndex) ++x;
            rects.push_back({start, y, x, y + 1});
        }
    }
    return rects;
}

Image MakeImage(std::uint16_t width, std::uint16_t height, std::vector<std::uint8_t> pixels,
                std::uint8_t transparentIndex) {
    if (pixels.size() != static_cast<std::size_t>(width) * height)
        throw std::invalid_argument("MakeImage: pixel count is not width × height");
    Image image{width, height, std::move(pixels), {}};
    image.region = OpaqueRegion(image, transparentIndex);
    return image;
}

const Animation* FindAnimation(const Character& character, std::string_view name) {
    for (const Animation& animation : character.animations)
        if (EqualsIgnoringAsciiCase(animation.name, name)) return &animation;
    return nullptr;
}

const State* FindState(const CharacterInfo& info, std::string_view name) {
    for (const State& state : info.states)
        if (EqualsIgnoringAsciiCase(state.name, name)) return &state;
    return nullptr;
}

const LocalizedInfo* FindLocalization(const CharacterInfo& info, std::uint16_t languageId) {
    for (const LocalizedInfo& entry : info.localized)
        if ((entry.languageId & 0x3FF) == (languageId & 0x3FF)) return &entry;
    return info.localized.empty() ? nullptr : &info.localized.front();
}

}  // namespace zinna::acs
