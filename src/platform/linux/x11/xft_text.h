// Text on X with Xft: a sans face found by fontconfig (DejaVu Sans on Debian) at a pixel size,
// measured and drawn in one colour on a drawable of the default visual.
#pragma once

#include <X11/Xft/Xft.h>

#include <cstdint>
#include <string>

namespace zinna::x11 {

inline constexpr const char* kTextFace = "DejaVu Sans";

class XftText {
public:
    // Throws std::runtime_error when fontconfig finds no face at all.
    XftText(Display* display, int screen, int pixelSize);
    ~XftText();
    XftText(const XftText&) = delete;
    XftText& operator=(const XftText&) = delete;

    int Ascent() const { return font_->ascent; }
    int LineHeight() const { return font_->ascent + font_->descent; }
    int Width(const std::string& utf8) const;
    // Draws with the baseline at y.
    void Draw(::Drawable drawable, std::uint32_t rgb, int x, int y, const std::string& utf8) const;

private:
    Display* display_;
    int screen_;
    XftFont* font_ = nullptr;
};

}  // namespace zinna::x11
