// The 24-bit bitmap the wallpaper is written as: headers, blue-green-red order, bottom-up rows and
// row padding to 4 bytes.
#include "bmp_writer.h"

#include <doctest/doctest.h>

using namespace zinna::art;

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

}  // namespace

TEST_CASE("a 3 x 2 picture becomes a bottom-up, padded 24-bit bitmap") {
    // Top row: red, green, blue. Bottom row: white, black, grey.
    RgbaPicture picture{
        3, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 0, 255, 128, 128, 128, 255}};
    const std::vector<std::uint8_t> bmp = EncodeBmp24(picture);
    const std::size_t stride = 12;  // 9 bytes of pixels padded to 12
    REQUIRE(bmp.size() == 54 + 2 * stride);
    CHECK(bmp[0] == 'B');
    CHECK(bmp[1] == 'M');
    CHECK(U32(bmp, 2) == bmp.size());
    CHECK(U32(bmp, 10) == 54);
    CHECK(U32(bmp, 14) == 40);
    CHECK(U32(bmp, 18) == 3);
    CHECK(U32(bmp, 22) == 2);
    CHECK(U16(bmp, 26) == 1);
    CHECK(U16(bmp, 28) == 24);
    CHECK(U32(bmp, 30) == 0);
    CHECK(U32(bmp, 34) == 2 * stride);
    const std::vector<std::uint8_t> bottom(bmp.begin() + 54, bmp.begin() + 54 + stride);
    const std::vector<std::uint8_t> top(bmp.begin() + 54 + stride, bmp.end());
    CHECK(bottom == std::vector<std::uint8_t>{255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0});
    CHECK(top == std::vector<std::uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0});
}

TEST_CASE("a picture whose pixels do not match its size is refused") {
    CHECK_THROWS_AS(EncodeBmp24(RgbaPicture{2, 2, std::vector<std::uint8_t>(12)}), std::invalid_argument);
    CHECK_THROWS_AS(EncodeBmp24(RgbaPicture{0, 0, {}}), std::invalid_argument);
}
