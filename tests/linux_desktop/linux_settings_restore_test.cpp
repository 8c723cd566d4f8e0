// The desktop's look through the program's start-up and quit, against the real settings services
// of each desktop on a private session: the program's picture, style and colour while it runs,
// and afterwards every setting exactly as it was, a setting at its default reset to it.
#include "linux_desktop_support.h"
#include "xfconf_calls.h"

#include <gio/gio.h>

#include <map>
#include <optional>
#include <vector>

namespace zinna::linuxdesk::testing {

namespace {

// A key's stored text (GVariant form), nullopt at its default.
using Stored = std::map<std::string, std::optional<std::string>>;

struct Family {
    const char* desktop;
    const char* schema;
    const char* pictureKey;
    bool darkKey;
    const char* userPicture;  // with escapes, a space and a non-ASCII letter
};

const Family kFamilies[] = {
    {"gnome", "org.gnome.desktop.background", "picture-uri", true,
     "file:///home/z%C3%B6e/Bilder/Sommer%20am%20See.png"},
    {"cinnamon", "org.cinnamon.desktop.background", "picture-uri", false,
     "file:///home/z%C3%B6e/Bilder/Sommer%20am%20See.png"},
    {"mate", "org.mate.background", "picture-filename", false, "/home/zöe/Bilder/Sommer am See.png"},
};

std::vector<std::string> KeysOf(const Family& family) {
    std::vector<std::string> keys{family.pictureKey, "picture-options", "primary-color", "color-shading-type"};
    if (family.darkKey) keys.push_back("picture-uri-dark");
    return keys;
}

Stored StoredKeys(GSettings* settings, const Family& family) {
    Stored stored;
    for (const auto& key : KeysOf(family)) {
        GVariant* value = g_settings_get_user_value(settings, key.c_str());
        if (value == nullptr) {
            stored[key] = std::nullopt;
            continue;
        }
        gchar* text = g_variant_print(value, FALSE);
        stored[key] = std::string(text);
        g_free(text);
        g_variant_unref(value);
    }
    return stored;
}

std::string Quoted(const std::string& text) {
    GVariant* value = g_variant_ref_sink(g_variant_new_string(text.c_str()));
    gchar* printed = g_variant_print(value, FALSE);
    std::string result = printed;
    g_free(printed);
    g_variant_unref(value);
    return result;
}

}  // namespace

TEST_CASE("a GSettings desktop wears the program's look while it runs and gets every setting back") {
    const auto dataFolder = MakeDataFolder();
    const std::string bitmap = (dataFolder / "LH1024x768.bmp").string();
    gchar* uri = g_filename_to_uri(bitmap.c_str(), nullptr, nullptr);
    const std::string bitmapUri = uri;
    g_free(uri);

    for (const Family& family : kFamilies) {
        GSettings* settings = g_settings_new(family.schema);
        // The user's settings before the program starts: all at their defaults, all set, or a mix.
        struct Before {
            const char* name;
            bool setPicture, setDark, setOptions;
            const char* colour;  // with a vertical gradient; nullptr: colour and shading at their defaults
        };
        for (const Before& before :
             {Before{"defaults", false, false, false, nullptr}, Before{"all set", true, true, true, "#123456"},
              Before{"picture set, the rest default", true, false, false, nullptr},
              Before{"a gradient from black", false, false, false, "#000000"}}) {
            CAPTURE(family.desktop);
            CAPTURE(before.name);
            for (const auto& key : KeysOf(family)) g_settings_reset(settings, key.c_str());
            if (before.setPicture) g_settings_set_string(settings, family.pictureKey, family.userPicture);
            if (before.setDark && family.darkKey) {
                g_settings_set_string(settings, "picture-uri-dark", "file:///home/z%C3%B6e/dunkel%20%26%20hell.jpg");
            }
            if (before.setOptions) g_settings_set_string(settings, "picture-options", "wallpaper");
            if (before.colour) {
                g_settings_set_string(settings, "primary-color", before.colour);
                g_settings_set_string(settings, "color-shading-type", "vertical");
            }
            g_settings_sync();
            const Stored userSettings = StoredKeys(settings, family);

            auto module = ModuleOn(family.desktop, dataFolder);
            ProgramOnDesktop program(*module);
            program.Start();
            const Stored running = StoredKeys(settings, family);
            const std::string shownPicture =
                family.darkKey || std::string(family.pictureKey) == "picture-uri" ? bitmapUri : bitmap;
            CHECK(running.at(family.pictureKey) == Quoted(shownPicture));
            if (family.darkKey) CHECK(running.at("picture-uri-dark") == Quoted(bitmapUri));
            CHECK(running.at("picture-options") == "'stretched'");
            // The colour as shown: where the user's default is already black and solid, it stays default.
            gchar* colour = g_settings_get_string(settings, "primary-color");
            gchar* shading = g_settings_get_string(settings, "color-shading-type");
            CHECK(std::string(colour) == "#000000");
            CHECK(std::string(shading) == "solid");
            g_free(colour);
            g_free(shading);
            if (before.setPicture) CHECK(program.Form().sOldWallPaper == family.userPicture);

            program.Quit();
            CHECK(StoredKeys(settings, family) == userSettings);
        }
        g_object_unref(settings);
    }
}

TEST_CASE("a GSettings state naming keys the desktop does not keep is refused key by key, never fatal") {
    const auto dataFolder = MakeDataFolder();
    auto module = ModuleOn("gnome", dataFolder);
    GSettings* settings = g_settings_new("org.gnome.desktop.background");
    g_settings_set_string(settings, "primary-color", "#101010");
    g_settings_sync();
    struct Case {
        const char* what;
        const char* key;
    };
    const Case cases[] = {
        {"a key no schema has", "no-such-key"},
        {"a key of the schema the desktop does not keep", "show-desktop-icons"},
        {"an empty name", ""},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        DesktopState state{{c.key, std::string("true")}, {"primary-color", std::string("'#202020'")}};
        CHECK_FALSE(RestoreDesktopState(*module, state));  // the process lives on to say so
        gchar* colour = g_settings_get_string(settings, "primary-color");
        CHECK(std::string(colour) == "#202020");  // the keys it keeps still go back
        g_free(colour);
        g_settings_set_string(settings, "primary-color", "#101010");
        g_settings_sync();
    }
    g_object_unref(settings);
}

namespace {

void SetXfconf(GDBusConnection* bus, const std::string& property, const char* text) {
    GVariant* value = g_variant_parse(nullptr, text, nullptr, nullptr, nullptr);
    REQUIRE(value != nullptr);
    GVariant* reply = XfconfCall(bus, "SetProperty", g_variant_new("(ssv)", "xfce4-desktop", property.c_str(), value));
    REQUIRE(reply != nullptr);
    g_variant_unref(reply);
}

}  // namespace

TEST_CASE("every Xfce monitor and workspace wears the program's look and gets its own back") {
    const auto dataFolder = MakeDataFolder();
    const std::string bitmap = (dataFolder / "LH1024x768.bmp").string();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    REQUIRE(bus != nullptr);
    const std::string first = "/backdrop/screen0/monitorDP-1/workspace0/";  // the first by name
    const std::string second = "/backdrop/screen0/monitorVGA-1/workspace1/";
    const std::string third = "/backdrop/screen0/monitorHDMI-1/workspace0/";
    // The first backdrop has every setting; the others only a picture: what they lack stays absent.
    SetXfconf(bus, first + "last-image", "'/home/zöe/Bilder/Sommer am See.png'");
    SetXfconf(bus, first + "image-style", "5");
    SetXfconf(bus, first + "color-style", "1");
    SetXfconf(bus, first + "rgba1", "[<0.25>, <0.5>, <0.75>, <1.0>]");
    SetXfconf(bus, second + "last-image", "'/usr/share/backgrounds/xfce/xfce-shapes.svg'");
    SetXfconf(bus, third + "last-image", "''");
    const auto userSettings = XfconfBackdrops(bus);

    auto module = ModuleOn("xfce", dataFolder);
    ProgramOnDesktop program(*module);
    program.Start();
    const auto running = XfconfBackdrops(bus);
    for (const auto& backdrop : {first, second, third}) {
        CAPTURE(backdrop);
        gchar* quoted = g_variant_print(g_variant_new_string(bitmap.c_str()), TRUE);
        CHECK(running.at(backdrop + "last-image") == quoted);
        g_free(quoted);
        CHECK(running.at(backdrop + "image-style") == "3");  // stretched
        CHECK(running.at(backdrop + "color-style") == "0");  // solid
        CHECK(running.at(backdrop + "rgba1") == "[<0.0>, <0.0>, <0.0>, <1.0>]");
    }
    CHECK(program.Form().sOldWallPaper == "/home/zöe/Bilder/Sommer am See.png");
    CHECK(program.Form().sOldWallPaperStyle == "10");  // zoomed: Windows' "fill"

    program.Quit();
    CHECK(XfconfBackdrops(bus) == userSettings);
    g_object_unref(bus);
}

}  // namespace zinna::linuxdesk::testing
