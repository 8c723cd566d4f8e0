// zinna-sim's movies: an animated GIF written frame by frame, read back with giflib.
#include "gif/gif_movie.h"
#include "scratch_folder.h"

#include <doctest/doctest.h>
#include <gif_lib.h>

#include <memory>

using zinna::gif::GifMovie;
using zinna::gif::PaletteIndex;
using zinna::image::RgbaImage;

namespace {

RgbaImage Filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    RgbaImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) image.rgba.insert(image.rgba.end(), {r, g, b, 255});
    return image;
}

void Paint(RgbaImage& image, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
    p[0] = r, p[1] = g, p[2] = b;
}

struct GifCloser {
    void operator()(GifFileType* file) const { DGifCloseFile(file, nullptr); }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

GifFile ReadGif(const std::string& path) {
    int error = 0;
    GifFile file(DGifOpenFileName(path.c_str(), &error));
    REQUIRE(file);
    REQUIRE(DGifSlurp(file.get()) == GIF_OK);
    return file;
}

int DelayOf(const GifFileType* file, int image) {
    GraphicsControlBlock control{};
    REQUIRE(DGifSavedExtensionToGCB(const_cast<GifFileType*>(file), image, &control) == GIF_OK);
    return control.DelayTime;
}

}  // namespace

TEST_CASE("a movie writes only what changed, and a still screen lengthens the frame before") {
    zinna::testing::ScratchFolder scratch;
    const std::string path = scratch.File("movie.gif");
    RgbaImage teal = Filled(16, 12, 0, 128, 128);
    RgbaImage marked = teal;
    Paint(marked, 3, 4, 255, 0, 0);
    Paint(marked, 5, 6, 255, 255, 255);
    {
        GifMovie movie(path, 16, 12);
        movie.AddFrame(teal, 10);
        movie.AddFrame(teal, 10);  // unchanged: merged into the first
        movie.AddFrame(marked, 10);
        movie.AddFrame(teal, 10);
        movie.AddFrame(teal, 10);
        REQUIRE(movie.Close());
        CHECK(movie.FramesWritten() == 3);
    }
    GifFile gif = ReadGif(path);
    CHECK(gif->SWidth == 16);
    CHECK(gif->SHeight == 12);
    REQUIRE(gif->ImageCount == 3);
    CHECK(DelayOf(gif.get(), 0) == 20);
    CHECK(DelayOf(gif.get(), 1) == 10);
    CHECK(DelayOf(gif.get(), 2) == 20);
    const GifImageDesc& whole = gif->SavedImages[0].ImageDesc;
    CHECK((whole.Left == 0 && whole.Top == 0 && whole.Width == 16 && whole.Height == 12));
    const GifImageDesc& change = gif->SavedImages[1].ImageDesc;  // the two marks and what lies between
    CHECK((change.Left == 3 && change.Top == 4 && change.Width == 3 && change.Height == 3));
    const GifByteType* raster = gif->SavedImages[1].RasterBits;
    CHECK(raster[0] == PaletteIndex(255, 0, 0));
    CHECK(raster[2 * 3 + 2] == PaletteIndex(255, 255, 255));
    CHECK(raster[1] == PaletteIndex(0, 128, 128));
}

TEST_CASE("the palette holds black, white and the pure colours exactly, and near colours go to the nearest") {
    const ColorMapObject* palette = nullptr;
    zinna::testing::ScratchFolder scratch;
    {
        GifMovie movie(scratch.File("palette.gif"), 1, 1);
        movie.AddFrame(Filled(1, 1, 0, 0, 0), 1);
        REQUIRE(movie.Close());
    }
    GifFile gif = ReadGif(scratch.File("palette.gif"));
    palette = gif->SColorMap;
    REQUIRE(palette);
    struct Row {
        std::uint8_t r, g, b;
        GifColorType expected;
    };
    const Row rows[] = {
        {0, 0, 0, {0, 0, 0}},         {255, 255, 255, {255, 255, 255}}, {255, 0, 0, {255, 0, 0}},
        {0, 255, 0, {0, 255, 0}},     {0, 0, 255, {0, 0, 255}},         {10, 250, 5, {0, 255, 0}},
        {0, 128, 128, {0, 127, 153}},  // teal: green in sixths, blue in fifths
    };
    for (const Row& row : rows) {
        CAPTURE(int{row.r});
        CAPTURE(int{row.g});
        CAPTURE(int{row.b});
        const GifColorType& got = palette->Colors[PaletteIndex(row.r, row.g, row.b)];
        CHECK(int{got.Red} == row.expected.Red);
        CHECK(int{got.Green} == row.expected.Green);
        CHECK(int{got.Blue} == row.expected.Blue);
    }
}

TEST_CASE("a movie that cannot be written says so") {
    CHECK_THROWS_AS(GifMovie("/nonexistent-folder/movie.gif", 4, 4), std::runtime_error);
    zinna::testing::ScratchFolder scratch;
    GifMovie movie(scratch.File("m.gif"), 4, 4);
    CHECK_THROWS_AS(movie.AddFrame(Filled(5, 4, 0, 0, 0), 1), std::invalid_argument);
}
