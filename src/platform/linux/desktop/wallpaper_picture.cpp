#include "platform/linux/desktop/wallpaper_picture.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace zinna::linuxdesk {

namespace {

std::uint32_t Little(const std::vector<unsigned char>& bytes, size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
    return value;
}

}  // namespace

std::optional<RgbPicture> ReadBmp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    const std::uint32_t pixelOffset = Little(bytes, 10, 4);
    const std::uint32_t headerSize = Little(bytes, 14, 4);
    const auto width = static_cast<std::int32_t>(Little(bytes, 18, 4));
    const auto rawHeight = static_cast<std::int32_t>(Little(bytes, 22, 4));
    const std::uint32_t bits = Little(bytes, 28, 2);
    const std::uint32_t compression = Little(bytes, 30, 4);
    const bool bitfields32 = compression == 3 && bits == 32;  // the usual masks: BGRA in memory
    if (width <= 0 || rawHeight == 0 || width > 16384 || std::abs(rawHeight) > 16384) return std::nullopt;
    if ((compression != 0 && !bitfields32) || (bits != 8 && bits != 24 && bits != 32)) return std::nullopt;
    const bool topDown = rawHeight < 0;
    const int height = std::abs(rawHeight);
    const size_t stride = (static_cast<size_t>(width) * bits / 8 + 3) / 4 * 4;
    if (pixelOffset + stride * static_cast<size_t>(height) > bytes.size()) return std::nullopt;

    std::vector<std::uint32_t> palette;
    if (bits == 8) {
        std::uint32_t colours = Little(bytes, 46, 4);
        if (colours == 0 || colours > 256) colours = 256;
        const size_t start = 14 + headerSize;
        if (start + colours * 4 > pixelOffset) return std::nullopt;
        for (std::uint32_t i = 0; i < colours; ++i) palette.push_back(Little(bytes, start + i * 4, 3));
    }

    RgbPicture picture{width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height)};
    for (int row = 0; row < height; ++row) {
        const size_t line = pixelOffset + stride * static_cast<size_t>(topDown ? row : height - 1 - row);
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            if (bits == 8) {
                const unsigned index = bytes[line + static_cast<size_t>(x)];
                pixel = index < palette.size() ? palette[index] : 0;
            } else {
                pixel = Little(bytes, line + static_cast<size_t>(x) * (bits / 8), 3);
            }
            picture.pixels[static_cast<size_t>(row) * width + x] = pixel & 0x00FFFFFF;
        }
    }
    return picture;
}

RgbPicture ComposeWallpaper(const RgbPicture* picture, PictureStyle style, std::uint32_t colour, int width,
                            int height) {
    const std::uint32_t background = (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
    RgbPicture screen{width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height, background)};
    if (picture == nullptr || picture->width == 0 || style == PictureStyle::ColourOnly) return screen;

    // The picture's place on the screen (left, top, shown width and height), except when tiled.
    const double w = picture->width, h = picture->height;
    double shownW = w, shownH = h;
    if (style == PictureStyle::Stretch) {
        shownW = width;
        shownH = height;
    } else if (style == PictureStyle::Fit || style == PictureStyle::Fill || style == PictureStyle::Span) {
        const double scale =
            style == PictureStyle::Fit ? std::min(width / w, height / h) : std::max(width / w, height / h);
        shownW = w * scale;
        shownH = h * scale;
    }
    const double left = (width - shownW) / 2, top = (height - shownH) / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sx = 0, sy = 0;
            if (style == PictureStyle::Tile) {
                sx = x % picture->width;
                sy = y % picture->height;
            } else {
                sx = static_cast<int>((x - left) * w / shownW);
                sy = static_cast<int>((y - top) * h / shownH);
                if (x < left || y < top || sx < 0 || sy < 0 || sx >= picture->width || sy >= picture->height) continue;
            }
            screen.pixels[static_cast<size_t>(y) * width + x] =
                picture->pixels[static_cast<size_t>(sy) * picture->width + sx];
        }
    }
    return screen;
}

}  // namespace zinna::linuxdesk
