#include "platform/linux/desktop/plasma_desktop.h"

#include "platform/linux/desktop/glib_handles.h"
#include "platform/linux/desktop/setting_text.h"

#include <sstream>
#include <utility>
#include <vector>

namespace zinna::linuxdesk {

namespace {

constexpr char kService[] = "org.kde.plasmashell";
constexpr char kObject[] = "/PlasmaShell";
constexpr char kInterface[] = "org.kde.PlasmaShell";
constexpr int kTimeoutMs = 5000;
constexpr char kImagePlugin[] = "org.kde.image";

// The settings of one desktop, in the order the read script prints them.
constexpr const char* kFields[] = {"plugin", "Image", "FillMode", "Color"};

// Prints one line per desktop: its wallpaper plugin, then the image wallpaper's Image, FillMode and
// Color, each percent-escaped so that no value can break the line, or "%" (which no escaped text
// is) for a setting with no stored value: the wallpaper shows its default there.
constexpr char kReadScript[] =
    "var lines = [];\n"
    "var unset = \"\\u0001\";\n"
    "desktops().forEach(function (d) {\n"
    "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
    "    var values = [d.wallpaperPlugin, d.readConfig(\"Image\", unset), d.readConfig(\"FillMode\", unset),\n"
    "                  d.readConfig(\"Color\", unset)];\n"
    "    lines.push(values.map(function (v) {\n"
    "        return String(v) === unset ? \"%\" : encodeURIComponent(String(v));\n"
    "    }).join(\" \"));\n"
    "});\n"
    "print(lines.join(\"\\n\"));\n";
constexpr char kUnsetField[] = "%";

// The desktop shell's own settings file, where the scripting objects keep the desktops' settings.
// A setting can only be removed there: the desktops' scripting objects write, never delete.
constexpr char kImageSettingsFunction[] =
    "function imageSettings(d) {\n"
    "    var group = ConfigFile(\"plasma-org.kde.plasma.desktop-appletsrc\", \"Containments\");\n"
    "    [String(d.id), \"Wallpaper\", \"org.kde.image\", \"General\"].forEach(function (name) {\n"
    "        group = ConfigFile(group, name);\n"
    "    });\n"
    "    return group;\n"
    "}\n";

// Plasma's image fill modes (the picture's fillMode numbers).
constexpr std::pair<PictureStyle, int> kFillModes[] = {
    {PictureStyle::Stretch, 0}, {PictureStyle::Fit, 1},  {PictureStyle::Fill, 2},       {PictureStyle::Tile, 3},
    {PictureStyle::Centre, 6},  {PictureStyle::Span, 2}, {PictureStyle::ColourOnly, 6},
};

// A script text literal: the value travels percent-escaped, so the script stays plain ASCII.
std::string Literal(const std::string& value) { return "decodeURIComponent(\"" + PercentEncode(value) + "\")"; }

std::string DesktopKey(size_t desktop, const char* field) { return "desktop" + std::to_string(desktop) + "/" + field; }

class PlasmaDesktop final : public DesktopSettings {
public:
    explicit PlasmaDesktop(GObjectPtr<GDBusConnection> bus) : bus_(std::move(bus)) {}

    std::string Name() const override { return "KDE Plasma (org.kde.PlasmaShell)"; }

    std::optional<Reading<std::string>> ReadPicture() override {
        return ReadField<std::string>(1, [](auto& text) { return text; });
    }

    std::optional<Reading<PictureStyle>> ReadStyle() override {
        return ReadField<PictureStyle>(2, [](const std::string& text) {
            const int mode = text.empty() ? 2 : std::atoi(text.c_str());  // unset: Plasma crops to fill
            if (mode == 4 || mode == 5) return PictureStyle::Tile;
            for (const auto& [style, known] : kFillModes) {
                if (known == mode) return style;
            }
            return PictureStyle::Fill;
        });
    }

    std::optional<Reading<std::uint32_t>> ReadColour() override {
        return ReadField<std::uint32_t>(3, [](const std::string& text) { return ParseColour(text).value_or(0); });
    }

