// The screen in layout units (1/1440 inch) as a toolkit reports it, from the display's pixels and
// dots per inch. The program rounds layout units per pixel to a whole number and divides the
// screen's layout units by it; at 192 DPI the exact figure, 7.5, would round to 8 and shrink a
// 3840-pixel screen to 3600. So a toolkit reports the whole figure the program would use, and a
// screen size that is the pixel size times it: the program's division then gives the true pixels.
#pragma once

namespace zinna {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kDefaultDpi = 96;  // 100 % scaling

// 1440 / dpi rounded to the nearest whole number, halves to even (as the program rounds), and at
// least 1. A display that reports no DPI (0 or less) counts as 96.
constexpr int TwipsPerPixelAt(int dpi) {
    if (dpi <= 0) dpi = kDefaultDpi;
    const int whole = kTwipsPerInch / dpi;
    const int remainder = kTwipsPerInch % dpi;
    int rounded = whole;
    if (2 * remainder > dpi || (2 * remainder == dpi && whole % 2 == 1)) ++rounded;
    return rounded < 1 ? 1 : rounded;
}

// A length of the screen in pixels as layout units at the given DPI.
constexpr double ScreenTwips(int pixels, int dpi) { return static_cast<double>(pixels) * TwipsPerPixelAt(dpi); }

}  // namespace zinna
