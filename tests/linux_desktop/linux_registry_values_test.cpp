// The desktop key answers as a Windows registry key would: sizes, ERROR_MORE_DATA, types, values
// of other names; and what reading, writing and deleting the wallpaper values do to the settings.
#include "linux_desktop_support.h"

#include <gio/gio.h>

namespace zinna::linuxdesk::testing {

namespace {

const char kSchema[] = "org.gnome.desktop.background";

struct FreshGnome {
    GSettings* settings = g_settings_new(kSchema);
    std::unique_ptr<ZinnaModule> module;
    RegistryKey key = 0;

    FreshGnome() {
        for (const char* name :
             {"picture-uri", "picture-uri-dark", "picture-options", "primary-color", "color-shading-type"}) {
            g_settings_reset(settings, name);
        }
        g_settings_sync();
        module = ModuleOn("gnome", MakeDataFolder());
        REQUIRE(module->RegOpenKeyExA(HKEY_CURRENT_USER, "control panel\\DESKTOP", 0, KEY_READ, &key) == ERROR_SUCCESS);
    }
    ~FreshGnome() {
        module->RegCloseKey(key);
        g_object_unref(settings);
    }
    bool HasUserValue(const char* name) const {
        GVariant* value = g_settings_get_user_value(settings, name);
        if (value) g_variant_unref(value);
        return value != nullptr;
    }
    std::string Text(const char* name) const {
        gchar* text = g_settings_get_string(settings, name);
        std::string result = text;
        g_free(text);
        return result;
    }
    std::int32_t Set(const char* name, const std::string& text) {
        return module->RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                      static_cast<std::uint32_t>(text.size() + 1));
    }
};

}  // namespace

