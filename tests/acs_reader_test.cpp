// The reader on files put together byte by byte as the format describes them: field order,
// conversions at the format boundary (palette order, bottom-up rows, texts), raw storage, and
// what it tolerates or rejects.
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/byte_io.h"

#include <doctest/doctest.h>

using namespace zinna::acs;

namespace {

using Bytes = std::vector<std::uint8_t>;

// One image record: kind 1, width, height, the pixel block (raw or compressed) and a region
// stored raw (compressed size 0).
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
    w.U32(168);  // a size hint larger than 16n, as real files have
    for (int i = 0; i < 4; ++i) w.U32(0);  // bounding box, not checked
    for (const RegionRect& r : rects) {
        w.I32(r.left), w.I32(r.top), w.I32(r.right), w.I32(r.bottom);
    }
    return w.Bytes();
}

// A file assembled from hand-made blocks, in the order real files use.
struct HandMadeFile {
    std::vector<Bytes> images = {ImageRecord(5, 2, false, {1, 2, 3, 4, 5, 0, 0, 0, 6, 7, 8, 9, 10, 0, 0, 0},
                                             Region(32, 1, {{0, 0, 5, 2}}))};
    std::vector<std::pair<std::string, Bytes>> animations;
    std::vector<std::pair<std::string, std::vector<std::string>>> states = {{"SHOWING", {"A"}}};
    Bytes trayIcon = {0};  // the flag byte, and the icon if any
    std::uint8_t paletteFourthByte = 0;

    HandMadeFile() { animations.push_back({"A", Animation(1)}); }

