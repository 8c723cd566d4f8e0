// The restore journal's file format and the file it is kept in: what is written reads back
// exactly, and anything else, however small the difference, is rejected whole.
#include "platform/journal/journal_file.h"
#include "platform/journal/journal_format.h"

#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <random>

using namespace zinna::journal;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

DesktopRecord SampleRecord() {
    DesktopRecord record;
    record.desktop = "windows:S-1-5-21-1-2-3-1001";
    record.backend = "registry";
    // Every byte value, a NUL inside; an expandable text; one missing. (An empty one and one that
    // could not be read are in the table below.)
    std::vector<std::uint8_t> everyByte;
    for (int b = 0; b < 256; ++b) everyByte.push_back(static_cast<std::uint8_t>(b));
    record.values = {{"Wallpaper", SavedValue::State::Present, 1, everyByte},
                     {"TileWallpaper", SavedValue::State::Missing, 0, {}},
                     {"WallpaperStyle", SavedValue::State::Present, 2, {'1', '0'}}};
    record.color = 0x00808000;
    // A desktop's own settings: any text, an empty one, and one that was not set.
    record.settings = {{"/backdrop/screen0/last-image", std::string("file:///a b\nc")},
                       {"picture-uri-dark", std::string()},
                       {"_XROOTPMAP_ID", std::nullopt}};
    return record;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    auto at = text.find(from);
    REQUIRE(at != std::string::npos);
    return text.replace(at, from.size(), to);
}

// A journal with a changed body and a checksum that matches it, to reach the checks behind it.
std::string Resealed(const std::string& body) {
    return body + "checksum " + [&] {
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", Crc32(Bytes(body)));
        return std::string(hex);
    }() + "\n";
}