    // Each desktop's plugin and stored values are written back as read; a setting that had no
    // stored value is removed again, so that the wallpaper shows its default, not an empty text.
    bool Restore(const SettingsState& state) override {
        std::string script = std::string(kImageSettingsFunction) + "var ds = desktops();\n";
        for (const auto& [key, value] : state) {
            const size_t slash = key.find('/');
            const std::string desktop = key.substr(std::string("desktop").size(), slash - 7);
            const std::string field = key.substr(slash + 1);
            if (field == "plugin" && !value) continue;  // every desktop has a plugin
            script += "if (ds.length > " + desktop + ") { var d = ds[" + desktop + "];\n";
            if (field == "plugin") {
                script += "    d.wallpaperPlugin = " + Literal(*value) + ";\n";
            } else {
                script += "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n";
                // A write marks the desktop's settings changed, so that its wallpaper reads them
                // again once the script ends, after the removal.
                script += "    d.writeConfig(\"" + field + "\", " + Literal(value.value_or("")) + ");\n";
                if (!value) script += "    imageSettings(d).deleteEntry(\"" + field + "\");\n";
            }
            script += "}\n";
        }
        return Evaluate(script).has_value();
    }

    bool SetPicture(const std::string& picture) override {
        return SetOnEveryDesktop("d.wallpaperPlugin = \"" + std::string(kImagePlugin) + "\";\n", "Image",
                                 PictureAsUri(picture));
    }

    bool SetStyle(PictureStyle style) override {
        for (const auto& [known, mode] : kFillModes) {
            if (known == style) return SetOnEveryDesktop("", "FillMode", std::to_string(mode));
        }
        return false;
    }

    bool SetColour(std::uint32_t colour) override { return SetOnEveryDesktop("", "Color", FormatColour(colour)); }

private:
    std::optional<std::string> Evaluate(const std::string& script) {
        VariantPtr reply(Gio().g_dbus_connection_call_sync(
            bus_.get(), kService, kObject, kInterface, "evaluateScript", Gio().g_variant_new("(s)", script.c_str()),
            VariantType("(s)"), G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr));
        if (!reply) return std::nullopt;
        const gchar* printed = nullptr;
        Gio().g_variant_get(reply.get(), "(&s)", &printed);
        return std::string(printed);
    }

    // Each desktop's four values (nullopt: no stored value); nullopt when the shell does not answer.
    std::optional<std::vector<std::vector<std::optional<std::string>>>> ReadDesktops() {
        const auto printed = Evaluate(kReadScript);
        if (!printed) return std::nullopt;
        std::vector<std::vector<std::optional<std::string>>> desktops;
        std::istringstream lines(*printed);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::optional<std::string>> values;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, ' ');) {
                if (field == kUnsetField) {
                    values.emplace_back(std::nullopt);
                } else {
                    values.emplace_back(PercentDecode(field));
                }
            }
            values.resize(std::size(kFields));
            desktops.push_back(std::move(values));
        }
        return desktops;
    }

    // The first desktop's field as the program sees it; the state holds the plugin and the field of
    // every desktop, since the program's change sets both.
    template <typename T, typename Convert>
    std::optional<Reading<T>> ReadField(size_t field, Convert convert) {
        const auto desktops = ReadDesktops();
        if (!desktops) return std::nullopt;
        SettingsState state;
        for (size_t i = 0; i < desktops->size(); ++i) {
            state[DesktopKey(i, kFields[0])] = (*desktops)[i][0];
            state[DesktopKey(i, kFields[field])] = (*desktops)[i][field];
        }
        const std::string first = desktops->empty() ? std::string() : (*desktops)[0][field].value_or("");
        return Reading<T>{convert(first), std::move(state)};
    }

    bool SetOnEveryDesktop(const std::string& before, const char* field, const std::string& value) {
        const std::string script = "desktops().forEach(function (d) {\n    " + before +
                                   "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                                   "    d.writeConfig(\"" +
                                   field + "\", " + Literal(value) + ");\n});\n";
        return Evaluate(script).has_value();
    }

    GObjectPtr<GDBusConnection> bus_;
};

}  // namespace

std::unique_ptr<DesktopSettings> CreatePlasmaDesktop(std::string* problem) {
    if (LoadGio(problem) == nullptr) return nullptr;
    GObjectPtr<GDBusConnection> bus(Gio().g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus) {
        *problem = "no session bus for the Plasma shell";
        return nullptr;
    }
    auto desktop = std::make_unique<PlasmaDesktop>(std::move(bus));
    if (!desktop->ReadPicture()) {
        *problem = "the Plasma shell (org.kde.plasmashell) does not answer on the session bus";
        return nullptr;
    }
    return desktop;
}

}  // namespace zinna::linuxdesk
