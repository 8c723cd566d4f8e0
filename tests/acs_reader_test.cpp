// The reader on files put together byte by byte as the format describes them: field order,
// conversions at the format boundary (palette order, bottom-up rows, texts), raw storage, and
// what it tolerates or rejects.
#include "stage/acs/acs_error.h"
#include "stage/acs/acs_reader.h"
#include "stage/acs/byte_io.h"
#include "stage/acs/compression.h"

#include "acs_corpus/hand_made_file.h"

#include <doctest/doctest.h>

using namespace zinna::acs;

namespace {

using namespace zinna::acs::corpus;

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
    made.images = {
        ImageRecord(4, 2, true, {0x00, 0x82, 0x08, 0x15, 0xAC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Region(32, 1, {}))};
    AcsFile file = AcsFile::Parse(made.Assemble());
    CHECK(file.ImageAt(0).pixels == Bytes{'A', 'B', 'A', 'B', 'A', 'B', 'A', 'B'});
}

TEST_CASE("compressed images of every padding and height come out upright and unpadded") {
    // Every stored byte distinct (padding included), so a row out of place or a padding byte left
    // in shows; widths 1 to 9 cover no padding and one to three bytes of it.
    for (std::uint16_t width = 1; width <= 9; ++width)
        for (std::uint16_t height = 1; height <= 5; ++height) {
            CAPTURE(width);
            CAPTURE(height);
            const std::size_t stride = (width + 3) / 4 * 4;
            Bytes stored(stride * height);
            for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<std::uint8_t>(i * 7 + 1);
            Bytes expected;
            for (std::size_t y = 0; y < height; ++y)
                for (std::size_t x = 0; x < width; ++x) expected.push_back(stored[(height - 1 - y) * stride + x]);
            HandMadeFile made;
            made.images = {ImageRecord(width, height, true, Compress(stored), Region(32, 1, {}))};
            AcsFile file = AcsFile::Parse(made.Assemble());
            CHECK(file.ImageAt(0).pixels == expected);
        }
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
    made.paletteFourthByte = 0x7F;                                        // ignored
    made.animations.push_back({"Empty", HandMadeFile::Animation(0)});     // kept, unusable
    made.states.push_back({"HIDING", {"NOWHERE"}});                       // dangling name
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
        {[] {
             Bytes r = Region(32, 1, {{0, 0, 1, 1}});
             r.pop_back();
             return r;
         }(),
         "does not hold its 1 rectangles"},
    };
    for (const auto& testCase : cases) {
        const Bytes& region = testCase.first;
        const char* expected = testCase.second;
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
