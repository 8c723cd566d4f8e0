#include "platform/linux/desktop/wallpaper_picture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace zinna::linuxdesk {

namespace {

std::uint32_t Little(const std::uint8_t* bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kSmallestHeaders = 54;

}  // namespace

std::optional<BmpFile> BmpFile::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    void* mapping = MAP_FAILED;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= static_cast<off_t>(kSmallestHeaders)) {
        mapping = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    }
    ::close(fd);  // the mapping stays valid without the descriptor
    if (mapping == MAP_FAILED) return std::nullopt;
    BmpFile file;
    file.bytes_ = static_cast<const std::uint8_t*>(mapping);
    file.size_ = static_cast<std::size_t>(info.st_size);
    file.mapped_ = true;
    if (!file.Parse()) return std::nullopt;  // file's destructor unmaps
    return file;
}

std::optional<BmpFile> BmpFile::FromBytes(std::span<const std::uint8_t> bytes) {
    BmpFile file;
    file.bytes_ = bytes.data();
    file.size_ = bytes.size();
    if (!file.Parse()) return std::nullopt;
    return file;
}

BmpFile::BmpFile(BmpFile&& other) noexcept { *this = std::move(other); }

BmpFile& BmpFile::operator=(BmpFile&& other) noexcept {
    if (this == &other) return *this;
    if (mapped_) ::munmap(const_cast<std::uint8_t*>(bytes_), size_);
    bytes_ = std::exchange(other.bytes_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    width_ = other.width_;
    height_ = other.height_;
    topDown_ = other.topDown_;
    bytesPerPixel_ = other.bytesPerPixel_;
    stride_ = other.stride_;
    pixelOffset_ = other.pixelOffset_;
    palette_ = other.palette_;
    return *this;
}

BmpFile::~BmpFile() {
    if (mapped_) ::munmap(const_cast<std::uint8_t*>(bytes_), size_);
}

bool BmpFile::Parse() {
    if (size_ < kSmallestHeaders || bytes_[0] != 'B' || bytes_[1] != 'M') return false;
    const std::uint32_t pixelOffset = Little(bytes_, 10, 4);
    const std::uint32_t headerSize = Little(bytes_, 14, 4);
    const auto width = static_cast<std::int32_t>(Little(bytes_, 18, 4));
    const auto rawHeight = static_cast<std::int32_t>(Little(bytes_, 22, 4));
    const std::uint32_t bits = Little(bytes_, 28, 2);
    const std::uint32_t compression = Little(bytes_, 30, 4);
    const bool bitfields32 = compression == 3 && bits == 32;  // the usual masks: BGRA in memory
    if (width <= 0 || rawHeight == 0 || width > 16384 || rawHeight > 16384 || rawHeight < -16384) return false;
    if ((compression != 0 && !bitfields32) || (bits != 8 && bits != 24 && bits != 32)) return false;
    height_ = std::abs(rawHeight);
    width_ = width;
    topDown_ = rawHeight < 0;
    bytesPerPixel_ = static_cast<int>(bits / 8);
    stride_ = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
    pixelOffset_ = pixelOffset;
    if (pixelOffset_ > size_ || stride_ * static_cast<std::size_t>(height_) > size_ - pixelOffset_) return false;
    if (bits == 8) {
        std::uint32_t colours = Little(bytes_, 46, 4);
        if (colours == 0 || colours > 256) colours = 256;
        const std::size_t start = kFileHeader + headerSize;
        if (start + colours * 4 > pixelOffset_) return false;
        palette_.fill(0);  // an index past the palette's colours is black
        for (std::uint32_t i = 0; i < colours; ++i) palette_[i] = Little(bytes_, start + i * 4, 3);
    }
    return true;
}

std::uint32_t BmpFile::Pixel(int x, int y) const {
    const std::size_t row = static_cast<std::size_t>(topDown_ ? y : height_ - 1 - y);
    const std::size_t at = pixelOffset_ + stride_ * row + static_cast<std::size_t>(x) * bytesPerPixel_;
    if (bytesPerPixel_ == 1) return palette_[bytes_[at]];
    return Little(bytes_, at, 3);
}

void ComposeWallpaperRows(const BmpFile* picture, PictureStyle style, std::uint32_t colour, int width, int height,
                          int firstRow, std::span<std::uint32_t> rows) {
    const std::uint32_t background = (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
    std::fill(rows.begin(), rows.end(), background);
    if (width <= 0 || picture == nullptr || style == PictureStyle::ColourOnly) return;
    const int count = static_cast<int>(rows.size() / static_cast<std::size_t>(width));

    // The picture's place on the screen (left, top, shown width and height), except when tiled.
    const double w = picture->Width(), h = picture->Height();
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
    for (int i = 0; i < count; ++i) {
        const int y = firstRow + i;
        std::uint32_t* row = rows.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(width);
        if (style == PictureStyle::Tile) {
            const int sy = y % picture->Height();
            for (int x = 0; x < width; ++x) row[x] = picture->Pixel(x % picture->Width(), sy);
            continue;
        }
        const int sy = static_cast<int>((y - top) * h / shownH);
        if (y < top || sy < 0 || sy >= picture->Height()) continue;
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>((x - left) * w / shownW);
            if (x < left || sx < 0 || sx >= picture->Width()) continue;
            row[x] = picture->Pixel(sx, sy);
        }
    }
}

}  // namespace zinna::linuxdesk
