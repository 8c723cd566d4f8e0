#include "gif/gif_movie.h"

#include <gif_lib.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace zinna::gif {

namespace {

constexpr int kRedLevels = 6, kGreenLevels = 7, kBlueLevels = 6;

int Level(std::uint8_t value, int levels) { return (value * (levels - 1) + 127) / 255; }

ColorMapObject* MakePalette() {
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    if (map == nullptr) throw std::runtime_error("out of memory for the GIF palette");
    for (int i = 0; i < 256; ++i) map->Colors[i] = GifColorType{0, 0, 0};
    for (int r = 0; r < kRedLevels; ++r)
        for (int g = 0; g < kGreenLevels; ++g)
            for (int b = 0; b < kBlueLevels; ++b)
                map->Colors[(r * kGreenLevels + g) * kBlueLevels + b] =
                    GifColorType{static_cast<GifByteType>(r * 255 / (kRedLevels - 1)),
                                 static_cast<GifByteType>(g * 255 / (kGreenLevels - 1)),
                                 static_cast<GifByteType>(b * 255 / (kBlueLevels - 1))};
    return map;
}

}  // namespace

std::uint8_t PaletteIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>(
        (Level(red, kRedLevels) * kGreenLevels + Level(green, kGreenLevels)) * kBlueLevels + Level(blue, kBlueLevels));
}

GifMovie::GifMovie(const std::filesystem::path& path, int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) throw std::runtime_error("not a GIF size");
    int error = 0;
    file_ = EGifOpenFileName(path.c_str(), false, &error);
    if (file_ == nullptr) throw std::runtime_error("cannot write " + path.string() + ": " + GifErrorString(error));
    EGifSetGifVersion(file_, true);
    ColorMapObject* palette = MakePalette();
    failed_ = EGifPutScreenDesc(file_, width, height, 8, 0, palette) == GIF_ERROR;
    GifFreeMapObject(palette);
    // Plays in a loop: the application extension browsers read.
    const GifByteType loop[] = {1, 0, 0};
    failed_ = failed_ || EGifPutExtensionLeader(file_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
              EGifPutExtensionBlock(file_, 11, "NETSCAPE2.0") == GIF_ERROR ||
              EGifPutExtensionBlock(file_, sizeof loop, loop) == GIF_ERROR ||
              EGifPutExtensionTrailer(file_) == GIF_ERROR;
}

GifMovie::~GifMovie() {
    if (file_ != nullptr) Close();
}

void GifMovie::AddFrame(const image::RgbaImage& frame, int delayCentiseconds) {
    if (frame.width != width_ || frame.height != height_) throw std::invalid_argument("a movie frame of another size");
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width_) * height_);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = PaletteIndex(frame.rgba[i * 4], frame.rgba[i * 4 + 1], frame.rgba[i * 4 + 2]);
    // The rectangle that changed; the whole frame for the first.
    int left = width_, top = height_, right = -1, bottom = -1;
    if (shown_.empty()) {
        left = top = 0;
        right = width_ - 1;
        bottom = height_ - 1;
    } else {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width_ + x;
                if (indices[i] == shown_[i]) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (right < 0) {  // nothing changed: the frame before stays longer
        if (pending_) pending_->delay += delayCentiseconds;
        return;
    }
    WritePending();
    shown_ = std::move(indices);
    pending_ = Pending{left, top, right - left + 1, bottom - top + 1, delayCentiseconds};
}

void GifMovie::WritePending() {
    if (!pending_ || failed_) return;
    const Pending& p = *pending_;
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;  // the next rectangle is drawn over this frame
    control.UserInputFlag = false;
    control.DelayTime = std::min(p.delay, 65535);
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    failed_ = EGifPutExtension(file_, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_ERROR ||
              EGifPutImageDesc(file_, p.left, p.top, p.width, p.height, false, nullptr) == GIF_ERROR;
    for (int y = p.top; y < p.top + p.height && !failed_; ++y)
        failed_ = EGifPutLine(file_, &shown_[static_cast<std::size_t>(y) * width_ + p.left], p.width) == GIF_ERROR;
    if (!failed_) ++framesWritten_;
    pending_.reset();
}

bool GifMovie::Close() {
    if (file_ == nullptr) return !failed_;
    WritePending();
    int error = 0;
    if (EGifCloseFile(file_, &error) == GIF_ERROR) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

}  // namespace zinna::gif
