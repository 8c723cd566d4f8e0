#include "platform/linux/x11/picture_window.h"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <bit>

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
    XFreeGC(display, gc_);
    if (pixmap_ != None) XFreePixmap(display, pixmap_);
    XDestroyWindow(display, window_);
    if (visual_.argb) XFreeColormap(display, visual_.colormap);
}

void PictureWindow::Upload(const acs::RgbaImage& picture) {
    Display* display = x_.Get();
    const Channel red(visual_.visual->red_mask), green(visual_.visual->green_mask), blue(visual_.visual->blue_mask);
    const std::size_t count = static_cast<std::size_t>(picture.width) * picture.height;
    pixels_.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* from = &picture.rgba[i * 4];
        const std::uint32_t alpha = from[3];
        if (alpha == 0) continue;  // transparent: zero in both kinds of window
        if (Blended()) {
            // The compositor expects colours premultiplied by their alpha.
            const auto premultiply = [alpha](std::uint32_t colour) { return (colour * alpha + 127) / 255; };
            pixels_[i] = alpha << 24 | red.Put(premultiply(from[0])) | green.Put(premultiply(from[1])) |
                         blue.Put(premultiply(from[2]));
        } else {
            // Nothing blends: the shape shows each of her pixels whole, as the screen's visual does.
            pixels_[i] = (visual_.argb ? 0xFFu << 24 : 0) | red.Put(from[0]) | green.Put(from[1]) | blue.Put(from[2]);
        }
    }
    XImage* image = XCreateImage(display, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels_.data()), static_cast<unsigned>(picture.width),
                                 static_cast<unsigned>(picture.height), 32, picture.width * 4);
    if (image == nullptr) return;
    if (image->bits_per_pixel != 32) {
        // A screen of fewer bits a pixel: the server's own conversion, pixel by pixel.
        image->data = nullptr;
        XDestroyImage(image);
        image = XCreateImage(display, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(picture.width), static_cast<unsigned>(picture.height), 32, 0);
        if (image == nullptr) return;
        std::vector<char> converted(static_cast<std::size_t>(image->bytes_per_line) * picture.height);
        image->data = converted.data();
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                XPutPixel(image, x, y, pixels_[static_cast<std::size_t>(y) * picture.width + x]);
        XPutImage(display, pixmap_, gc_, image, 0, 0, 0, 0, picture.width, picture.height);
        image->data = nullptr;
        XDestroyImage(image);
        return;
    }
    XPutImage(display, pixmap_, gc_, image, 0, 0, 0, 0, picture.width, picture.height);
    image->data = nullptr;  // the pixels belong to this window, not to the image
    XDestroyImage(image);
}

void PictureWindow::SetOutline(const acs::RgbaImage& picture) {
    if (!x_.HasShape()) return;
    outline_.clear();
    for (const PixelRun& run : OpaqueRuns(picture))
        outline_.push_back(
            {static_cast<short>(run.x), static_cast<short>(run.y), static_cast<unsigned short>(run.width), 1});
    // The pointer passes through every transparent pixel.
    XShapeCombineRectangles(x_.Get(), window_, ShapeInput, 0, 0, outline_.data(), static_cast<int>(outline_.size()),
                            ShapeSet, YXBanded);
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
    XShapeCombineRectangles(display, window_, ShapeBounding, 0, 0, outline_.data(), static_cast<int>(outline_.size()),
                            ShapeSet, YXBanded);
}

void PictureWindow::SetCompositorRunning(bool running) {
    if (!visual_.argb || running == compositor_) return;  // a window of the screen's visual is shaped already
    compositor_ = running;
    ApplyBounding();
    if (pixmap_ == None) return;
    // Premultiplied for a compositor, whole colours without one.
    Upload(picture_);
    XClearWindow(x_.Get(), window_);
}

void PictureWindow::Show(const acs::RgbaImage& picture, int x, int y) {
    Display* display = x_.Get();
    const bool resized = picture.width != width_ || picture.height != height_;
    if (resized) {
        if (pixmap_ != None) XFreePixmap(display, pixmap_);
        width_ = std::max(1, picture.width);
        height_ = std::max(1, picture.height);
        pixmap_ = XCreatePixmap(display, window_, static_cast<unsigned>(width_), static_cast<unsigned>(height_),
                                static_cast<unsigned>(visual_.depth));
        XMoveResizeWindow(display, window_, x, y, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    } else {
        XMoveWindow(display, window_, x, y);
    }
    picture_ = picture;
    Upload(picture);
    XSetWindowBackgroundPixmap(display, window_, pixmap_);
    XClearWindow(display, window_);
    if (!shown_) {
        XMapRaised(display, window_);
        shown_ = true;
    }
}

void PictureWindow::MoveTo(int x, int y) { XMoveWindow(x_.Get(), window_, x, y); }

void PictureWindow::Hide() {
    if (!shown_) return;
    XUnmapWindow(x_.Get(), window_);
    shown_ = false;
}

}  // namespace zinna::x11
