// zinna-sim's movies: an animated GIF written frame by frame, read back with giflib and drawn
// frame over frame as a viewer does.
#include "gif/gif_movie.h"
#include "scratch_folder.h"

#include <doctest/doctest.h>
#include <gif_lib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using zinna::gif::GifMovie;
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

// The screen after the file's frames 0..last are drawn, each over the one before.
RgbaImage Shown(const GifFileType* gif, int last) {
    RgbaImage screen = Filled(gif->SWidth, gif->SHeight, 0, 0, 0);
    for (int i = 0; i <= last; ++i) {
        const SavedImage& frame = gif->SavedImages[i];
        const ColorMapObject* palette = frame.ImageDesc.ColorMap != nullptr ? frame.ImageDesc.ColorMap : gif->SColorMap;
        REQUIRE(palette != nullptr);
        for (int y = 0; y < frame.ImageDesc.Height; ++y)
            for (int x = 0; x < frame.ImageDesc.Width; ++x) {
                const int index = frame.RasterBits[y * frame.ImageDesc.Width + x];
                REQUIRE(index < palette->ColorCount);
                const GifColorType& c = palette->Colors[index];
                Paint(screen, frame.ImageDesc.Left + x, frame.ImageDesc.Top + y, c.Red, c.Green, c.Blue);
            }
    }
    return screen;
}

// Peak signal-to-noise ratio over red, green and blue, in decibels (infinite for equal pictures).
double Psnr(const RgbaImage& a, const RgbaImage& b) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.rgba.size(); ++i) {
        if (i % 4 == 3) continue;
        const double d = double(a.rgba[i]) - double(b.rgba[i]);
        sum += d * d;
        ++count;
    }
    return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / (sum / count));
}

std::string WriteMovie(zinna::testing::ScratchFolder& scratch, const std::vector<RgbaImage>& frames) {
    const std::string path = scratch.File("movie.gif");
    GifMovie movie(path, frames.front().width, frames.front().height);
    for (const RgbaImage& frame : frames) movie.AddFrame(frame, 10);
    REQUIRE(movie.Close());
    return path;
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
    // A picture of few colours comes back exactly, frame after frame.
    CHECK(Psnr(Shown(gif.get(), 0), teal) == INFINITY);
    CHECK(Psnr(Shown(gif.get(), 1), marked) == INFINITY);
    CHECK(Psnr(Shown(gif.get(), 2), teal) == INFINITY);
}

TEST_CASE("gradients of far more than 256 colours keep their look") {
    // A warm glow fading to black (like the wallpaper's lanterns), and a plane of every red and green.
    const int size = 96;
    RgbaImage glow = Filled(size, size, 0, 0, 0), plane = glow;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double d = std::hypot(x - size / 2.0, y - size / 2.0) / (size / 2.0);
            const double light = std::max(0.0, 1.0 - d);
            Paint(glow, x, y, static_cast<std::uint8_t>(255 * light), static_cast<std::uint8_t>(150 * light * light),
                  static_cast<std::uint8_t>(40 * light * light * light));
            Paint(plane, x, y, static_cast<std::uint8_t>(x * 255 / (size - 1)),
                  static_cast<std::uint8_t>(y * 255 / (size - 1)), 90);
        }
    struct Row {
        std::string name;
        const RgbaImage& picture;
    };
    for (const Row& row : {Row{"glow", glow}, Row{"plane", plane}}) {
        CAPTURE(row.name);
        zinna::testing::ScratchFolder scratch;
        GifFile gif = ReadGif(WriteMovie(scratch, {row.picture}));
        // A fixed cube of 6 x 7 x 6 colours shows bands here (28.3 and 25.8 dB); a palette chosen for
        // the picture, dithered, keeps it much closer.
        const double psnr = Psnr(Shown(gif.get(), 0), row.picture);
        CAPTURE(psnr);
        CHECK(psnr > 33);
    }
}

TEST_CASE("a changed rectangle brings its own colours, and the rest of the screen keeps its own") {
    RgbaImage first = Filled(32, 8, 0, 0, 128);
    RgbaImage second = first;
    for (int x = 20; x < 28; ++x)  // a strip of colours that were not in the first frame
        for (int y = 2; y < 6; ++y)
            Paint(second, x, y, static_cast<std::uint8_t>(x * 9), 200, static_cast<std::uint8_t>(y * 40));
    zinna::testing::ScratchFolder scratch;
    GifFile gif = ReadGif(WriteMovie(scratch, {first, second}));
    REQUIRE(gif->ImageCount == 2);
    CHECK(gif->SavedImages[1].ImageDesc.ColorMap != nullptr);
    CHECK(Psnr(Shown(gif.get(), 1), second) == INFINITY);
}

TEST_CASE("the movie file is made as the user's umask says") {
    struct Row {
        mode_t umask;
        mode_t mode;
    };
    for (const Row& row : {Row{022, 0644}, Row{002, 0664}, Row{077, 0600}}) {
        CAPTURE(row.umask);
        zinna::testing::ScratchFolder scratch;
        const mode_t before = umask(row.umask);
        {
            GifMovie movie(scratch.File("m.gif"), 2, 2);
            movie.AddFrame(Filled(2, 2, 1, 2, 3), 1);
            CHECK(movie.Close());
        }
        umask(before);
        struct stat status {};
        REQUIRE(stat(scratch.File("m.gif").c_str(), &status) == 0);
        CHECK((status.st_mode & 0777) == row.mode);
    }
}

TEST_CASE("a movie that cannot be written says so") {
    CHECK_THROWS_AS(GifMovie("/nonexistent-folder/movie.gif", 4, 4), std::runtime_error);
    zinna::testing::ScratchFolder scratch;
    GifMovie movie(scratch.File("m.gif"), 4, 4);
    CHECK_THROWS_AS(movie.AddFrame(Filled(5, 4, 0, 0, 0), 1), std::invalid_argument);
}