TEST_CASE("the desktop key gives Windows' answers") {
    FreshGnome gnome;
    RegistryKey other = 0;
    CHECK(gnome.module->RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Colors", &other) == ERROR_FILE_NOT_FOUND);
    CHECK(gnome.module->RegOpenKeyA(0x80000002, "Control Panel\\Desktop", &other) == ERROR_INVALID_HANDLE);

    const std::string uri = gnome.Text("picture-uri");
    std::uint32_t type = 0, size = 0;
    CHECK(gnome.module->RegQueryValueExA(gnome.key, "WALLPAPER", &type, nullptr, &size) == ERROR_SUCCESS);
    CHECK(type == REG_SZ);
    CHECK(size == uri.size() + 1);
    std::vector<std::uint8_t> small(4);
    size = 4;
    CHECK(gnome.module->RegQueryValueExA(gnome.key, "Wallpaper", &type, small.data(), &size) == ERROR_MORE_DATA);
    CHECK(size == uri.size() + 1);
    std::vector<std::uint8_t> whole(size);
    CHECK(gnome.module->RegQueryValueExA(gnome.key, "Wallpaper", &type, whole.data(), &size) == ERROR_SUCCESS);
    CHECK(std::string(whole.begin(), whole.end()) == uri + '\0');

    // Values of other names keep their type and bytes for the run, and can be deleted.
    const std::uint8_t bytes[] = {1, 0, 2};
    CHECK(gnome.module->RegSetValueExA(gnome.key, "Other", 0, 3, bytes, 3) == ERROR_SUCCESS);
    std::uint8_t back[3] = {};
    size = 3;
    CHECK(gnome.module->RegQueryValueExA(gnome.key, "other", &type, back, &size) == ERROR_SUCCESS);
    CHECK((type == 3 && size == 3 && back[0] == 1 && back[1] == 0 && back[2] == 2));
    CHECK(gnome.module->RegDeleteValueA(gnome.key, "Other") == ERROR_SUCCESS);
    CHECK(gnome.module->RegQueryValueExA(gnome.key, "Other", &type, back, &size) == ERROR_FILE_NOT_FOUND);
    CHECK(gnome.module->RegCloseKey(gnome.key + 1) == ERROR_INVALID_HANDLE);
}

TEST_CASE("a picture longer than the program's first buffer is read whole and written back exactly") {
    FreshGnome gnome;
    const std::string longUri = "file:///home/z%C3%B6e/" + std::string(300, 'a') + "%20b.png";
    g_settings_set_string(gnome.settings, "picture-uri", longUri.c_str());
    ProgramOnDesktop program(*gnome.module);
    program.Start();
    CHECK(program.Form().sOldWallPaper == longUri);
    program.Quit();
    CHECK(gnome.Text("picture-uri") == longUri);
    CHECK_FALSE(gnome.HasUserValue("picture-uri-dark"));
}

TEST_CASE("style values: the pair Windows writes picks the desktop's style, and reads back as written") {
    FreshGnome gnome;
    struct Case {
        const char* tile;
        const char* style;
        const char* options;
    };
    for (const Case& c :
         {Case{"1", "0", "wallpaper"}, Case{"0", "0", "centered"}, Case{"0", "2", "stretched"},
          Case{"0", "6", "scaled"}, Case{"0", "10", "zoom"}, Case{"0", "22", "spanned"}, Case{"1", "2", "wallpaper"}}) {
        CAPTURE(c.style);
        CHECK(gnome.Set("TileWallpaper", c.tile) == ERROR_SUCCESS);
        CHECK(gnome.Set("WallpaperStyle", c.style) == ERROR_SUCCESS);
        CHECK(gnome.Text("picture-options") == c.options);
    }
    // A style Windows does not know leaves the desktop's as it is, and reads back as written.
    CHECK(gnome.Set("WallpaperStyle", "7") == ERROR_SUCCESS);
    CHECK(gnome.Text("picture-options") == "wallpaper");
    char text[8] = {};
    std::uint32_t size = sizeof text;
    gnome.module->RegQueryValueExA(gnome.key, "WallpaperStyle", nullptr, reinterpret_cast<std::uint8_t*>(text), &size);
    CHECK(std::string(text) == "7");
    // Deleting both style values, or the picture, puts the desktop's defaults back.
    CHECK(gnome.module->RegDeleteValueA(gnome.key, "TileWallpaper") == ERROR_SUCCESS);
    CHECK(gnome.module->RegDeleteValueA(gnome.key, "WallpaperStyle") == ERROR_SUCCESS);
    CHECK_FALSE(gnome.HasUserValue("picture-options"));
    CHECK(gnome.Set("Wallpaper", "/srv/ein Bild.png") == ERROR_SUCCESS);
    CHECK(gnome.Text("picture-uri") == "file:///srv/ein%20Bild.png");
    CHECK(gnome.Text("picture-uri-dark") == "file:///srv/ein%20Bild.png");
    CHECK(gnome.module->RegDeleteValueA(gnome.key, "Wallpaper") == ERROR_SUCCESS);
    CHECK_FALSE(gnome.HasUserValue("picture-uri"));
    CHECK_FALSE(gnome.HasUserValue("picture-uri-dark"));
}

TEST_CASE("the desktop is the one ZINNA_DESKTOP forces, else XDG_CURRENT_DESKTOP's, else the one answering") {
    const auto dataFolder = MakeDataFolder();
    // Which desktop a module styles, seen in where its wallpaper call lands.
    const auto landsIn = [&](const char* schema, const char* key) {
        GSettings* settings = g_settings_new(schema);
        g_settings_reset(settings, key);
        unsetenv("ZINNA_DESKTOP");
        auto module = CreateLinuxModule(LinuxDesktopContext{nullptr, dataFolder.string()});
        module->SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "/srv/probe.png", SPIF_UPDATEINIFILE);
        gchar* text = g_settings_get_string(settings, key);
        const bool landed = std::string(text).find("/srv/probe.png") != std::string::npos;
        g_free(text);
        g_settings_reset(settings, key);
        g_object_unref(settings);
        return landed;
    };
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    CHECK(landsIn("org.gnome.desktop.background", "picture-uri"));
    setenv("XDG_CURRENT_DESKTOP", "X-Cinnamon", 1);
    CHECK(landsIn("org.cinnamon.desktop.background", "picture-uri"));
    setenv("XDG_CURRENT_DESKTOP", "MATE", 1);
    CHECK(landsIn("org.mate.background", "picture-filename"));
    setenv("XDG_CURRENT_DESKTOP", "i3", 1);  // not a desktop with settings: the bare X screen
    CHECK_FALSE(landsIn("org.gnome.desktop.background", "picture-uri"));

    // Forced by a name it does not know: one line, then detected as usual.
    CapturedStderr errors;
    setenv("ZINNA_DESKTOP", "amiga", 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    auto module = CreateLinuxModule(LinuxDesktopContext{nullptr, dataFolder.string()});
    CHECK(errors.Text() ==
          "zinna: ZINNA_DESKTOP=amiga is not one of gnome, cinnamon, mate, xfce, kde, x11; detecting\n");
    RegistryKey key = 0;
    CHECK(module->RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) == ERROR_SUCCESS);

    // No name at all: the desktop whose service has an owner on the session bus.
    unsetenv("XDG_CURRENT_DESKTOP");
    const auto log = dataFolder / "detect.log", reply = dataFolder / "detect-reply.txt";
    std::ofstream(reply) << "org.kde.image %2Fa.png 2 %23000000\n";
    PlasmaStandIn standIn(log, reply);
    unsetenv("ZINNA_DESKTOP");
    auto plasma = CreateLinuxModule(LinuxDesktopContext{nullptr, dataFolder.string()});
    CHECK(plasma->SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, "/srv/probe.png", SPIF_UPDATEINIFILE));
    standIn.Stop();
    std::stringstream sent;
    sent << std::ifstream(log).rdbuf();
    CHECK(sent.str().find("\"file:///srv/probe.png\"") != std::string::npos);
}

}  // namespace zinna::linuxdesk::testing