    // An animation record "A" of n frames, each showing image 0 at (1, 2) for 10.
    static Bytes Animation(int frames) {
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

    Bytes Assemble() const {
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
        const std::uint32_t locators[8] = {info, static_cast<std::uint32_t>(w.Position() - info),
                                           animationList, imageList - animationList,
                                           imageList, soundList - imageList,
                                           soundList, 4};
        w.PatchU32(0, 0xABCDABC3);
        for (int i = 0; i < 8; ++i) w.PatchU32(4 + 4 * i, locators[i]);
        return w.Bytes();
    }
};

std::string ErrorOf(const Bytes& file) {
    try {
        ReadAcs(file);
    } catch (const AcsError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST_CASE("a hand-made file reads with the model's conventions") {
    AcsFile file = AcsFile::Parse(HandMadeFile().Assemble());
    const CharacterInfo& info = file.Info();
    CHECK(info.width == 32);
    CHECK(info.height == 24);
    CHECK(info.id.bytes[15] == 15);
    REQUIRE(info.palette.size() == 3);
    CHECK(info.palette[1] == Rgb{0x10, 0x20, 0x30});  // stored blue, green, red
    REQUIRE(info.localized.size() == 1);
    CHECK(info.localized[0].name == "Hand");
    CHECK(info.localized[0].description.empty());
    CHECK(FindLocalization(info, 0x0809)->name == "Hand");  // matched on the primary language
    REQUIRE(file.Animations().size() == 1);
    const Frame& frame = file.Animations()[0].frames[0];
    CHECK(frame.images == std::vector<FrameImage>{{0, 1, 2}});
    CHECK(frame.exitFrame == kNoExitBranch);

    // Raw pixels, rows stored bottom-up with a stride of 8: the model has them top-down, unpadded.
    const Image& image = file.ImageAt(0);
    CHECK(image.pixels == Bytes{6, 7, 8, 9, 10, 1, 2, 3, 4, 5});
    CHECK(image.region == std::vector<RegionRect>{{0, 0, 5, 2}});
    CHECK(file.Warnings().empty());
}

TEST_CASE("compressed pixels are decoded and turned upright") {
    HandMadeFile made;
    // 4 x 2 image from the documented block "ABABABAB": stored bottom row "ABAB", top row "ABAB".
    made.images = {ImageRecord(4, 2, true, {0x00, 0x82, 0x08, 0x15, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                               Region(32, 1, {}))};
    AcsFile file = AcsFile::Parse(made.Assemble());
    CHECK(file.ImageAt(0).pixels == Bytes{'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'});
}

TEST_CASE("list entries that share one image record share one decoded image") {
    HandMadeFile made;
    // Two records, then the second list entry pointed at the first record.
    made.images.push_back(made.images[0]);
    Bytes file = made.Assemble();
    const std::uint32_t imageList = file[20] | (file[21] << 8);
    for (int i = 0; i < 8; ++i) file[imageList + 16 + i] = file[imageList + 4 + i];
    AcsFile parsed = AcsFile::Parse(file);
    CHECK(&parsed.ImageAt(0) == &parsed.ImageAt(1));
}

TEST_CASE("tolerated oddities are kept or dropped, with a warning") {
    HandMadeFile made;
    made.paletteFourthByte = 0x7F;                                 // ignored
    made.animations.push_back({"Empty", HandMadeFile::Animation(0)});  // kept, unusable
    made.states.push_back({"HIDING", {"NOWHERE"}});                // dangling name
    made.trayIcon = {1, 4, 0, 0, 0, 1, 2, 3, 4, 4, 0, 0, 0, 5, 6, 7, 8};  // too small to be bitmaps
    AcsFile file = AcsFile::Parse(made.Assemble());
    CHECK(file.Info().palette[1] == Rgb{0x10, 0x20, 0x30});
    CHECK(file.Animations().size() == 2);
    CHECK(file.Animations()[1].frames.empty());
    CHECK_FALSE(file.Info().trayIcon.has_value());
    const std::vector<std::string>& warnings = file.Warnings();
    REQUIRE(warnings.size() == 3);
    CHECK(warnings[0].find("tray icon dropped") != std::string::npos);
    CHECK(warnings[1].find("\"Empty\" has no frames") != std::string::npos);
    CHECK(warnings[2].find("missing animation NOWHERE") != std::string::npos);
}

TEST_CASE("animation entries that repeat one record more than the file can hold are rejected") {
    HandMadeFile made;
    // Many list entries for one large record: each would be parsed and stored again.
    made.animations = {{"A", HandMadeFile::Animation(300)}};
    for (int i = 0; i < 3; ++i) made.animations.push_back({"B", HandMadeFile::Animation(1)});
    Bytes file = made.Assemble();
    const std::uint32_t list = file[12] | (file[13] << 8);
    for (int entry = 1; entry < 4; ++entry)  // entries are 16 bytes: name "B" (8), then the locator
        for (int i = 0; i < 8; ++i) file[list + 4 + 16 * entry + 8 + i] = file[list + 4 + 8 + i];
    CHECK(ErrorOf(file).find("animation records add up to more than the whole file") != std::string::npos);
}

TEST_CASE("bytes that no block claims are reported") {
    Bytes file = HandMadeFile().Assemble();
    file.insert(file.end(), {1, 2, 3});
    AcsFile parsed = AcsFile::Parse(file);
    REQUIRE(parsed.Warnings().size() == 1);
    CHECK(parsed.Warnings()[0] == "3 bytes of the file belong to no block");
}

TEST_CASE("texts convert between the file's UTF-16 and the model's UTF-8") {
    HandMadeFile made;
    made.states = {{"SHOWING \xC3\xA9\xF0\x9F\x98\x80", {"A"}}};  // an accent and a character beyond 16 bits
    AcsFile file = AcsFile::Parse(made.Assemble());
    CHECK(file.Info().states[0].name == "SHOWING \xC3\xA9\xF0\x9F\x98\x80");
    // The same as hand-made UTF-16: e-acute is one unit, the smiley a surrogate pair.
    ByteWriter expected;
    expected.String("SHOWING \xC3\xA9\xF0\x9F\x98\x80");
    CHECK(expected.Bytes().size() == 4 + 2 * (8 + 1 + 2) + 2);

    // An unpaired surrogate in a file becomes U+FFFD; invalid UTF-8 in a model too.
    ByteWriter lone;
    lone.String("X");
    lone.Bytes()[4] = 0x00, lone.Bytes()[5] = 0xD8;  // the unit 0xD800
    ByteCursor cursor(lone.Bytes(), 0, lone.Bytes().size(), "test");
    CHECK(cursor.String("text") == "\xEF\xBF\xBD");
    ByteWriter invalid;
    invalid.String("\xFF");
    CHECK(invalid.Bytes() == Bytes{1, 0, 0, 0, 0xFD, 0xFF, 0, 0});
}

TEST_CASE("bad regions are rejected when the image is decoded") {
    const Bytes pixels(8 * 2, 1);
    const std::vector<std::pair<Bytes, const char*>> cases = {
        {Region(32, 1, {{0, 0, 6, 2}}), "outside the 5 x 2 image"},
        {Region(32, 1, {{3, 0, 2, 1}}), "outside"},
        {Region(40, 1, {}), "header size is not 32"},
        {Region(32, 2, {}), "type is not 1"},
        {[] { Bytes r = Region(32, 1, {{0, 0, 1, 1}}); r.pop_back(); return r; }(), "does not hold its 1 rectangles"},
    };
    for (const auto& [region, expected] : cases) {
        CAPTURE(expected);
        HandMadeFile made;
        made.images = {ImageRecord(5, 2, false, pixels, region)};
        AcsFile file = AcsFile::Parse(made.Assemble());  // the structure is fine
        try {
            file.ImageAt(0);
            FAIL("accepted");
        } catch (const AcsError& e) {
            CHECK(std::string(e.what()).find(expected) != std::string::npos);
        }
    }
}

TEST_CASE("a compressed image whose block is too small for its size is rejected when opened") {
    HandMadeFile made;
    made.images = {ImageRecord(200, 200, true, {0x00, 0xFF, 0xFF, 0xFF}, Region(32, 1, {}))};
    CHECK(ErrorOf(made.Assemble()).find("compressed pixels of 4 bytes cannot hold a 200 x 200 image") !=
          std::string::npos);
}

TEST_CASE("every truncation of a valid file is rejected, never read past its end") {
    const Bytes whole = HandMadeFile().Assemble();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        CAPTURE(size);
        CHECK(ErrorOf(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size))) != "");
    }
    CHECK(ErrorOf(whole) == "");
}
