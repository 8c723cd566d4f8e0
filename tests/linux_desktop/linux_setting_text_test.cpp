// The texts of desktop settings, and the picture a bare X screen shows, without any service.
#include "platform/linux/desktop/setting_text.h"
#include "platform/linux/desktop/wallpaper_picture.h"

#include <doctest/doctest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace zinna::linuxdesk {

TEST_CASE("colours in the forms desktops keep them") {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> colour;  // 0x00BBGGRR
    };
    for (const Case& c :
         {Case{"#023c88", 0x883C02}, Case{"#FFF", 0xFFFFFF}, Case{"#ffff00000000", 0x0000FF},
          Case{"rgb(1,2,3)", 0x030201}, Case{"10,20,30", 0x1E140A}, Case{"#12345", std::nullopt},
          Case{"rgb(1,2,300)", std::nullopt}, Case{"10,20,30x", std::nullopt}, Case{"blue", std::nullopt}}) {
        CAPTURE(std::string(c.text));
        CHECK(ParseColour(c.text) == c.colour);
    }
    CHECK(FormatColour(0x883C02) == "#023c88");
}

TEST_CASE("pictures become URIs and paths without losing a character") {
    CHECK(PictureAsUri("/home/zöe/ein Bild%.png") == "file:///home/z%C3%B6e/ein%20Bild%25.png");
    CHECK(PictureAsPath("file:///home/z%C3%B6e/ein%20Bild%25.png") == "/home/zöe/ein Bild%.png");
    CHECK(PictureAsUri("file:///kept%20as%20is") == "file:///kept%20as%20is");
    CHECK(PictureAsPath("https://example.org/a.png") == "https://example.org/a.png");
    CHECK(PictureAsUri("") == "");
    const std::string everything = "a \"quoted\" \\ line\nzöe 100% ;$()";
    CHECK(PercentDecode(PercentEncode(everything)) == everything);
    CHECK(PercentEncode(everything)
              .find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~%") ==
          std::string::npos);
}

