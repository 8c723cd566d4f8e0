// Text on X with Xft: a sans face found by fontconfig (DejaVu Sans on Debian) at a pixel size,
// measured and drawn in one colour on a drawable of the default visual. Xft, and with it
// fontconfig and FreeType, is loaded with the first text she shows (her balloon's first words,
// her menu, a message box), not at her start.
#pragma once

#include <X11/Xft/Xft.h>

#include <cstdint>
#include <string>

namespace zinna::x11 {

inline constexpr const char* kTextFace = "DejaVu Sans";
inline constexpr const char* kXftLibrary = "libXft.so.2";

struct XftLibrary;

class XftText {
public:
    // Without the Xft library the text is reported missing once (on stderr) and not drawn; the
    // boxes keep a line's height. Throws std::runtime_error when fontconfig finds no face at all.
    XftText(Display* display, int screen, int pixelSize);
    ~XftText();
    XftText(const XftText&) = delete;
    XftText& operator=(const XftText&) = delete;

    bool Available() const { return font_ != nullptr; }
    int Ascent() const;
    int LineHeight() const;
    int Width(const std::string& utf8) const;
    // Draws with the baseline at y.
    void Draw(::Drawable drawable, std::uint32_t rgb, int x, int y, const std::string& utf8) const;

private:
    Display* display_;
    int screen_;
    int pixelSize_;
    const XftLibrary* xft_ = nullptr;
    XftFont* font_ = nullptr;
};

}  // namespace zinna::x11
