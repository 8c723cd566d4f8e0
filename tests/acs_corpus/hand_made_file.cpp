#include "hand_made_file.h"

#include "stage/acs/byte_io.h"

namespace zinna::acs::corpus {

Bytes ImageRecord(std::uint16_t width, std::uint16_t height, bool compressed, const Bytes& pixels,
                  const Bytes& region) {
    ByteWriter w;
    w.U8(1);
    w.U16(width);
    w.U16(height);
    w.U8(compressed ? 1 : 0);
    w.U32(static_cast<std::uint32_t>(pixels.size()));
    w.Append(pixels);
    w.U32(0);
    w.U32(static_cast<std::uint32_t>(region.size()));
    w.Append(region);
    return w.Bytes();
}

Bytes Region(std::uint32_t headerSize, std::uint32_t type, const std::vector<RegionRect>& rects) {
    ByteWriter w;
    w.U32(headerSize);
    w.U32(type);
    w.U32(static_cast<std::uint32_t>(rects.size()));
    w.U32(168);                            // a size hint larger than 16n, as real files have
    for (int i = 0; i < 4; ++i) w.U32(0);  // bounding box, not checked
    for (const RegionRect& r : rects) {
        w.I32(r.left), w.I32(r.top), w.I32(r.right), w.I32(r.bottom);
    }
    return w.Bytes();
}

HandMadeFile::HandMadeFile()
    : images{ImageRecord(5, 2, false, {1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0},
                         Region(32, 1, {{0, 0, 5, 2}}))},
      animations{{"A", Animation(1)}} {}

Bytes HandMadeFile::Animation(int frames) {
    ByteWriter w;
    w.String("A");
    w.U8(2);
    w.U32(0);  // return name: a count of 0 is the whole string
    w.U16(static_cast<std::uint16_t>(frames));
    for (int f = 0; f < frames; ++f) {
        w.U16(1), w.U32(0), w.I16(1), w.I16(2);
        w.I16(-1), w.U16(10), w.I16(-2), w.U8(0), w.U8(0);
    }
    return w.Bytes();
}

Bytes HandMadeFile::Assemble() const {
    ByteWriter w;
    for (int i = 0; i < 36; ++i) w.U8(0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> animationAt, imageAt;
    for (const auto& [name, record] : animations) {
        animationAt.push_back({static_cast<std::uint32_t>(w.Position()), static_cast<std::uint32_t>(record.size())});
        w.Append(record);
    }
    for (const Bytes& record : images) {
        imageAt.push_back({static_cast<std::uint32_t>(w.Position()), static_cast<std::uint32_t>(record.size())});
        w.Append(record);
    }
    const auto animationList = static_cast<std::uint32_t>(w.Position());
    w.U32(static_cast<std::uint32_t>(animations.size()));
    for (std::size_t i = 0; i < animations.size(); ++i) {
        w.String(animations[i].first);
        w.U32(animationAt[i].first), w.U32(animationAt[i].second);
    }
    const auto imageList = static_cast<std::uint32_t>(w.Position());
    w.U32(static_cast<std::uint32_t>(images.size()));
    for (const auto& [offset, size] : imageAt) w.U32(offset), w.U32(size), w.U32(0xDEADBEEF);
    const auto soundList = static_cast<std::uint32_t>(w.Position());
    w.U32(0);
    const auto info = static_cast<std::uint32_t>(w.Position());
    w.U16(1), w.U16(2);
    const std::uint64_t localizedLocator = w.Position();
    w.U32(0), w.U32(0);
    for (int i = 0; i < 16; ++i) w.U8(static_cast<std::uint8_t>(i));
    w.U16(32), w.U16(24);  // frame size
    w.U8(0);               // transparent index
    w.U32(0x00000110);     // no voice, no balloon
    w.U16(2), w.U16(0);
    w.U32(3);  // palette: blue, green, red, unused
    w.U8(0xFF), w.U8(0x00), w.U8(0xFF), w.U8(0);
    w.U8(0x30), w.U8(0x20), w.U8(0x10), w.U8(paletteFourthByte);
    w.U8(0x01), w.U8(0x02), w.U8(0x03), w.U8(0);
    w.Append(trayIcon);
    w.U16(static_cast<std::uint16_t>(states.size()));
    for (const auto& [name, names] : states) {
        w.String(name);
        w.U16(static_cast<std::uint16_t>(names.size()));
        for (const std::string& n : names) w.String(n);
    }
    const std::uint64_t localized = w.Position();
    w.U16(1);
    w.U16(0x0009);  // a bare primary language id
    w.String("Hand");
    w.String("");
    w.String("");
    w.PatchU32(localizedLocator, static_cast<std::uint32_t>(localized));
    w.PatchU32(localizedLocator + 4, static_cast<std::uint32_t>(w.Position() - localized));
    const std::uint32_t locators[8] = {info,          static_cast<std::uint32_t>(w.Position() - info),
                                       animationList, imageList - animationList,
                                       imageList,     soundList - imageList,
                                       soundList,     4};
    w.PatchU32(0, 0xABCDABC3);
    for (int i = 0; i < 8; ++i) w.PatchU32(4 + 4 * i, locators[i]);
    return w.Bytes();
}

}  // namespace zinna::acs::corpus
