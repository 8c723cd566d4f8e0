#include "stage/host/balloon_layout.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace zinna::stage {

namespace {

// Average glyph width and line height relative to the font's pixel height.
constexpr double kAverageGlyphWidth = 0.55;
constexpr double kLineSpacing = 1.25;

// UTF-8 characters, not bytes, make up a line.
int CharacterCount(const std::string& text) {
    int count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

}  // namespace

int FontPixelsForPoints(int points, double scale) {
    // Points are 1/72 inch; the display has 96 x scale pixels per inch. Halves round up.
    return std::max(1, static_cast<int>(std::floor(points * 96.0 * scale / 72.0 + 0.5)));
}

std::vector<std::string> WrapText(const std::string& text, int charactersPerLine) {
    charactersPerLine = std::max(1, charactersPerLine);
    std::vector<std::string> lines;
    std::istringstream words(text);
    std::string line;
    for (std::string word; words >> word;) {
        // A word longer than a line is cut at the line's length.
        while (CharacterCount(word) > charactersPerLine) {
            if (!line.empty()) lines.push_back(std::move(line));
            line.clear();
            size_t cut = 0;
            for (int taken = 0; cut < word.size() && taken < charactersPerLine; ++taken) {
                ++cut;
                while (cut < word.size() && (static_cast<unsigned char>(word[cut]) & 0xC0) == 0x80) ++cut;
            }
            lines.push_back(word.substr(0, cut));
            word.erase(0, cut);
        }
        if (word.empty()) continue;
        if (line.empty()) {
            line = word;
        } else if (CharacterCount(line) + 1 + CharacterCount(word) <= charactersPerLine) {
            line += " " + word;
        } else {
            lines.push_back(std::move(line));
            line = word;
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

BalloonLayout LayOutBalloon(const std::string& text, int fontPoints, int charactersPerLine, ScreenRect frame,
                            int screenWidth, int screenHeight, double scale) {
    BalloonLayout layout;
    layout.scale = scale;
    layout.fontPixels = FontPixelsForPoints(fontPoints, scale);
    layout.padding = std::max(1, static_cast<int>(std::lround(kBalloonPadding * scale)));
    layout.pointerHeight = std::max(1, static_cast<int>(std::lround(kBalloonPointerHeight * scale)));
    const int padding = layout.padding;
    layout.lines = WrapText(text, charactersPerLine);
    int longest = 1;
    for (const std::string& line : layout.lines) longest = std::max(longest, CharacterCount(line));
    int lineCount = std::max<int>(1, static_cast<int>(layout.lines.size()));

    int width = static_cast<int>(longest * layout.fontPixels * kAverageGlyphWidth + 0.5) + 2 * padding;
    int height = static_cast<int>(lineCount * layout.fontPixels * kLineSpacing + 0.5) + 2 * padding;
    width = std::min(width, std::max(1, screenWidth));

    int centre = (frame.left + frame.right) / 2;
    int left = std::clamp(centre - width / 2, 0, std::max(0, screenWidth - width));
    int above = frame.top - layout.pointerHeight - height;
    layout.pointsDown = above >= 0;
    int top = layout.pointsDown ? above : frame.bottom + layout.pointerHeight;
    top = std::clamp(top, 0, std::max(0, screenHeight - height));
    layout.rect = {left, top, left + width, top + height};
    // The pointer leaves the body where it is nearest the character.
    layout.pointerX = std::clamp(centre, left + padding, left + width - padding);
    return layout;
}

}  // namespace zinna::stage
