#include "bmp_writer.h"

#include <fstream>
#include <stdexcept>

namespace zinna::art {

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp24(const RgbaPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height * 4)
        throw std::invalid_argument("EncodeBmp24: picture size and pixels disagree");
    const std::uint32_t stride = (static_cast<std::uint32_t>(picture.width) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(picture.height);
    constexpr std::uint32_t kHeadersSize = 14 + 40;
    std::vector<std::uint8_t> out;
    out.reserve(kHeadersSize + imageSize);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    PutU32(out, kHeadersSize + imageSize);
    PutU32(out, 0);
    PutU32(out, kHeadersSize);
    // BITMAPINFOHEADER
    PutU32(out, 40);
    PutU32(out, static_cast<std::uint32_t>(picture.width));
    PutU32(out, static_cast<std::uint32_t>(picture.height));  // positive: rows bottom-up
    PutU16(out, 1);                                           // planes
    PutU16(out, 24);                                          // bits per pixel
    PutU32(out, 0);                                           // BI_RGB
    PutU32(out, imageSize);
    PutU32(out, 2835);  // 72 dpi, in pixels per metre
    PutU32(out, 2835);
    PutU32(out, 0);
    PutU32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p = picture.At(x, y);
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(picture.width) * 3; pad < stride; ++pad) out.push_back(0);
    }
    return out;
}

void WriteBmp24(const RgbaPicture& picture, const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = EncodeBmp24(picture);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) throw std::runtime_error(path.string() + ": cannot be written");
}

}  // namespace zinna::art
