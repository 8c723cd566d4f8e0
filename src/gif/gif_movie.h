// Writes an animated GIF frame by frame, keeping only the frame before: a movie of any length uses
// the same memory. Only the rectangle that changed since the frame before is written, and a frame
// that did not change lengthens the one before, so a still screen costs nothing. Each rectangle has
// its own palette of up to 256 colours, chosen for it by libimagequant and dithered, so gradients
// (a glow, a shadow) keep their look. The file is created as any file the user makes (umask).
#pragma once

#include "image/rgba_image.h"

#include <filesystem>
#include <optional>

struct GifFileType;

namespace zinna::gif {

class GifMovie {
public:
    // Opens the file; throws std::runtime_error when it cannot.
    GifMovie(const std::filesystem::path& path, int width, int height);
    ~GifMovie();
    GifMovie(const GifMovie&) = delete;
    GifMovie& operator=(const GifMovie&) = delete;

    // A frame of the movie's size, shown for `delayCentiseconds`.
    void AddFrame(const image::RgbaImage& frame, int delayCentiseconds);
    // Writes the last frame and closes the file; false when writing failed at any point.
    bool Close();
    // Frames in the file (unchanged frames merged into the one before).
    int FramesWritten() const { return framesWritten_; }

private:
    struct Pending {
        int left = 0, top = 0, width = 0, height = 0;
        int delay = 0;
    };
    void WritePending();

    GifFileType* file_ = nullptr;
    int width_, height_;
    image::RgbaImage shown_;          // the last frame added
    std::optional<Pending> pending_;  // its rectangle that changed, written when its delay is known
    int framesWritten_ = 0;
    bool failed_ = false;
};

}  // namespace zinna::gif
