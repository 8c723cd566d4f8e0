// Reducing rendered frames to one palette with a transparent index: alpha is cut at one level,
// few colours survive exactly, many colours fit in 255 slots without touching the transparent one.
#include "palette_quantizer.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

using namespace zinna::art;

namespace {

RgbaPicture Picture(int width, int height) {
    return {width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4, 0)};
}

void Put(RgbaPicture& picture, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    std::uint8_t* p = &picture.pixels[(static_cast<std::size_t>(y) * picture.width + x) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

}  // namespace

TEST_CASE("alpha below the cut is transparent, at or above it opaque") {
    RgbaPicture picture = Picture(3, 1);
    Put(picture, 0, 0, 10, 20, 30, kOpaqueAlpha - 1);
    Put(picture, 1, 0, 10, 20, 30, kOpaqueAlpha);
    Put(picture, 2, 0, 10, 20, 30, 255);
    const QuantizedSet set = QuantizePictures({picture}, 0);
    const std::vector<std::uint8_t>& indices = set.pictures[0].indices;
    CHECK(indices[0] == 0);
    CHECK(indices[1] != 0);
    CHECK(indices[1] == indices[2]);
    CHECK(set.palette[indices[1]] == PaletteColor{10, 20, 30});
}

TEST_CASE("a few colours across several pictures are kept exactly and share one palette") {
    RgbaPicture first = Picture(2, 1), second = Picture(2, 1);
    Put(first, 0, 0, 255, 0, 0, 255);
    Put(first, 1, 0, 29, 18, 48, 255);
    Put(second, 0, 0, 29, 18, 48, 255);
    Put(second, 1, 0, 0, 200, 100, 255);
    const QuantizedSet set = QuantizePictures({first, second}, 7);
    CHECK(set.palette.size() == 256);
    CHECK(set.transparentIndex == 7);
    CHECK(set.pictures[0].indices[1] == set.pictures[1].indices[0]);
    CHECK(set.palette[set.pictures[0].indices[0]] == PaletteColor{255, 0, 0});
    CHECK(set.palette[set.pictures[1].indices[1]] == PaletteColor{0, 200, 100});
    for (const IndexedPicture& picture : set.pictures)
        for (std::uint8_t index : picture.indices) CHECK(index != 7);
}

TEST_CASE("thousands of colours fit in 255 opaque slots, close to the originals") {
    RgbaPicture picture = Picture(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            Put(picture, x, y, static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4),
                static_cast<std::uint8_t>((x + y) * 2), 255);
    const QuantizedSet set = QuantizePictures({picture}, 0);
    std::set<std::uint8_t> used;
    int worst = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t index = set.pictures[0].indices[static_cast<std::size_t>(y) * 64 + x];
            used.insert(index);
            const PaletteColor& c = set.palette[index];
            worst =
                std::max({worst, std::abs(c.red - x * 4), std::abs(c.green - y * 4), std::abs(c.blue - (x + y) * 2)});
        }
    CHECK_FALSE(used.contains(0));
    CHECK(used.size() > 200);
    CHECK(used.size() <= 255);
    CHECK(worst <= 24);
}

TEST_CASE("the transparent slot's colour differs from every colour of the art") {
    RgbaPicture picture = Picture(1, 1);
    Put(picture, 0, 0, 255, 0, 255, 255);  // the default key colour, used by the art
    const QuantizedSet set = QuantizePictures({picture}, 0, {255, 0, 255});
    CHECK(set.palette[0] != PaletteColor{255, 0, 255});
    CHECK(set.palette[set.pictures[0].indices[0]] == PaletteColor{255, 0, 255});
}

TEST_CASE("pictures with nothing opaque give all-transparent indices") {
    const QuantizedSet set = QuantizePictures({Picture(4, 2)}, 3);
    CHECK(set.pictures[0].indices == std::vector<std::uint8_t>(8, 3));
}
