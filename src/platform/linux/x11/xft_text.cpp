#include "platform/linux/x11/xft_text.h"

#include "platform/linux/loaded_library.h"

#include <cstdio>
#include <stdexcept>

namespace zinna::x11 {

// clang-format off
#define ZINNA_XFT_FUNCTIONS(X) \
    X(XftFontOpen)         \
    X(XftFontClose)        \
    X(XftTextExtentsUtf8)  \
    X(XftDrawCreate)       \
    X(XftDrawDestroy)      \
    X(XftColorAllocValue)  \
    X(XftColorFree)        \
    X(XftDrawStringUtf8)
// clang-format on

struct XftLibrary {
    ZINNA_XFT_FUNCTIONS(ZINNA_LIBRARY_MEMBER)

    // The process's one table, loaded by the first caller; nullptr (reported once) without the library.
    static const XftLibrary* Get() {
        static const XftLibrary* const loaded = []() -> const XftLibrary* {
            static XftLibrary table;
            std::string problem;
            if (table.Load(&problem)) return &table;
            std::fprintf(stderr, "zinna: no %s (%s); her balloon and menus show no words\n", kXftLibrary,
                         problem.c_str());
            return nullptr;
        }();
        return loaded;
    }

private:
    bool Load(std::string* problem) {
        auto opened = linuxlib::LoadedLibrary::Open(kXftLibrary, problem);
        if (!opened) return false;
        const linuxlib::LoadedLibrary& library = *opened;
        ZINNA_XFT_FUNCTIONS(ZINNA_LIBRARY_FIND)
        library_.emplace(std::move(*opened));
        return true;
    }

    std::optional<linuxlib::LoadedLibrary> library_;
};

XftText::XftText(Display* display, int screen, int pixelSize)
    : display_(display), screen_(screen), pixelSize_(pixelSize), xft_(XftLibrary::Get()) {
    if (xft_ == nullptr) return;
    // fontconfig falls back to the closest sans face when DejaVu Sans is not installed.
    font_ = xft_->XftFontOpen(display_, screen_, XFT_FAMILY, XftTypeString, kTextFace, XFT_PIXEL_SIZE, XftTypeDouble,
                              static_cast<double>(pixelSize), nullptr);
    if (font_ == nullptr) throw std::runtime_error("no font for the host's text");
}

XftText::~XftText() {
    if (font_ != nullptr) xft_->XftFontClose(display_, font_);
}

// Without a font a line keeps the height a sans face of the size has.
int XftText::Ascent() const { return font_ ? font_->ascent : pixelSize_ * 4 / 5; }
int XftText::LineHeight() const { return font_ ? font_->ascent + font_->descent : pixelSize_; }

int XftText::Width(const std::string& utf8) const {
    if (font_ == nullptr) return 0;
    XGlyphInfo extents{};
    xft_->XftTextExtentsUtf8(display_, font_, reinterpret_cast<const FcChar8*>(utf8.data()),
                             static_cast<int>(utf8.size()), &extents);
    return extents.xOff;
}

void XftText::Draw(::Drawable drawable, std::uint32_t rgb, int x, int y, const std::string& utf8) const {
    if (font_ == nullptr) return;
    Visual* visual = DefaultVisual(display_, screen_);
    Colormap colormap = DefaultColormap(display_, screen_);
    XftDraw* draw = xft_->XftDrawCreate(display_, drawable, visual, colormap);
    if (draw == nullptr) return;
    XRenderColor wanted{static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257),
                        static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257),
                        static_cast<unsigned short>((rgb & 0xFF) * 257), 0xFFFF};
    XftColor colour{};
    if (xft_->XftColorAllocValue(display_, visual, colormap, &wanted, &colour)) {
        xft_->XftDrawStringUtf8(draw, &colour, font_, x, y, reinterpret_cast<const FcChar8*>(utf8.data()),
                                static_cast<int>(utf8.size()));
        xft_->XftColorFree(display_, visual, colormap, &colour);
    }
    xft_->XftDrawDestroy(draw);
}

}  // namespace zinna::x11
