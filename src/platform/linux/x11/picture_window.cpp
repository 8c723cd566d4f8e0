#include "platform/linux/x11/picture_window.h"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>
#include <vector>

namespace zinna::x11 {

namespace {

// Where a channel goes in a pixel of the visual: the mask's lowest bit, and its width.
struct Channel {
    int shift = 0;
    int bits = 8;
    explicit Channel(unsigned long mask)
        : shift(mask ? std::countr_zero(mask) : 0), bits(mask ? std::popcount(mask) : 0) {}
    std::uint32_t Put(std::uint32_t value) const { return bits == 0 ? 0 : (value >> (8 - std::min(bits, 8))) << shift; }
};

}  // namespace

PictureWindow::PictureWindow(XConnection& x, const std::string& title, bool argb, long eventMask)
    : x_(x), visual_(ChooseVisual(x, argb && x.CompositorRunning())), compositor_(visual_.argb) {
    window_ = CreateCompanionWindow(x_, visual_, eventMask);
    MarkAsCompanionWindow(x_, window_, title);
    gc_ = XCreateGC(x_.Get(), window_, 0, nullptr);
}

PictureWindow::~PictureWindow() {
    Display* display = x_.Get();
    for (const auto& [id, kept] : kept_) {
        XFreePixmap(display, kept.pixels);
        if (kept.mask != None) XFreePixmap(display, kept.mask);
    }
    XFreeGC(display, gc_);
    XDestroyWindow(display, window_);
    if (visual_.argb) XFreeColormap(display, visual_.colormap);
}

Pixmap PictureWindow::Upload(const acs::RgbaImage& picture, std::size_t& serverBytes) {
    Display* display = x_.Get();
    const unsigned width = static_cast<unsigned>(std::max(1, picture.width));
    const unsigned height = static_cast<unsigned>(std::max(1, picture.height));
    // The image in the server's own format (its bits a pixel, row padding and byte order), filled
    // here whole and sent in one XPutImage.
    XImage* image = XCreateImage(display, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0, nullptr,
                                 width, height, 32, 0);
    if (image == nullptr) throw std::runtime_error("cannot make an X image of her picture");
    const int bytesPerPixel = image->bits_per_pixel / 8;
    if (image->bits_per_pixel % 8 != 0 || bytesPerPixel < 1 || bytesPerPixel > 4) {
        XDestroyImage(image);
        throw std::runtime_error("the X screen's pixels are not whole bytes");
    }
    const bool mostSignificantFirst = image->byte_order == MSBFirst;
    const Channel red(visual_.visual->red_mask), green(visual_.visual->green_mask), blue(visual_.visual->blue_mask);
    std::vector<char> data(static_cast<std::size_t>(image->bytes_per_line) * height, 0);
    for (int y = 0; y < picture.height; ++y) {
        const std::uint8_t* from = &picture.rgba[static_cast<std::size_t>(y) * picture.width * 4];
        char* row = &data[static_cast<std::size_t>(y) * image->bytes_per_line];
        for (int x = 0; x < picture.width; ++x, from += 4) {
            const std::uint32_t alpha = from[3];
            if (alpha == 0) continue;  // transparent: zero in both kinds of window
            std::uint32_t value;
            if (Blended()) {
                // The compositor expects colours premultiplied by their alpha.
                const auto premultiply = [alpha](std::uint32_t colour) { return (colour * alpha + 127) / 255; };
                value = alpha << 24 | red.Put(premultiply(from[0])) | green.Put(premultiply(from[1])) |
                        blue.Put(premultiply(from[2]));
            } else {
                // Nothing blends: the shape shows each of her pixels whole, as the screen's visual does.
                value = (visual_.argb ? 0xFFu << 24 : 0) | red.Put(from[0]) | green.Put(from[1]) | blue.Put(from[2]);
            }
            char* pixel = row + static_cast<std::ptrdiff_t>(x) * bytesPerPixel;
            for (int b = 0; b < bytesPerPixel; ++b) {
                const int shift = 8 * (mostSignificantFirst ? bytesPerPixel - 1 - b : b);
                pixel[b] = static_cast<char>(value >> shift);
            }
        }
    }
    const Pixmap pixmap = XCreatePixmap(display, window_, width, height, static_cast<unsigned>(visual_.depth));
    image->data = data.data();
    XPutImage(display, pixmap, gc_, image, 0, 0, 0, 0, width, height);
    serverBytes += static_cast<std::size_t>(image->bytes_per_line) * height;
    image->data = nullptr;  // the pixels belong to the vector, not to the image
    XDestroyImage(image);
    return pixmap;
}

void PictureWindow::Keep(stage::PictureId id, const acs::RgbaImage& picture) {
    Kept kept;
    kept.width = std::max(1, picture.width);
    kept.height = std::max(1, picture.height);
    kept.pixels = Upload(picture, kept.serverBytes);
    if (x_.HasShape()) {
        // Her opaque pixels as a bitmap, a bit a pixel, rows of whole bytes, the first pixel in the
        // lowest bit: the form Xlib sends as it is.
        const std::size_t rowBytes = (static_cast<std::size_t>(kept.width) + 7) / 8;
        std::vector<char> bits(rowBytes * static_cast<std::size_t>(kept.height), 0);
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (picture.rgba[(static_cast<std::size_t>(y) * picture.width + x) * 4 + 3] != 0)
                    bits[static_cast<std::size_t>(y) * rowBytes + x / 8] |= static_cast<char>(1 << (x % 8));
        kept.mask = XCreateBitmapFromData(x_.Get(), window_, bits.data(), static_cast<unsigned>(kept.width),
                                          static_cast<unsigned>(kept.height));
        kept.serverBytes += (static_cast<std::size_t>(kept.width) + 31) / 32 * 4 * kept.height;
    }
    Forget(id);
    kept_.emplace(id, kept);
    ++uploads_;
}

void PictureWindow::Forget(stage::PictureId id) {
    const auto found = kept_.find(id);
    if (found == kept_.end()) return;
    Display* display = x_.Get();
    // The window keeps its background and shapes: the server copied them when they were set.
    XFreePixmap(display, found->second.pixels);
    if (found->second.mask != None) {
        if (found->second.mask == outline_) outline_ = None;
        XFreePixmap(display, found->second.mask);
    }
    kept_.erase(found);
}

const PictureWindow::Kept& PictureWindow::Find(stage::PictureId id) const {
    const auto found = kept_.find(id);
    if (found == kept_.end()) throw std::logic_error("picture " + std::to_string(id) + " is not kept");
    return found->second;
}

std::size_t PictureWindow::KeptServerBytes() const {
    std::size_t bytes = 0;
    for (const auto& [id, kept] : kept_) bytes += kept.serverBytes;
    return bytes;
}

void PictureWindow::SetOutline(stage::PictureId id) {
    const Kept& kept = Find(id);
    if (kept.mask == None) return;
    outline_ = kept.mask;
    // The pointer passes through every transparent pixel.
    XShapeCombineMask(x_.Get(), window_, ShapeInput, 0, 0, outline_, ShapeSet);
    ApplyBounding();
}

void PictureWindow::ApplyBounding() {
    if (!x_.HasShape()) return;
    Display* display = x_.Get();
    if (Blended()) {
        // The whole window: the compositor shows her alpha.
        XShapeCombineMask(display, window_, ShapeBounding, 0, 0, None, ShapeSet);
        return;
    }
    if (outline_ != None) XShapeCombineMask(display, window_, ShapeBounding, 0, 0, outline_, ShapeSet);
}

bool PictureWindow::SetCompositorRunning(bool running) {
    if (!visual_.argb || running == compositor_) return false;  // a window of the screen's visual is shaped already
    compositor_ = running;
    ApplyBounding();
    return true;
}

void PictureWindow::Show(stage::PictureId id, int x, int y) {
    const Kept& kept = Find(id);
    Display* display = x_.Get();
    if (kept.width != width_ || kept.height != height_) {
        width_ = kept.width;
        height_ = kept.height;
        XMoveResizeWindow(display, window_, x, y, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    } else if (x != left_ || y != top_ || !shown_) {
        XMoveWindow(display, window_, x, y);
    }
    left_ = x;
    top_ = y;
    XSetWindowBackgroundPixmap(display, window_, kept.pixels);
    XClearWindow(display, window_);
    if (!shown_) {
        XMapRaised(display, window_);
        shown_ = true;
    }
}

void PictureWindow::MoveTo(int x, int y) {
    left_ = x;
    top_ = y;
    XMoveWindow(x_.Get(), window_, x, y);
}

void PictureWindow::Hide() {
    if (!shown_) return;
    XUnmapWindow(x_.Get(), window_);
    shown_ = false;
}

}  // namespace zinna::x11
