#include "stage/acs/format_rules.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace zinna::acs {

namespace {

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (std::uint32_t{bytes[at + 3]} << 24);
}

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::optional<std::string> WaveProblem(std::span<const std::uint8_t> sound) {
    if (sound.size() < 12) return "sound of " + std::to_string(sound.size()) + " bytes is too short for a RIFF header";
    const auto tag = [&](std::size_t at, const char* expected) {
        return std::equal(expected, expected + 4, sound.begin() + static_cast<std::ptrdiff_t>(at));
    };
    if (!tag(0, "RIFF") || !tag(8, "WAVE")) return std::string("sound is not a RIFF WAVE file");
    const std::uint64_t riffLength = ReadU32(sound, 4);
    if (riffLength + 8 > sound.size())
        return "sound's RIFF length " + std::to_string(riffLength) + " runs past its " + std::to_string(sound.size()) +
               " bytes";
    return std::nullopt;
}

std::optional<std::string> IconBitmapProblem(std::span<const std::uint8_t> dib, int bitsPerPixel) {
    if (dib.size() < 40) return std::string("bitmap is shorter than its 40-byte header");
    const auto width = static_cast<std::int32_t>(ReadU32(dib, 4));
    const auto height = static_cast<std::int32_t>(ReadU32(dib, 8));
    if (ReadU32(dib, 0) != 40) return std::string("bitmap header size is not 40");
    if (width < 1 || width > 256 || height == 0 || height < -512 || height > 512)
        return "bitmap size " + std::to_string(width) + " x " + std::to_string(height) + " is not an icon's";
    if (ReadU16(dib, 12) != 1 || ReadU16(dib, 14) != bitsPerPixel)
        return "bitmap is not " + std::to_string(bitsPerPixel) + " bits per pixel";
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32) * 4;
    const std::uint64_t needed = 40 + (std::uint64_t{4} << bitsPerPixel) + stride * std::abs(height);
    if (dib.size() < needed)
        return "bitmap of " + std::to_string(dib.size()) + " bytes is shorter than the " + std::to_string(needed) +
               " its header needs";
    return std::nullopt;
}

std::vector<std::uint8_t> EncodeRegion(const std::vector<RegionRect>& rects) {
    std::vector<std::uint8_t> out;
    out.reserve(kRegionHeaderSize + 16 * rects.size());
    PutU32(out, kRegionHeaderSize);
    PutU32(out, kRegionTypeRectangles);
    PutU32(out, static_cast<std::uint32_t>(rects.size()));
    PutU32(out, static_cast<std::uint32_t>(16 * rects.size()));
    RegionRect bounds;
    if (!rects.empty()) {
        bounds = rects.front();
        for (const RegionRect& r : rects) {
            bounds.left = std::min(bounds.left, r.left);
            bounds.top = std::min(bounds.top, r.top);
            bounds.right = std::max(bounds.right, r.right);
            bounds.bottom = std::max(bounds.bottom, r.bottom);
        }
    }
    const auto putRect = [&](const RegionRect& r) {
        PutU32(out, static_cast<std::uint32_t>(r.left));
        PutU32(out, static_cast<std::uint32_t>(r.top));
        PutU32(out, static_cast<std::uint32_t>(r.right));
        PutU32(out, static_cast<std::uint32_t>(r.bottom));
    };
    putRect(bounds);
    for (const RegionRect& r : rects) putRect(r);
    return out;
}

std::optional<std::string> DecodeRegion(std::span<const std::uint8_t> blob, int width, int height,
                                        std::vector<RegionRect>& rects) {
    if (blob.size() < kRegionHeaderSize)
        return "region of " + std::to_string(blob.size()) + " bytes is shorter than its header";
    if (ReadU32(blob, 0) != kRegionHeaderSize) return std::string("region header size is not 32");
    if (ReadU32(blob, 4) != kRegionTypeRectangles) return std::string("region type is not 1 (rectangles)");
    const std::uint64_t count = ReadU32(blob, 8);
    if (blob.size() != kRegionHeaderSize + 16 * count)
        return "region of " + std::to_string(blob.size()) + " bytes does not hold its " + std::to_string(count) +
               " rectangles";
    rects.clear();
    rects.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t at = kRegionHeaderSize + 16 * i;
        const RegionRect r{
            static_cast<std::int32_t>(ReadU32(blob, at)), static_cast<std::int32_t>(ReadU32(blob, at + 4)),
            static_cast<std::int32_t>(ReadU32(blob, at + 8)), static_cast<std::int32_t>(ReadU32(blob, at + 12))};
        if (r.left < 0 || r.top < 0 || r.left > r.right || r.top > r.bottom || r.right > width || r.bottom > height)
            return "region rectangle " + std::to_string(i) + " lies outside the " + std::to_string(width) + " x " +
                   std::to_string(height) + " image";
        rects.push_back(r);
    }
    return std::nullopt;
}

std::vector<std::uint8_t> ToStoredRows(const Image& image) {
    const std::uint64_t stride = RowStride(image.width);
    std::vector<std::uint8_t> stored(stride * image.height, 0);
    for (int y = 0; y < image.height; ++y)
        std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width, image.width,
                    stored.begin() + static_cast<std::ptrdiff_t>((image.height - 1 - y) * stride));
    return stored;
}

std::vector<std::uint8_t> FromStoredRows(std::span<const std::uint8_t> stored, int width, int height) {
    const std::uint64_t stride = RowStride(width);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::copy_n(stored.begin() + static_cast<std::ptrdiff_t>((height - 1 - y) * stride), width,
                    pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
    return pixels;
}

void StoredRowsToPixels(std::vector<std::uint8_t>& buffer, int width, int height) {
    const std::size_t stride = RowStride(width);
    std::uint8_t* rows = buffer.data();
    // Bottom-up to top-down: row i changes places with row height - 1 - i.
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(rows + top * stride, rows + top * stride + width, rows + bottom * stride);
    // Then the padding goes: each row moves down to width × its index, never past a row not yet moved.
    if (stride != static_cast<std::size_t>(width))
        for (int y = 1; y < height; ++y)
            std::memmove(rows + static_cast<std::size_t>(y) * width, rows + y * stride, width);
    buffer.resize(static_cast<std::size_t>(width) * height);
}

}  // namespace zinna::acs
