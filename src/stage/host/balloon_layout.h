// Where the word balloon stands and how its text is broken into lines. The host has no fonts, so it
// sizes text from the font's point size with average glyph metrics; renderers draw the text with a
// real font inside the rectangle given here.
#pragma once

#include <string>
#include <vector>

namespace zinna::stage {

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const ScreenRect&) const = default;
};

struct BalloonLayout {
    ScreenRect rect;                 // the balloon's body, inside the screen
    bool pointsDown = true;          // above the character, its pointer down to her; false: below, pointing up
    int pointerX = 0;                // where the pointer meets the character's frame (screen x)
    std::vector<std::string> lines;  // the text broken into lines
    int fontPixels = 13;             // the text's height in pixels
    double scale = 1.0;              // the display's scale (DPI / 96) the balloon is laid out for
    int padding = 8;                 // between the body's edge and the text, in pixels at the scale
    int pointerHeight = 12;          // the pointer between the body and the frame, in pixels at the scale
    bool operator==(const BalloonLayout&) const = default;
};

// At 96 dots per inch; a display of another scale multiplies them.
inline constexpr int kBalloonPadding = 8;         // between the body's edge and the text
inline constexpr int kBalloonPointerHeight = 12;  // the pointer between the body and the frame

// The font's pixel height for a size in points on a display of the scale (1 is 96 dots per inch).
int FontPixelsForPoints(int points, double scale = 1.0);

// Breaks text into lines of at most charactersPerLine characters, at blanks where it can.
std::vector<std::string> WrapText(const std::string& text, int charactersPerLine);

// Places the balloon above the character's frame, or below it when there is no room above,
// centred on the frame and moved inside the screen. Text, padding and pointer are at the display's
// scale.
BalloonLayout LayOutBalloon(const std::string& text, int fontPoints, int charactersPerLine, ScreenRect frame,
                            int screenWidth, int screenHeight, double scale = 1.0);

}  // namespace zinna::stage
