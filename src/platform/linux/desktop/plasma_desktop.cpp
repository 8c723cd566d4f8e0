#include "platform/linux/desktop/plasma_desktop.h"

#include "platform/linux/desktop/glib_handles.h"
#include "platform/linux/desktop/service_deadline.h"
#include "platform/linux/desktop/setting_text.h"

#include <chrono>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

namespace zinna::linuxdesk {

namespace {

constexpr char kService[] = "org.kde.plasmashell";
constexpr char kObject[] = "/PlasmaShell";
constexpr char kInterface[] = "org.kde.PlasmaShell";
// A whole read or change (one script) ends within this, unless a deadline set from outside ends it sooner.
constexpr std::chrono::milliseconds kOperationBudget{3000};
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

std::string DesktopKey(size_t desktop, const char* field) { return "desktop" + std::to_string(desktop) + "/" + field; }

// The desktop's number and the field of a key DesktopKey made; nullopt for any other text (a
// journal may hold anything): only these reach a script.
struct KeyParts {
    std::size_t desktop;
    const char* field;
};
std::optional<KeyParts> ParseDesktopKey(std::string_view key) {
    constexpr std::string_view kPrefix = "desktop";
    if (!key.starts_with(kPrefix)) return std::nullopt;
    key.remove_prefix(kPrefix.size());
    const std::size_t slash = key.find('/');
    // A number of four digits at most: Plasma has one desktop for each screen and activity.
    if (slash == 0 || slash == std::string_view::npos || slash > 4) return std::nullopt;
    std::size_t desktop = 0;
    for (const char digit : key.substr(0, slash)) {
        if (digit < '0' || digit > '9') return std::nullopt;
        desktop = desktop * 10 + static_cast<std::size_t>(digit - '0');
    }
    if (slash > 1 && key[0] == '0') return std::nullopt;  // one spelling for each number
    for (const char* field : kFields) {
        if (key.substr(slash + 1) == field) return KeyParts{desktop, field};
    }
    return std::nullopt;
}

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
        bool done = true;
        for (const auto& [key, value] : state) {
            const auto parts = ParseDesktopKey(key);
            const auto literal = ScriptStringLiteral(value.value_or(""));
            if (!parts || !literal) {
                done = false;  // not a setting this layer keeps: nothing of it goes into the script
                continue;
            }
            const std::string field = parts->field;
            if (field == "plugin" && !value) continue;  // every desktop has a plugin
            const std::string desktop = std::to_string(parts->desktop);
            script += "if (ds.length > " + desktop + ") { var d = ds[" + desktop + "];\n";
            if (field == "plugin") {
                script += "    d.wallpaperPlugin = " + *literal + ";\n";
            } else {
                script += "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n";
                // A write marks the desktop's settings changed, so that its wallpaper reads them
                // again once the script ends, after the removal.
                script += "    d.writeConfig(\"" + field + "\", " + *literal + ");\n";
                if (!value) script += "    imageSettings(d).deleteEntry(\"" + field + "\");\n";
            }
            script += "}\n";
        }
        return Evaluate(script).has_value() && done;
    }

    void SetDeadline(std::optional<ServiceDeadline::Clock::time_point> until) override { deadline_.SetOuter(until); }

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
    // The script's printed text; nullopt when the shell answered with an error, or not in time.
    std::optional<std::string> Evaluate(const std::string& script) {
        const ServiceDeadline::Operation operation(deadline_);
        const int timeoutMs = deadline_.CallTimeoutMs();
        if (timeoutMs <= 0) return std::nullopt;
        GError* rawError = nullptr;
        VariantPtr reply(g_dbus_connection_call_sync(bus_.get(), kService, kObject, kInterface, "evaluateScript",
                                                     g_variant_new("(s)", script.c_str()), G_VARIANT_TYPE("(s)"),
                                                     G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, &rawError));
        const ErrorPtr error(rawError);
        deadline_.Answered(error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_TIMED_OUT));
        if (!reply) return std::nullopt;
        const gchar* printed = nullptr;
        g_variant_get(reply.get(), "(&s)", &printed);
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
        const auto literal = ScriptStringLiteral(value);
        if (!literal) return false;
        const std::string script = "desktops().forEach(function (d) {\n    " + before +
                                   "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                                   "    d.writeConfig(\"" +
                                   field + "\", " + *literal + ");\n});\n";
        return Evaluate(script).has_value();
    }

    GObjectPtr<GDBusConnection> bus_;
    ServiceDeadline deadline_{kOperationBudget};
};

}  // namespace

std::unique_ptr<DesktopSettings> CreatePlasmaDesktop(std::string* problem) {
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
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
