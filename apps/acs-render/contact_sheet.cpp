#include "contact_sheet.h"

#include "tiny_font/tiny_font.h"

#include "stage/acs/acs_reader.h"

#include <algorithm>
#include <string>

namespace zinna::acs {

namespace {

constexpr int kMargin = 8;
constexpr int kGap = 4;
constexpr int kLabelScale = 2;
constexpr int kLabelHeight = image::kGlyphHeight * kLabelScale + 6;
constexpr std::uint32_t kLabelColour = 0x202020FF;

int LinesOf(const Animation& animation) {
    return std::max<int>(1,
                         (static_cast<int>(animation.frames.size()) + kSheetFramesPerLine - 1) / kSheetFramesPerLine);
}

std::string LabelOf(const Animation& animation) {
    return animation.name + " (" + std::to_string(animation.frames.size()) + ")";
}

void FillCheckerboard(RgbaImage& sheet) {
    for (int y = 0; y < sheet.height; ++y)
        for (int x = 0; x < sheet.width; ++x) {
            const std::uint8_t shade = ((x / 8 + y / 8) % 2) ? 0xE6 : 0xFF;
            std::uint8_t* pixel = &sheet.rgba[(static_cast<std::size_t>(y) * sheet.width + x) * 4];
            pixel[0] = pixel[1] = pixel[2] = shade;
            pixel[3] = 0xFF;
        }
}

// Copies the opaque pixels of a frame onto the sheet, and outlines the frame's box.
void Paste(RgbaImage& sheet, const RgbaImage& frame, int left, int top) {
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* source = &frame.rgba[(static_cast<std::size_t>(y) * frame.width + x) * 4];
            std::uint8_t* target = &sheet.rgba[(static_cast<std::size_t>(top + y) * sheet.width + left + x) * 4];
            const bool edge = x == 0 || y == 0 || x == frame.width - 1 || y == frame.height - 1;
            if (source[3] != 0) {
                std::copy_n(source, 4, target);
            } else if (edge) {
                target[0] = 0xB0, target[1] = 0xC8, target[2] = 0xE8;
            }
        }
}

}  // namespace

RgbaImage ContactSheet(AcsFile& file) {
    const CharacterInfo& info = file.Info();
    const int cell = info.width + kGap;
    int lines = 0;
    std::size_t columns = 1, labelLength = 0;
    for (const Animation& animation : file.Animations()) {
        lines += LinesOf(animation);
        columns = std::max(columns, std::min<std::size_t>(kSheetFramesPerLine, animation.frames.size()));
        labelLength = std::max(labelLength, LabelOf(animation).size());
    }
    RgbaImage sheet;
    sheet.width = 2 * kMargin + std::max(static_cast<int>(labelLength) * image::kGlyphAdvance * kLabelScale,
                                         static_cast<int>(columns) * cell);
    sheet.height =
        2 * kMargin + static_cast<int>(file.Animations().size()) * kLabelHeight + lines * (info.height + kGap);
    sheet.rgba.assign(static_cast<std::size_t>(sheet.width) * sheet.height * 4, 0);
    FillCheckerboard(sheet);

    int y = kMargin;
    for (const Animation& animation : file.Animations()) {
        image::DrawText(sheet, kMargin, y + 2, LabelOf(animation), kLabelColour, kLabelScale);
        y += kLabelHeight;
        for (std::size_t f = 0; f < animation.frames.size(); ++f) {
            const int column = static_cast<int>(f % kSheetFramesPerLine);
            const int line = static_cast<int>(f / kSheetFramesPerLine);
            const RgbaImage frame = ComposeFrame(info, animation.frames[f], ImagesOf(file));
            Paste(sheet, frame, kMargin + column * cell, y + line * (info.height + kGap));
        }
        y += LinesOf(animation) * (info.height + kGap);
    }
    return sheet;
}

}  // namespace zinna::acs
