#include "platform/sim/screen_picture.h"

#include "tiny_font/tiny_font.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace zinna::sim {

namespace {

std::uint32_t ReadU32(const std::vector<std::uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

void Put(acs::RgbaImage& image, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    std::uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + x) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = 255;
}

void PutPixelOf(acs::RgbaImage& image, int x, int y, const acs::RgbaImage& from, int fx, int fy) {
    const std::uint8_t* p = &from.rgba[(static_cast<size_t>(fy) * from.width + fx) * 4];
    if (p[3] == 0) return;
    Put(image, x, y, p[0], p[1], p[2]);
}

void PaintWallpaper(acs::RgbaImage& screen, const ScreenScene& scene) {
    const acs::RgbaImage& paper = *scene.wallpaper;
    if (paper.width == 0 || paper.height == 0) return;
    bool tile = scene.tileWallpaper == "1";
    bool stretch = !tile && scene.wallpaperStyle == "2";
    int offsetX = (screen.width - paper.width) / 2, offsetY = (screen.height - paper.height) / 2;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            int px, py;
            if (stretch) {
                px = static_cast<int>(static_cast<long long>(x) * paper.width / screen.width);
                py = static_cast<int>(static_cast<long long>(y) * paper.height / screen.height);
            } else if (tile) {
                px = x % paper.width;
                py = y % paper.height;
            } else {
                px = x - offsetX;
                py = y - offsetY;
                if (px < 0 || py < 0 || px >= paper.width || py >= paper.height) continue;
            }
            PutPixelOf(screen, x, y, paper, px, py);
        }
    }
}

void PaintBalloon(acs::RgbaImage& screen, const ScreenScene& scene) {
    const stage::BalloonLayout& balloon = *scene.balloon;
    const stage::ScreenRect& r = balloon.rect;
    const int radius = std::max(1, static_cast<int>(6 * balloon.scale + 0.5));
    // The body: cream with a black border and rounded corners.
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            int dx = std::max({r.left + radius - x, x - (r.right - 1 - radius), 0});
            int dy = std::max({r.top + radius - y, y - (r.bottom - 1 - radius), 0});
            int d2 = dx * dx + dy * dy;
            if (d2 > radius * radius) continue;
            bool edge =
                d2 > (radius - 1) * (radius - 1) || x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1;
            if (edge && (dx > 0 || dy > 0 || x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1))
                Put(screen, x, y, 0, 0, 0);
            else
                Put(screen, x, y, 255, 255, 225);
        }
    }
    // The pointer towards her.
    for (int i = 0; i < balloon.pointerHeight; ++i) {
        int halfWidth = (balloon.pointerHeight - i) / 2;
        int y = balloon.pointsDown ? r.bottom - 1 + i : r.top - i;
        for (int x = balloon.pointerX - halfWidth; x <= balloon.pointerX + halfWidth; ++x) {
            bool edge = x == balloon.pointerX - halfWidth || x == balloon.pointerX + halfWidth;
            if (edge)
                Put(screen, x, y, 0, 0, 0);
            else
                Put(screen, x, y, 255, 255, 225);
        }
    }
    int scale = std::max(1, balloon.fontPixels / 9);
    int lineHeight = (image::kGlyphHeight + 3) * scale;
    for (size_t i = 0; i < scene.balloonLines.size(); ++i)
        image::DrawText(screen, r.left + balloon.padding, r.top + balloon.padding + static_cast<int>(i) * lineHeight,
                        scene.balloonLines[i], 0x000000FF, scale);
}

}  // namespace

std::optional<acs::RgbaImage> ReadBitmapFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(file)), {});
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    std::uint32_t dataOffset = ReadU32(b, 10);
    auto width = static_cast<std::int32_t>(ReadU32(b, 18));
    auto height = static_cast<std::int32_t>(ReadU32(b, 22));
    int bits = b[28] | (b[29] << 8);
    std::uint32_t compression = ReadU32(b, 30);
    if (width <= 0 || height == 0 || width > 16384 || std::abs(height) > 16384) return std::nullopt;
    if ((bits != 24 && bits != 32) || (compression != 0 && compression != 3)) return std::nullopt;
    bool bottomUp = height > 0;
    int rows = std::abs(height);
    size_t stride = ((static_cast<size_t>(width) * bits / 8) + 3) & ~size_t{3};
    if (dataOffset + stride * rows > b.size()) return std::nullopt;
    acs::RgbaImage image{width, rows, std::vector<std::uint8_t>(static_cast<size_t>(width) * rows * 4)};
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* row = &b[dataOffset + stride * (bottomUp ? rows - 1 - y : y)];
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* px = row + static_cast<size_t>(x) * (bits / 8);
            std::uint8_t* out = &image.rgba[(static_cast<size_t>(y) * width + x) * 4];
            out[0] = px[2];
            out[1] = px[1];
            out[2] = px[0];
            out[3] = 255;
        }
    }
    return image;
}

acs::RgbaImage PaintScreen(const ScreenScene& scene) {
    acs::RgbaImage screen{scene.width, scene.height,
                          std::vector<std::uint8_t>(static_cast<size_t>(scene.width) * scene.height * 4)};
    for (size_t i = 0; i < screen.rgba.size(); i += 4) {
        screen.rgba[i] = scene.desktopColor & 0xFF;
        screen.rgba[i + 1] = (scene.desktopColor >> 8) & 0xFF;
        screen.rgba[i + 2] = (scene.desktopColor >> 16) & 0xFF;
        screen.rgba[i + 3] = 255;
    }
    if (scene.wallpaper) PaintWallpaper(screen, scene);
    if (scene.taskbar) {
        const stage::ScreenRect& bar = *scene.taskbar;
        for (int y = bar.top; y < bar.bottom; ++y)
            for (int x = bar.left; x < bar.right; ++x)
                Put(screen, x, y, y == bar.top ? 90 : 48, y == bar.top ? 90 : 48, y == bar.top ? 96 : 54);
    }
    if (scene.character) {
        const acs::RgbaImage& frame = *scene.character;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                PutPixelOf(screen, scene.characterX + x, scene.characterY + y, frame, x, y);
    }
    if (scene.balloon) PaintBalloon(screen, scene);
    return screen;
}

}  // namespace zinna::sim
