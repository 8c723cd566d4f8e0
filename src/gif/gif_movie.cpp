#include "gif/gif_movie.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <libimagequant.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zinna::gif {

namespace {

struct LiqDeleter {
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
    void operator()(liq_image* image) const { liq_image_destroy(image); }
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};
template <typename T>
using LiqPtr = std::unique_ptr<T, LiqDeleter>;

struct ColorMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// A rectangle of the frame in at most 256 colours: the palette (a power of two long, as GIF wants)
// and one index a pixel, row by row.
struct Quantised {
    std::unique_ptr<ColorMapObject, ColorMapDeleter> palette;
    std::vector<GifByteType> indices;
};

Quantised Quantise(const image::RgbaImage& frame, int left, int top, int width, int height) {
    const LiqPtr<liq_attr> attr(liq_attr_create());
    if (!attr) throw std::runtime_error("out of memory for the GIF palette");
    std::vector<void*> rows(height);
    for (int y = 0; y < height; ++y)
        rows[y] = const_cast<std::uint8_t*>(&frame.rgba[(static_cast<std::size_t>(top + y) * frame.width + left) * 4]);
    const LiqPtr<liq_image> image(liq_image_create_rgba_rows(attr.get(), rows.data(), width, height, 0));
    liq_result* made = nullptr;
    if (!image || liq_image_quantize(image.get(), attr.get(), &made) != LIQ_OK)
        throw std::runtime_error("cannot choose the colours of a GIF frame");
    const LiqPtr<liq_result> result(made);
    liq_set_dithering_level(result.get(), 1.0f);

    Quantised out;
    out.indices.resize(static_cast<std::size_t>(width) * height);
    std::vector<unsigned char*> outRows(height);
    for (int y = 0; y < height; ++y) outRows[y] = &out.indices[static_cast<std::size_t>(y) * width];
    if (liq_write_remapped_image_rows(result.get(), image.get(), outRows.data()) != LIQ_OK)
        throw std::runtime_error("cannot map a GIF frame to its colours");
    const liq_palette* colours = liq_get_palette(result.get());
    int size = 2;
    while (size < static_cast<int>(colours->count)) size *= 2;
    out.palette.reset(GifMakeMapObject(size, nullptr));
    if (!out.palette) throw std::runtime_error("out of memory for the GIF palette");
    for (int i = 0; i < size; ++i) {
        const liq_color c = i < static_cast<int>(colours->count) ? colours->entries[i] : liq_color{0, 0, 0, 255};
        out.palette->Colors[i] = GifColorType{c.r, c.g, c.b};
    }
    return out;
}

bool SamePixel(const image::RgbaImage& a, const image::RgbaImage& b, std::size_t i) {
    return std::memcmp(&a.rgba[i * 4], &b.rgba[i * 4], 3) == 0;
}

}  // namespace

GifMovie::GifMovie(const std::filesystem::path& path, int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) throw std::runtime_error("not a GIF size");
    // giflib's own open makes the file readable by its owner alone; this one follows the umask.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(errno));
    int error = 0;
    file_ = EGifOpenFileHandle(fd, &error);  // owns fd from here on, when it succeeds
    if (file_ == nullptr) {
        close(fd);
        throw std::runtime_error("cannot write " + path.string() + ": " + GifErrorString(error));
    }
    EGifSetGifVersion(file_, true);
    // No global palette: every frame brings its own.
    failed_ = EGifPutScreenDesc(file_, width, height, 8, 0, nullptr) == GIF_ERROR;
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
    if (frame.width != width_ || frame.height != height_ ||
        frame.rgba.size() != static_cast<std::size_t>(width_) * height_ * 4)
        throw std::invalid_argument("a movie frame of another size");
    // The rectangle that changed; the whole frame for the first.
    int left = width_, top = height_, right = -1, bottom = -1;
    if (shown_.rgba.empty()) {
        left = top = 0;
        right = width_ - 1;
        bottom = height_ - 1;
    } else {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                if (SamePixel(frame, shown_, static_cast<std::size_t>(y) * width_ + x)) continue;
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
    shown_ = frame;
    pending_ = Pending{left, top, right - left + 1, bottom - top + 1, delayCentiseconds};
}

void GifMovie::WritePending() {
    if (!pending_ || failed_) return;
    const Pending p = *pending_;
    pending_.reset();
    Quantised rectangle;
    try {
        rectangle = Quantise(shown_, p.left, p.top, p.width, p.height);
    } catch (const std::runtime_error&) {
        failed_ = true;  // reported by Close()
        return;
    }
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;  // the next rectangle is drawn over this frame
    control.UserInputFlag = false;
    control.DelayTime = std::min(p.delay, 65535);
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    failed_ = EGifPutExtension(file_, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_ERROR ||
              EGifPutImageDesc(file_, p.left, p.top, p.width, p.height, false, rectangle.palette.get()) == GIF_ERROR;
    for (int y = 0; y < p.height && !failed_; ++y)
        failed_ =
            EGifPutLine(file_, const_cast<GifByteType*>(&rectangle.indices[static_cast<std::size_t>(y) * p.width]),
                        p.width) == GIF_ERROR;
    if (!failed_) ++framesWritten_;
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
