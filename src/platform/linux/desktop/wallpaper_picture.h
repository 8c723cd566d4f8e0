// The picture a bare X screen shows: a Windows bitmap read where its file holds it and laid over
// the screen in one of the wallpaper styles, on the background colour, a band of rows at a time.
#pragma once

#include "platform/linux/desktop/desktop_settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zinna::linuxdesk {

// An uncompressed 8-, 24- or 32-bit Windows bitmap, mapped read-only from its file (the pages are
// the file's, given back when this goes, never a copy in the heap).
class BmpFile {
public:
    // nullopt for a file that cannot be read or is not such a bitmap (also a truncated one).
    static std::optional<BmpFile> Open(const std::string& path);
    // A bitmap already in memory (tests); bytes must outlive the result.
    static std::optional<BmpFile> FromBytes(std::span<const std::uint8_t> bytes);

    BmpFile(BmpFile&& other) noexcept;
    BmpFile& operator=(BmpFile&& other) noexcept;
    BmpFile(const BmpFile&) = delete;
    BmpFile& operator=(const BmpFile&) = delete;
    ~BmpFile();

    int Width() const { return width_; }
    int Height() const { return height_; }
    // 0x00RRGGBB; x and y within the picture, rows top-down.
    std::uint32_t Pixel(int x, int y) const;

private:
    BmpFile() = default;
    bool Parse();

    const std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;  // bytes_ is this object's mapping of the file
    int width_ = 0;
    int height_ = 0;
    bool topDown_ = false;
    int bytesPerPixel_ = 0;
    std::size_t stride_ = 0;
    std::size_t pixelOffset_ = 0;
    std::array<std::uint32_t, 256> palette_{};
};

// Rows [firstRow, firstRow + rows.size() / width) of the screen's pixels (0x00RRGGBB): the picture
// placed by style over the colour (0x00BBGGRR, as Windows gives it). picture may be null.
void ComposeWallpaperRows(const BmpFile* picture, PictureStyle style, std::uint32_t colour, int width, int height,
                          int firstRow, std::span<std::uint32_t> rows);

}  // namespace zinna::linuxdesk
