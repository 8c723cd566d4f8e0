#include "platform/linux/desktop/gsettings_desktop.h"

#include "platform/linux/desktop/glib_handles.h"
#include "platform/linux/desktop/service_deadline.h"
#include "platform/linux/desktop/setting_text.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace zinna::linuxdesk {

namespace {

struct Schema {
    const char* id;
    const char* name;
    const char* pictureKey;
    bool pictureIsUri;  // MATE keeps a file name, the others a URI
};

constexpr Schema kSchemas[] = {
    {"org.gnome.desktop.background", "GNOME", "picture-uri", true},
    {"org.cinnamon.desktop.background", "Cinnamon", "picture-uri", true},
    {"org.mate.background", "MATE", "picture-filename", false},
};

constexpr char kDarkPictureKey[] = "picture-uri-dark";
constexpr char kOptionsKey[] = "picture-options";
constexpr char kColourKey[] = "primary-color";
constexpr char kShadingKey[] = "color-shading-type";

// dconf's writer on the session bus, which stores every change; GSettings reads from its database
// file without asking it. A change is sent to it and g_settings_sync() then waits for its answer,
// with GDBus' default timeout of 25 s for each: so before any change the writer must answer a ping
// within what is left of the deadline, and a writer that hangs costs that long in all.
constexpr char kDconfService[] = "ca.desrt.dconf";
constexpr char kDconfWriter[] = "/ca/desrt/dconf/Writer/user";
constexpr std::chrono::milliseconds kOperationBudget{3000};

// The picture-options nicks, the same in all three schemas.
constexpr std::pair<PictureStyle, const char*> kStyleNicks[] = {
    {PictureStyle::Tile, "wallpaper"},    {PictureStyle::Centre, "centered"}, {PictureStyle::Fit, "scaled"},
    {PictureStyle::Stretch, "stretched"}, {PictureStyle::Fill, "zoom"},       {PictureStyle::Span, "spanned"},
    {PictureStyle::ColourOnly, "none"},
};

class GSettingsDesktop final : public DesktopSettings {
public:
    GSettingsDesktop(const Schema& schema, SchemaPtr source, GObjectPtr<GSettings> settings)
        : schema_(schema), source_(std::move(source)), settings_(std::move(settings)) {
        GObject* backend = nullptr;
        g_object_get(settings_.get(), "backend", &backend, nullptr);
        const GObjectPtr<GObject> owned(backend);
        usesDconf_ = backend != nullptr && g_strcmp0(G_OBJECT_TYPE_NAME(backend), "DConfSettingsBackend") == 0;
        pictureKeys_.push_back(schema.pictureKey);
        // Newer GNOME shows a second picture in dark mode; the program's picture goes to both.
        if (schema.pictureIsUri && g_settings_schema_has_key(source_.get(), kDarkPictureKey)) {
            pictureKeys_.push_back(kDarkPictureKey);
        }
    }

    std::string Name() const override { return std::string(schema_.name) + " (" + schema_.id + ")"; }

    std::optional<Reading<std::string>> ReadPicture() override {
        GCharPtr picture(g_settings_get_string(settings_.get(), schema_.pictureKey));
        return Reading<std::string>{picture.get(), Capture(pictureKeys_)};
    }

    std::optional<Reading<PictureStyle>> ReadStyle() override {
        GCharPtr nick(g_settings_get_string(settings_.get(), kOptionsKey));
        PictureStyle style = PictureStyle::Fill;
        for (const auto& [known, knownNick] : kStyleNicks) {
            if (g_strcmp0(nick.get(), knownNick) == 0) style = known;
        }
        return Reading<PictureStyle>{style, Capture({kOptionsKey})};
    }

    std::optional<Reading<std::uint32_t>> ReadColour() override {
        GCharPtr text(g_settings_get_string(settings_.get(), kColourKey));
        return Reading<std::uint32_t>{ParseColour(text.get()).value_or(0), Capture({kColourKey, kShadingKey})};
    }

    void SetDeadline(std::optional<ServiceDeadline::Clock::time_point> until) override { deadline_.SetOuter(until); }

