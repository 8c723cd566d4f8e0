// The texts of desktop settings, and the picture a bare X screen shows, without any service.
#include "platform/linux/desktop/setting_text.h"
#include "platform/linux/desktop/wallpaper_picture.h"

#include <doctest/doctest.h>

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