std::string BodyOf(const std::string& journal) { return journal.substr(0, journal.rfind("checksum ")); }

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        std::random_device random;
        path = std::filesystem::temp_directory_path() / ("zinna-journal-test-" + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

TEST_CASE("CRC-32 is the common one") {
    CHECK(Crc32(Bytes("123456789")) == 0xCBF43926u);
    CHECK(Crc32(Bytes("")) == 0u);
}

TEST_CASE("a journal reads back exactly as it was written") {
    const DesktopRecord record = SampleRecord();
    const std::string text = SerializeJournal(record);
    ParsedJournal parsed = ParseJournal(Bytes(text));
    REQUIRE_MESSAGE(parsed.record, parsed.problem);
    CHECK(*parsed.record == record);
    CHECK(text.rfind("Zinna restore journal\nversion 2\ndesktop windows:S-1-5-21-1-2-3-1001\nbackend registry\n", 0) ==
          0);
    CHECK(text.find("value TileWallpaper missing\n") != std::string::npos);
    CHECK(text.find("value WallpaperStyle present 2 3130\n") != std::string::npos);

    // The other states a value can be in, and a journal of the first format, without a backend.
    DesktopRecord other = record;
    other.values[0] = {"Wallpaper", SavedValue::State::Present, 1, {}};
    other.values[2] = {"WallpaperStyle", SavedValue::State::Unknown, 0, {}};
    const std::string otherText = SerializeJournal(other);
    CHECK(otherText.find("value Wallpaper present 1 -\n") != std::string::npos);
    CHECK(otherText.find("value WallpaperStyle unknown\n") != std::string::npos);
    CHECK(ParseJournal(Bytes(otherText)).record == other);
    std::string first = otherText.substr(0, otherText.rfind("checksum "));
    first.replace(first.find("version 2"), 9, "version 1");
    first.erase(first.find("backend registry\n"), 17);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", Crc32(Bytes(first)));
    other.backend.clear();
    CHECK(ParseJournal(Bytes(first + "checksum " + hex + "\n")).record == other);
    CHECK(text.find("setting 706963747572652d7572692d6461726b -\n") != std::string::npos);
    CHECK(text.find("setting 5f58524f4f54504d41505f4944 unset\n") != std::string::npos);
}

TEST_CASE("a journal that differs in any way from the format is rejected whole, with the reason") {
    const std::string good = SerializeJournal(SampleRecord());
    const std::string body = BodyOf(good);
    struct Case {
        const char* what;
        std::string text;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"empty", "", "empty"},
        {"cut short in the middle", good.substr(0, good.size() / 2), ""},
        {"its last newline missing", good.substr(0, good.size() - 1), "no checksum"},
        {"one data bit flipped", Replace(good, "present 2 3130", "present 2 3131"), "checksum does not match"},
        {"the colour changed", Replace(good, "color 00808000", "color 00808001"), "checksum does not match"},
        {"another title", Replace(good, "Zinna restore journal", "Zinna restore journa1"), "does not start"},
        {"an older format", Resealed(Replace(body, "version 2", "version 0")), "format version 0 is not one"},
        {"a newer format", Resealed(Replace(body, "version 2", "version 3")), "format version 3 is newer"},
        {"a version with a leading zero", Resealed(Replace(body, "version 2", "version 02")), "version 02 is not one"},
        {"upper-case hex", Resealed(Replace(body, "present 2 3130", "present 2 3A30")), "WallpaperStyle is malformed"},
        {"odd hex digits", Resealed(Replace(body, "present 2 3130", "present 2 313")), "WallpaperStyle is malformed"},
        {"a type above 32 bits", Resealed(Replace(body, "present 2 ", "present 4294967298 ")), "malformed"},
        {"a type with a leading zero", Resealed(Replace(body, "present 2 ", "present 02 ")), "malformed"},
        {"a number, not a text", Resealed(Replace(body, "present 2 3130", "present 4 0a000000")), "type 4, not text"},
        {"binary data", Resealed(Replace(body, "present 2 3130", "present 3 3130")), "type 3, not text"},
        {"a value of another name", Resealed(Replace(body, "value TileWallpaper ", "value SCRNSAVE.EXE ")),
         "SCRNSAVE.EXE, not one of its own"},
        {"a name in other letter case", Resealed(Replace(body, "value TileWallpaper ", "value tilewallpaper ")),
         "not one of its own"},
        {"a value left out", Resealed(Replace(body, "value TileWallpaper missing\n", "")),
         "what became of TileWallpaper"},
        {"a value twice", Resealed(Replace(body, "value TileWallpaper ", "value Wallpaper ")), "appears twice"},
        {"no values", Resealed("Zinna restore journal\nversion 2\ndesktop d\nbackend registry\ncolor 00000000\n"),
         "no values"},
        {"no colour", Resealed(Replace(body, "color 00808000\n", "")), "no desktop colour"},
        {"no desktop", Resealed(Replace(body, "desktop windows:S-1-5-21-1-2-3-1001\n", "")), "no desktop"},
        {"no backend", Resealed(Replace(body, "backend registry\n", "")), "no settings backend"},
        {"a backend with a space", Resealed(Replace(body, "backend registry", "backend reg istry")),
         "no settings backend"},
        {"Windows line ends", Resealed(Replace(body, "version 2\n", "version 2\r\n")), "version"},
        {"something after the checksum", good + "\n", "follows its checksum"},
        {"a value state it does not know", Resealed(Replace(body, "TileWallpaper missing", "TileWallpaper gone")),
         "malformed"},
        {"a setting with no name", Resealed(Replace(body, "setting 5f58524f4f54504d41505f4944 ", "setting - ")),
         "setting line is malformed"},
        {"a setting state it does not know", Resealed(Replace(body, " unset\n", " gone\n")), "setting line"},
        {"a setting before the colour", Resealed(Replace(body, "color 00808000\n", "") + "color 00808000\n"),
         "no desktop colour"},
        {"larger than a journal can be", good + std::string(kMaxJournalBytes, 'x'), "larger"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        ParsedJournal parsed = ParseJournal(Bytes(c.text));
        CHECK_FALSE(parsed.record);
        CHECK(parsed.newer == (std::string(c.what) == "a newer format"));  // kept for its writer, not set aside
        CHECK(parsed.problem.find(c.problem) != std::string::npos);
        CHECK_FALSE(parsed.problem.empty());
    }
}

TEST_CASE("the journal file is replaced whole, removed, and set aside") {
    TempFolder folder;
    const auto path = folder.path / "state" / "restore.journal";  // the folder is made on the first write
    auto file = OpenJournalFile(path);
    CHECK(file->Read(1024).status == FileContents::Status::Absent);
    CHECK(file->Remove());  // nothing to remove is no failure

    REQUIRE(file->Write(Bytes("first")));
    REQUIRE(file->Write(Bytes("second")));
    FileContents contents = file->Read(1024);
    CHECK(contents.status == FileContents::Status::Read);
    CHECK(std::string(contents.bytes.begin(), contents.bytes.end()) == "second");
    CHECK(file->Read(5).status == FileContents::Status::Unreadable);                         // larger than the limit
    CHECK(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}) == 1);  // no temporary left

    REQUIRE(file->SetAside());
    CHECK(file->Read(1024).status == FileContents::Status::Absent);
    CHECK(ReadText(path.string() + ".bad") == "second");
    REQUIRE(file->Write(Bytes("third")));
    REQUIRE(file->SetAside());  // an earlier one keeps its name and its contents
    REQUIRE(file->Write(Bytes("fourth")));
    REQUIRE(file->SetAside());
    CHECK(ReadText(path.string() + ".bad") == "second");
    CHECK(ReadText(path.string() + ".2.bad") == "third");
    CHECK(ReadText(path.string() + ".3.bad") == "fourth");
    for (int number = 4; number <= kMaxSetAside; ++number) {
        REQUIRE(file->Write(Bytes("more")));
        REQUIRE(file->SetAside());
    }
    REQUIRE(file->Write(Bytes("one too many")));
    CHECK_FALSE(file->SetAside());  // the caller then removes it: the folder does not fill up
    CHECK(ReadText(path.string() + ".bad") == "second");

    REQUIRE(file->Write(Bytes("fifth")));
    CHECK(file->Remove());
    CHECK_FALSE(std::filesystem::exists(path));
}

TEST_CASE("a write that fails leaves the old journal as it was and no temporary file") {
    TempFolder folder;
    const auto path = folder.path / "restore.journal";
    auto file = OpenJournalFile(path);
    REQUIRE(file->Write(Bytes("old")));
    // A folder where the temporary file would go: it cannot be created.
    std::filesystem::create_directory(path.string() + ".tmp");
    CHECK_FALSE(file->Write(Bytes("new")));
    CHECK(ReadText(path) == "old");
    CHECK(std::filesystem::is_directory(path.string() + ".tmp"));
}
