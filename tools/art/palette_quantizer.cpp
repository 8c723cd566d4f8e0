#include "palette_quantizer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <unordered_map>

namespace zinna::art {

namespace {

struct ColorCount {
    std::array<std::uint8_t, 3> rgb{};
    std::uint64_t count = 0;
};

std::uint32_t Pack(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
}

// A box of the median cut: a range of the colour list.
struct Box {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The channel with the widest spread in the box, and that spread.
std::pair<int, int> WidestChannel(const std::vector<ColorCount>& colors, const Box& box) {
    int bestChannel = 0;
    int bestSpread = -1;
    for (int channel = 0; channel < 3; ++channel) {
        int low = 255, high = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) {
            low = std::min<int>(low, colors[i].rgb[channel]);
            high = std::max<int>(high, colors[i].rgb[channel]);
        }
        if (high - low > bestSpread) {
            bestSpread = high - low;
            bestChannel = channel;
        }
    }
    return {bestChannel, bestSpread};
}

PaletteColor Average(const std::vector<ColorCount>& colors, const Box& box) {
    std::uint64_t sum[3] = {0, 0, 0};
    std::uint64_t total = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int c = 0; c < 3; ++c) sum[c] += colors[i].rgb[c] * colors[i].count;
        total += colors[i].count;
    }
    auto mean = [total](std::uint64_t s) { return static_cast<std::uint8_t>((s + total / 2) / total); };
    return {mean(sum[0]), mean(sum[1]), mean(sum[2])};
}

// Splits boxes until there are maxColors of them or none can be split. Each step splits the box
// whose widest channel spread, weighted by the square root of its pixel share, is largest, so big
// flat areas and rare outliers both get colours.
std::vector<PaletteColor> MedianCut(std::vector<ColorCount>& colors, std::size_t maxColors) {
    std::vector<Box> boxes{{0, colors.size()}};
    while (boxes.size() < maxColors) {
        std::size_t chosen = boxes.size();
        double bestScore = 0;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            std::uint64_t pixels = 0;
            for (std::size_t i = boxes[b].begin; i < boxes[b].end; ++i) pixels += colors[i].count;
            const double score = WidestChannel(colors, boxes[b]).second * std::sqrt(static_cast<double>(pixels));
            if (score > bestScore) {
                bestScore = score;
                chosen = b;
            }
        }
        if (chosen == boxes.size()) break;
        Box box = boxes[chosen];
        const int channel = WidestChannel(colors, box).first;
        std::sort(colors.begin() + static_cast<std::ptrdiff_t>(box.begin),
                  colors.begin() + static_cast<std::ptrdiff_t>(box.end),
                  [channel](const ColorCount& a, const ColorCount& b) { return a.rgb[channel] < b.rgb[channel]; });
        std::uint64_t total = 0;
        for (std::size_t i = box.begin; i < box.end; ++i) total += colors[i].count;
        // Split at the weighted median, keeping at least one colour on each side.
        std::uint64_t running = 0;
        std::size_t split = box.begin + 1;
        for (std::size_t i = box.begin; i < box.end - 1; ++i) {
            running += colors[i].count;
            split = i + 1;
            if (running * 2 >= total) break;
        }
        boxes[chosen] = {box.begin, split};
        boxes.push_back({split, box.end});
    }
    std::vector<PaletteColor> palette;
    for (const Box& box : boxes) palette.push_back(Average(colors, box));
    return palette;
}

int DistanceSquared(const PaletteColor& a, std::uint32_t packed) {
    const int dr = a.red - static_cast<int>((packed >> 16) & 0xFF);
    const int dg = a.green - static_cast<int>((packed >> 8) & 0xFF);
    const int db = a.blue - static_cast<int>(packed & 0xFF);
    // Green counts most and blue least for the eye.
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

}  // namespace

QuantizedSet QuantizePictures(const std::vector<RgbaPicture>& pictures, std::uint8_t transparentIndex,
                              PaletteColor keyColor) {
    std::unordered_map<std::uint32_t, std::uint64_t> histogram;
    for (const RgbaPicture& picture : pictures) {
        if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height * 4)
            throw std::invalid_argument("QuantizePictures: pixel buffer does not match the picture size");
        for (std::size_t i = 0; i < picture.pixels.size(); i += 4)
            if (picture.pixels[i + 3] >= kOpaqueAlpha) ++histogram[Pack(&picture.pixels[i])];
    }
    std::vector<ColorCount> colors;
    colors.reserve(histogram.size());
    for (const auto& [packed, count] : histogram)
        colors.push_back({{static_cast<std::uint8_t>(packed >> 16), static_cast<std::uint8_t>(packed >> 8),
                           static_cast<std::uint8_t>(packed)},
                          count});
    // A fixed order makes the palette the same on every run.
    std::sort(colors.begin(), colors.end(), [](const ColorCount& a, const ColorCount& b) { return a.rgb < b.rgb; });
    const std::vector<PaletteColor> opaque = colors.empty() ? std::vector<PaletteColor>{} : MedianCut(colors, 255);

    QuantizedSet result;
    result.transparentIndex = transparentIndex;
    result.palette.assign(256, PaletteColor{});
    std::vector<std::uint8_t> slotOfOpaque;
    std::size_t next = 0;
    for (const PaletteColor& color : opaque) {
        if (next == transparentIndex) ++next;
        result.palette[next] = color;
        slotOfOpaque.push_back(static_cast<std::uint8_t>(next));
        ++next;
    }
    // The key colour must differ from every colour the art uses.
    while (std::find(opaque.begin(), opaque.end(), keyColor) != opaque.end())
        keyColor.green = static_cast<std::uint8_t>(keyColor.green + 1);
    result.palette[transparentIndex] = keyColor;

    std::unordered_map<std::uint32_t, std::uint8_t> indexOf;
    for (const auto& [packed, count] : histogram) {
        std::size_t best = 0;
        int bestDistance = DistanceSquared(opaque[0], packed);
        for (std::size_t i = 1; i < opaque.size(); ++i) {
            const int distance = DistanceSquared(opaque[i], packed);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        indexOf[packed] = slotOfOpaque[best];
    }
    for (const RgbaPicture& picture : pictures) {
        IndexedPicture indexed{picture.width, picture.height, {}};
        indexed.indices.reserve(static_cast<std::size_t>(picture.width) * picture.height);
        for (std::size_t i = 0; i < picture.pixels.size(); i += 4)
            indexed.indices.push_back(picture.pixels[i + 3] >= kOpaqueAlpha ? indexOf.at(Pack(&picture.pixels[i]))
                                                                            : transparentIndex);
        result.pictures.push_back(std::move(indexed));
    }
    return result;
}

}  // namespace zinna::art
