// The texts of desktop settings, and the picture a bare X screen shows, without any service.
#include "platform/linux/desktop/setting_text.h"
#include "platform/linux/desktop/wallpaper_picture.h"

#include <doctest/doctest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace zinna::linuxdesk {

TEST_CASE("colours in the forms desktops keep them") {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> colour;  // 0x00BBGGRR
    };
    for (const Case& c :
         {Case{"#023c88", 0x883C02}, Case{"#FFF", 0xFFFFFF}, Case{"#ffff00000000", 0x0000FF},
          Case{"rgb(1,2,3)", 0x030201}, Case{"10,20,30", 0x1E140A}, Case{"#12345", std::nullopt},
          Case{"rgb(1,2,300)", std::nullopt}, Case{"10,20,30x", std::nullopt}, Case{"blue", std::nullopt}}) {
        CAPTURE(std::string(c.text));
        CHECK(ParseColour(c.text) == c.colour);
    }
    CHECK(FormatColour(0x883C02) == "#023c88");
}

TEST_CASE("pictures become URIs and paths without losing a character") {
    CHECK(PictureAsUri("/home/zöe/ein Bild%.png") == "file:///home/z%C3%B6e/ein%20Bild%25.png");
    CHECK(PictureAsPath("file:///home/z%C3%B6e/ein%20Bild%25.png") == "/home/zöe/ein Bild%.png");
    CHECK(PictureAsUri("file:///kept%20as%20is") == "file:///kept%20as%20is");
    CHECK(PictureAsPath("https://example.org/a.png") == "https://example.org/a.png");
    CHECK(PictureAsUri("") == "");
    const std::string everything = "a \"quoted\" \\ line\nzöe 100% ;$()";
    CHECK(PercentDecode(PercentEncode(everything)) == everything);
    CHECK(PercentEncode(everything)
              .find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~%") ==
          std::string::npos);
}

// What a script engine makes of a literal: node evaluates it and writes the string's UTF-8 out;
// nullopt without node (then the table is checked for plain ASCII only).
std::optional<std::string> EvaluatedByNode(const std::string& literal) {
    if (access("/usr/bin/node", X_OK) != 0) return std::nullopt;
    char script[] = "/tmp/zinna-literal-XXXXXX";
    const int fd = mkstemp(script);
    REQUIRE(fd >= 0);
    close(fd);
    std::ofstream(script) << "process.stdout.write(Buffer.from(" << literal << ", 'utf8'));\n";
    std::string out;
    if (FILE* pipe = popen(("/usr/bin/node " + std::string(script)).c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
        REQUIRE(pclose(pipe) == 0);
    }
    std::remove(script);
    return out;
}

TEST_CASE("any text goes into a script as one string literal that gives it back exactly") {
    const std::string hostile[] = {
        "",
        "/home/zöe/Sommer am See.png",
        "\"); print(\"owned\"); (\"",
        "'); evil(); ('",
        "back\\slash \\u0041 \\\"",
        "line\nend\r\u2028\u2029tab\t",
        "</script><!-- ${x} `tick`",
        "\x01\x1f\x7f",
        "Emoji \xF0\x9F\x98\x80 and \xE6\xBC\xA2\xE5\xAD\x97",
    };
    for (const std::string& text : hostile) {
        CAPTURE(text);
        const auto literal = ScriptStringLiteral(text);
        REQUIRE(literal);
        // One literal: plain ASCII, quoted at both ends, no quote or backslash but its escapes.
        CHECK(literal->size() >= 2);
        CHECK(literal->front() == '"');
        CHECK(literal->back() == '"');
        const std::string inside = literal->substr(1, literal->size() - 2);
        for (std::size_t i = 0; i < inside.size(); ++i) {
            const auto c = static_cast<unsigned char>(inside[i]);
            CHECK((c >= 0x20 && c < 0x7F));
            CHECK(c != '"');
            CHECK(c != '\'');
            if (c == '\\') CHECK(inside.compare(i, 2, "\\u") == 0);
        }
        if (const auto evaluated = EvaluatedByNode(*literal)) CHECK(*evaluated == text);
    }
    // No script can hold text that is not UTF-8, nor a NUL.
    for (const std::string& broken : {std::string("\xFF\xFE"), std::string("half \xC3"), std::string("nul\0in", 6)}) {
        CAPTURE(broken);
        CHECK_FALSE(ScriptStringLiteral(broken));
    }
}

TEST_CASE("the bare screen's picture in each style, on the background colour") {
    const RgbPicture picture{2, 1, {0xFF0000, 0x00FF00}};  // red, green
    const std::uint32_t blue = 0xFF0000;                   // 0x00BBGGRR
    struct Case {
        PictureStyle style;
        std::vector<std::uint32_t> row;  // the middle row of a 6x3 screen, 0x00RRGGBB
    };
    for (const Case& c : {
             Case{PictureStyle::Centre, {0x0000FF, 0x0000FF, 0xFF0000, 0x00FF00, 0x0000FF, 0x0000FF}},
             Case{PictureStyle::Tile, {0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00, 0xFF0000, 0x00FF00}},
             Case{PictureStyle::Stretch, {0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00}},
             Case{PictureStyle::Fill, {0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0x00FF00}},
             Case{PictureStyle::ColourOnly, {0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF}},
         }) {
        CAPTURE(static_cast<int>(c.style));
        const RgbPicture screen = ComposeWallpaper(&picture, c.style, blue, 6, 3);
        CHECK(std::vector<std::uint32_t>(screen.pixels.begin() + 6, screen.pixels.begin() + 12) == c.row);
    }
    // Fit keeps the picture's shape: 6x3 on a 6x3 screen, so the top row is the picture too; on a
    // 6x6 screen the rows above and below show the colour.
    const RgbPicture fitted = ComposeWallpaper(&picture, PictureStyle::Fit, blue, 6, 6);
    CHECK(fitted.pixels[0] == 0x0000FF);
    CHECK(fitted.pixels[6 * 3] == 0xFF0000);
}

}  // namespace zinna::linuxdesk