namespace {

void PutLittle(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A bitmap file as Windows writes it: 24-bit rows (or 8-bit with a palette), bottom-up unless topDown.
std::vector<std::uint8_t> BitmapFile(int width, int height, const std::vector<std::uint32_t>& rgbTopDown, int bits,
                                     bool topDown = false) {
    const std::vector<std::uint32_t> palette = bits == 8 ? rgbTopDown : std::vector<std::uint32_t>{};
    const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
    const std::size_t offset = 54 + palette.size() * 4;
    std::vector<std::uint8_t> bytes(offset + stride * static_cast<std::size_t>(height));
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLittle(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
    PutLittle(bytes, 10, static_cast<std::uint32_t>(offset), 4);
    PutLittle(bytes, 14, 40, 4);
    PutLittle(bytes, 18, static_cast<std::uint32_t>(width), 4);
    PutLittle(bytes, 22, static_cast<std::uint32_t>(topDown ? -height : height), 4);
    PutLittle(bytes, 26, 1, 2);
    PutLittle(bytes, 28, static_cast<std::uint32_t>(bits), 2);
    PutLittle(bytes, 46, static_cast<std::uint32_t>(palette.size()), 4);
    for (std::size_t i = 0; i < palette.size(); ++i) PutLittle(bytes, 54 + i * 4, palette[i], 4);
    for (int y = 0; y < height; ++y) {
        const std::size_t line = offset + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::size_t index = static_cast<std::size_t>(y) * width + x;
            if (bits == 8)
                bytes[line + x] = static_cast<std::uint8_t>(index);  // the palette holds each pixel's colour
            else
                PutLittle(bytes, line + static_cast<std::size_t>(x) * (bits / 8), rgbTopDown[index], 3);
        }
    }
    return bytes;
}

std::vector<std::uint32_t> Screen(const BmpFile* picture, PictureStyle style, std::uint32_t colour, int width,
                                  int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    ComposeWallpaperRows(picture, style, colour, width, height, 0, pixels);
    return pixels;
}

bool Mapped(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        if (line.find(path) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

TEST_CASE("bitmaps are read in each layout, and damaged ones refused") {
    const std::vector<std::uint32_t> pixels{0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xABCDEF, 0x010203};  // 3x2
    struct Case {
        const char* name;
        int bits;
        bool topDown;
    };
    for (const Case& c : {Case{"24-bit, bottom-up", 24, false}, Case{"24-bit, top-down", 24, true},
                          Case{"32-bit", 32, false}, Case{"8-bit with a palette", 8, false}}) {
        CAPTURE(std::string(c.name));
        const auto bytes = BitmapFile(3, 2, pixels, c.bits, c.topDown);
        const auto file = BmpFile::FromBytes(bytes);
        REQUIRE(file);
        CHECK(file->Width() == 3);
        CHECK(file->Height() == 2);
        std::vector<std::uint32_t> read;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) read.push_back(file->Pixel(x, y));
        CHECK(read == pixels);
    }
    const auto good = BitmapFile(3, 2, pixels, 24);
    auto truncated = good;
    truncated.pop_back();
    auto notBitmap = good;
    notBitmap[0] = 'X';
    auto compressed = good;
    PutLittle(compressed, 30, 1, 4);  // run-length encoded
    auto pixelsPastEnd = good;
    PutLittle(pixelsPastEnd, 10, 0xFFFFFFF0u, 4);
    for (const auto& bad : {truncated, notBitmap, compressed, pixelsPastEnd, std::vector<std::uint8_t>(20, 'B')}) {
        CHECK_FALSE(BmpFile::FromBytes(bad));
    }
}

TEST_CASE("a bitmap file is mapped while it is read and given back after") {
    const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/zinna-bitmap-" +
                             std::to_string(::getpid()) + ".bmp";
    const auto bytes = BitmapFile(2, 1, {0xFF0000, 0x00FF00}, 24);
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    {
        auto file = BmpFile::Open(path);
        REQUIRE(file);
        CHECK(file->Pixel(1, 0) == 0x00FF00);
        CHECK(Mapped(path));
        const BmpFile moved = std::move(*file);
        CHECK(moved.Pixel(0, 0) == 0xFF0000);
    }
    CHECK_FALSE(Mapped(path));
    std::remove(path.c_str());
    CHECK_FALSE(BmpFile::Open(path));
    CHECK_FALSE(BmpFile::Open("/proc/self"));  // not a regular file
}

TEST_CASE("the bare screen's picture in each style, on the background colour") {
    const auto bytes = BitmapFile(2, 1, {0xFF0000, 0x00FF00}, 24);  // red, green
    const auto picture = BmpFile::FromBytes(bytes);
    REQUIRE(picture);
    const std::uint32_t blue = 0xFF0000;  // 0x00BBGGRR
    struct Case {
        PictureStyle style;
        std::vector<std::uint32_t> row;  // the middle row of a 6x3 screen, 0x00RRGGBB
    };
    for (const Case& c : {
             Case{PictureStyle::Centre, {0x0000FF, 0x0000FF, 0xFF0000, 0x00FF00, 0x0000FF, 0x0000FF}},
             Case{PictureStyle::Tile, {0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00}},
             Case{PictureStyle::Stretch, {0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00}},
             Case{PictureStyle::Fill, {0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00}},
             Case{PictureStyle::ColourOnly, {0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF}},
         }) {
        CAPTURE(static_cast<int>(c.style));
        const auto screen = Screen(&*picture, c.style, blue, 6, 3);
        CHECK(std::vector<std::uint32_t>(screen.begin() + 6, screen.begin() + 12) == c.row);
    }
    // Fit keeps the picture's shape: 6x3 on a 6x3 screen, so the top row is the picture too; on a
    // 6x6 screen the rows above and below show the colour.
    const auto fitted = Screen(&*picture, PictureStyle::Fit, blue, 6, 6);
    CHECK(fitted[0] == 0x0000FF);
    CHECK(fitted[6 * 3] == 0xFF0000);
    CHECK(Screen(nullptr, PictureStyle::Stretch, blue, 2, 2) == std::vector<std::uint32_t>(4, 0x0000FF));
}

TEST_CASE("the screen composed a band of rows at a time is the screen composed whole") {
    // A 5x3 picture of distinct colours, so that a row or column taken from the wrong place shows.
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t i = 0; i < 15; ++i) pixels.push_back(0x100000 * (i + 1) + i);
    const auto bytes = BitmapFile(5, 3, pixels, 24);
    const auto picture = BmpFile::FromBytes(bytes);
    REQUIRE(picture);
    for (const PictureStyle style :
         {PictureStyle::Centre, PictureStyle::Tile, PictureStyle::Stretch, PictureStyle::Fit, PictureStyle::Fill}) {
        for (const int band : {1, 3, 4}) {
            CAPTURE(static_cast<int>(style));
            CAPTURE(band);
            const int width = 13, height = 11;
            const auto whole = Screen(&*picture, style, 0x000000, width, height);
            std::vector<std::uint32_t> banded;
            for (int top = 0; top < height; top += band) {
                std::vector<std::uint32_t> rows(static_cast<std::size_t>(width) * std::min(band, height - top));
                ComposeWallpaperRows(&*picture, style, 0x000000, width, height, top, rows);
                banded.insert(banded.end(), rows.begin(), rows.end());
            }
            CHECK(banded == whole);
        }
    }
}

}  // namespace zinna::linuxdesk