    bool Restore(const SettingsState& state) override {
        const ServiceDeadline::Operation operation(deadline_);
        if (!WriterAnswers()) return false;
        bool done = true;
        for (const auto& [key, stored] : state) {
            // Only the keys this desktop keeps, and only when its schema has them: GSettings ends the
            // process on a key its schema lacks, and a state (from a journal) may name any.
            const bool ours = std::find(pictureKeys_.begin(), pictureKeys_.end(), key) != pictureKeys_.end() ||
                              key == kOptionsKey || key == kColourKey || key == kShadingKey;
            if (!ours || !g_settings_schema_has_key(source_.get(), key.c_str())) {
                done = false;
                continue;
            }
            if (!stored) {
                g_settings_reset(settings_.get(), key.c_str());
                continue;
            }
            SchemaKeyPtr schemaKey(g_settings_schema_get_key(source_.get(), key.c_str()));
            VariantPtr value = VariantFromText(g_settings_schema_key_get_value_type(schemaKey.get()), *stored);
            done = value && g_settings_set_value(settings_.get(), key.c_str(), value.get()) && done;
        }
        g_settings_sync();
        return done;
    }

    bool SetPicture(const std::string& picture) override {
        const ServiceDeadline::Operation operation(deadline_);
        if (!WriterAnswers()) return false;
        const std::string stored = schema_.pictureIsUri ? PictureAsUri(picture) : PictureAsPath(picture);
        bool done = true;
        for (const char* key : pictureKeys_) done = g_settings_set_string(settings_.get(), key, stored.c_str()) && done;
        g_settings_sync();
        return done;
    }

    bool SetStyle(PictureStyle style) override {
        const ServiceDeadline::Operation operation(deadline_);
        if (!WriterAnswers()) return false;
        for (const auto& [known, nick] : kStyleNicks) {
            if (known != style) continue;
            const bool done = g_settings_set_string(settings_.get(), kOptionsKey, nick);
            g_settings_sync();
            return done;
        }
        return false;
    }

    bool SetColour(std::uint32_t colour) override {
        const ServiceDeadline::Operation operation(deadline_);
        if (!WriterAnswers()) return false;
        const bool done = g_settings_set_string(settings_.get(), kColourKey, FormatColour(colour).c_str()) &&
                          g_settings_set_string(settings_.get(), kShadingKey, "solid");
        g_settings_sync();
        return done;
    }

private:
    struct SchemaKeyUnref {
        void operator()(GSettingsSchemaKey* key) const { g_settings_schema_key_unref(key); }
    };
    using SchemaKeyPtr = std::unique_ptr<GSettingsSchemaKey, SchemaKeyUnref>;

    // Whether the settings can be changed now: true at once for a backend without a service (a
    // keyfile, memory), else when dconf's writer answers within what is left of the deadline (the
    // bus starts it when it is not running).
    bool WriterAnswers() {
        if (!usesDconf_) return true;
        const int timeoutMs = deadline_.CallTimeoutMs();
        if (timeoutMs <= 0) return false;
        GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
        if (!bus) return false;
        GError* rawError = nullptr;
        VariantPtr pong(g_dbus_connection_call_sync(bus.get(), kDconfService, kDconfWriter, "org.freedesktop.DBus.Peer",
                                                    "Ping", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs,
                                                    nullptr, &rawError));
        const ErrorPtr error(rawError);
        deadline_.Answered(error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_TIMED_OUT));
        return pong != nullptr;
    }

    // The user's own value of each key; nullopt where the key shows its default.
    SettingsState Capture(const std::vector<const char*>& keys) const {
        SettingsState state;
        for (const char* key : keys) {
            VariantPtr value(g_settings_get_user_value(settings_.get(), key));
            state[key] = value ? std::optional<std::string>(VariantText(value.get())) : std::nullopt;
        }
        return state;
    }

    const Schema& schema_;
    SchemaPtr source_;
    GObjectPtr<GSettings> settings_;
    std::vector<const char*> pictureKeys_;
    bool usesDconf_ = false;
    ServiceDeadline deadline_{kOperationBudget};
};

}  // namespace

std::unique_ptr<DesktopSettings> CreateGSettingsDesktop(GSettingsFamily family, std::string* problem) {
    const Schema& schema = kSchemas[static_cast<int>(family)];
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    SchemaPtr found(source ? g_settings_schema_source_lookup(source, schema.id, TRUE) : nullptr);
    if (!found) {
        if (problem) *problem = std::string("the settings schema ") + schema.id + " is not installed";
        return nullptr;
    }
    // Every key this layer touches must be there: a schema of another version is left alone.
    for (const char* key : {schema.pictureKey, kOptionsKey, kColourKey, kShadingKey}) {
        if (!g_settings_schema_has_key(found.get(), key)) {
            if (problem) *problem = std::string("the settings schema ") + schema.id + " has no key " + key;
            return nullptr;
        }
    }
    GObjectPtr<GSettings> settings(g_settings_new_full(found.get(), nullptr, nullptr));
    return std::make_unique<GSettingsDesktop>(schema, std::move(found), std::move(settings));
}

}  // namespace zinna::linuxdesk
