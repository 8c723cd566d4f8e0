#include "platform/linux/x11/xft_text.h"

#include <stdexcept>

namespace zinna::x11 {

XftText::XftText(Display* display, int screen, int pixelSize) : display_(display), screen_(screen) {
    // fontconfig falls back to the closest sans face when DejaVu Sans is not installed.
    font_ = XftFontOpen(display_, screen_, XFT_FAMILY, XftTypeString, kTextFace, XFT_PIXEL_SIZE, XftTypeDouble,
                        static_cast<double>(pixelSize), nullptr);
    if (font_ == nullptr) throw std::runtime_error("no font for the host's text");
}

XftText::~XftText() { XftFontClose(display_, font_); }

int XftText::Width(const std::string& utf8) const {
    XGlyphInfo extents{};
    XftTextExtentsUtf8(display_, font_, reinterpret_cast<const FcChar8*>(utf8.data()), static_cast<int>(utf8.size()),
                       &extents);
    return extents.xOff;
}

void XftText::Draw(::Drawable drawable, std::uint32_t rgb, int x, int y, const std::string& utf8) const {
    Visual* visual = DefaultVisual(display_, screen_);
    Colormap colormap = DefaultColormap(display_, screen_);
    XftDraw* draw = XftDrawCreate(display_, drawable, visual, colormap);
    if (draw == nullptr) return;
    XRenderColor wanted{static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257),
                        static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257),
                        static_cast<unsigned short>((rgb & 0xFF) * 257), 0xFFFF};
    XftColor colour{};
    if (XftColorAllocValue(display_, visual, colormap, &wanted, &colour)) {
        XftDrawStringUtf8(draw, &colour, font_, x, y, reinterpret_cast<const FcChar8*>(utf8.data()),
                          static_cast<int>(utf8.size()));
        XftColorFree(display_, visual, colormap, &colour);
    }
    XftDrawDestroy(draw);
}

}  // namespace zinna::x11
