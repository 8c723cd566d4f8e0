#include "platform/linux/desktop/xfconf_desktop.h"

#include "platform/linux/desktop/glib_handles.h"
#include "platform/linux/desktop/setting_text.h"

#include <cmath>
#include <regex>
#include <set>
#include <utility>
#include <vector>

namespace zinna::linuxdesk {

namespace {

constexpr char kService[] = "org.xfce.Xfconf";
constexpr char kObject[] = "/org/xfce/Xfconf";
constexpr char kInterface[] = "org.xfce.Xfconf";
constexpr char kChannel[] = "xfce4-desktop";
constexpr int kTimeoutMs = 5000;
// A channel without backdrop settings yet: the first monitor's first workspace.
constexpr char kFirstBackdrop[] = "/backdrop/screen0/monitor0/workspace0/";

// xfdesktop's image-style numbers.
constexpr std::pair<PictureStyle, std::int32_t> kImageStyles[] = {
    {PictureStyle::ColourOnly, 0}, {PictureStyle::Centre, 1}, {PictureStyle::Tile, 2}, {PictureStyle::Stretch, 3},
    {PictureStyle::Fit, 4},        {PictureStyle::Fill, 5},   {PictureStyle::Span, 6},
};
constexpr std::int32_t kSolidColour = 0;

using Properties = std::map<std::string, VariantPtr>;

class XfconfDesktop final : public DesktopSettings {
public:
    explicit XfconfDesktop(GObjectPtr<GDBusConnection> bus) : bus_(std::move(bus)) {}

    std::string Name() const override { return "Xfce (xfconf channel xfce4-desktop)"; }

    std::optional<Reading<std::string>> ReadPicture() override {
        auto properties = BackdropProperties();
        if (!properties) return std::nullopt;
        const auto backdrops = Backdrops(*properties);
        std::string picture;
        if (auto found = properties->find(backdrops.front() + "last-image"); found != properties->end()) {
            if (g_variant_is_of_type(found->second.get(), G_VARIANT_TYPE_STRING)) {
                picture = g_variant_get_string(found->second.get(), nullptr);
            }
        }
        return Reading<std::string>{picture, Capture(*properties, backdrops, {"last-image"})};
    }

    std::optional<Reading<PictureStyle>> ReadStyle() override {
        auto properties = BackdropProperties();
        if (!properties) return std::nullopt;
        const auto backdrops = Backdrops(*properties);
        PictureStyle style = PictureStyle::Fill;
        if (auto found = properties->find(backdrops.front() + "image-style"); found != properties->end()) {
            const std::int32_t number = NumberOf(found->second.get());
            for (const auto& [known, knownNumber] : kImageStyles) {
                if (number == knownNumber) style = known;
            }
        }
        return Reading<PictureStyle>{style, Capture(*properties, backdrops, {"image-style"})};
    }

    std::optional<Reading<std::uint32_t>> ReadColour() override {
        auto properties = BackdropProperties();
        if (!properties) return std::nullopt;
        const auto backdrops = Backdrops(*properties);
        std::uint32_t colour = 0;
        // Newer xfdesktop keeps rgba1 (four doubles), older color1 (four 16-bit numbers).
        if (auto found = properties->find(backdrops.front() + "rgba1"); found != properties->end()) {
            colour = ColourOfChannels(found->second.get(), 1.0);
        } else if (auto old = properties->find(backdrops.front() + "color1"); old != properties->end()) {
            colour = ColourOfChannels(old->second.get(), 65535.0);
        }
        return Reading<std::uint32_t>{colour, Capture(*properties, backdrops, {"color-style", "rgba1", "color1"})};
    }

    bool Restore(const SettingsState& state) override {
        bool done = true;
        for (const auto& [property, stored] : state) {
            if (!stored) {
                done = Call("ResetProperty", g_variant_new("(ssb)", kChannel, property.c_str(), FALSE)) && done;
                continue;
            }
            VariantPtr value = VariantFromText(nullptr, *stored);
            done = value && Set(property, value.get()) && done;
        }
        return done;
    }

    bool SetPicture(const std::string& picture) override {
        return SetEverywhere("last-image", [&] { return g_variant_new_string(PictureAsPath(picture).c_str()); });
    }

    bool SetStyle(PictureStyle style) override {
        for (const auto& [known, number] : kImageStyles) {
            // A copy: Clang before 16 cannot capture a structured binding.
            const int value = number;
            if (known == style) return SetEverywhere("image-style", [value] { return g_variant_new_int32(value); });
        }
        return false;
    }

    bool SetColour(std::uint32_t colour) override {
        const double channels[] = {(colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                                   ((colour >> 16) & 0xFF) / 255.0, 1.0};
        return SetEverywhere("color-style", [] { return g_variant_new_int32(kSolidColour); }) &&
               SetEverywhere("rgba1", [&] {
                   // xfconf keeps arrays as arrays of variants.
                   GVariantBuilder builder;
                   g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
                   for (const double channel : channels) {
                       g_variant_builder_add(&builder, "v", g_variant_new_double(channel));
                   }
                   return g_variant_builder_end(&builder);
               });
    }

private:
    VariantPtr Call(const char* method, GVariant* parameters) {
        return VariantPtr(g_dbus_connection_call_sync(bus_.get(), kService, kObject, kInterface, method, parameters,
                                                      nullptr, G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr));
    }

    bool Set(const std::string& property, GVariant* value) {
        return Call("SetProperty", g_variant_new("(ssv)", kChannel, property.c_str(), value)) != nullptr;
    }

    template <typename MakeValue>
    bool SetEverywhere(const char* setting, MakeValue makeValue) {
        auto properties = BackdropProperties();
        if (!properties) return false;
        bool done = true;
        for (const auto& backdrop : Backdrops(*properties)) done = Set(backdrop + setting, makeValue()) && done;
        return done;
    }

    // Every property under /backdrop; nullopt when xfconf does not answer.
    std::optional<Properties> BackdropProperties() {
        GError* rawError = nullptr;
        VariantPtr reply(g_dbus_connection_call_sync(
            bus_.get(), kService, kObject, kInterface, "GetAllProperties", g_variant_new("(ss)", kChannel, "/backdrop"),
            G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, &rawError));
        ErrorPtr error(rawError);
        Properties properties;
        if (!reply) {
            // An empty channel is an error of xfconf's own, not a missing service.
            const bool emptyChannel = error && g_dbus_error_is_remote_error(error.get()) &&
                                      !g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) &&
                                      !g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
            if (emptyChannel) return properties;
            return std::nullopt;
        }
        VariantPtr dictionary(g_variant_get_child_value(reply.get(), 0));
        GVariantIter iter;
        g_variant_iter_init(&iter, dictionary.get());
        const gchar* name = nullptr;
        GVariant* value = nullptr;
        while (g_variant_iter_next(&iter, "{&sv}", &name, &value)) properties[name] = VariantPtr(value);
        return properties;
    }

    // "/backdrop/screen0/monitorHDMI-1/workspace0/" and the like, sorted; never empty.
    static std::vector<std::string> Backdrops(const Properties& properties) {
        static const std::regex kBackdrop("^(/backdrop/screen[0-9]+/monitor[^/]+/workspace[0-9]+/)[^/]+$");
        std::set<std::string> found;
        for (const auto& [name, value] : properties) {
            std::smatch match;
            if (std::regex_match(name, match, kBackdrop)) found.insert(match[1]);
        }
        if (found.empty()) found.insert(kFirstBackdrop);
        return {found.begin(), found.end()};
    }

    static SettingsState Capture(const Properties& properties, const std::vector<std::string>& backdrops,
                                 std::initializer_list<const char*> settings) {
        SettingsState state;
        for (const auto& backdrop : backdrops) {
            for (const char* setting : settings) {
                const auto found = properties.find(backdrop + setting);
                state[backdrop + setting] =
                    found == properties.end() ? std::nullopt : std::optional(VariantText(found->second.get()));
            }
        }
        return state;
    }

    static std::int32_t NumberOf(GVariant* value) {
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) return g_variant_get_int32(value);
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32))
            return static_cast<std::int32_t>(g_variant_get_uint32(value));
        return -1;
    }

    // Red, green and blue of an array of variants, each scaled from 0..full.
    static std::uint32_t ColourOfChannels(GVariant* array, double full) {
        if (!g_variant_is_of_type(array, G_VARIANT_TYPE("av")) || g_variant_n_children(array) < 3) return 0;
        std::uint32_t colour = 0;
        for (size_t i = 0; i < 3; ++i) {
            VariantPtr boxed(g_variant_get_child_value(array, i));
            VariantPtr item(g_variant_get_variant(boxed.get()));
            double channel = 0;
            if (g_variant_is_of_type(item.get(), G_VARIANT_TYPE_DOUBLE)) channel = g_variant_get_double(item.get());
            if (g_variant_is_of_type(item.get(), G_VARIANT_TYPE_UINT16)) channel = g_variant_get_uint16(item.get());
            const auto byte = static_cast<std::uint32_t>(std::lround(std::clamp(channel / full, 0.0, 1.0) * 255));
            colour |= byte << (8 * i);
        }
        return colour;
    }

    GObjectPtr<GDBusConnection> bus_;
};

}  // namespace

std::unique_ptr<DesktopSettings> CreateXfconfDesktop(std::string* problem) {
    GError* rawError = nullptr;
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &rawError));
    ErrorPtr error(rawError);
    if (!bus) {
        *problem = std::string("no session bus for xfconf (") + (error ? error->message : "") + ")";
        return nullptr;
    }
    // A ping starts xfconfd if the bus knows how to, and tells whether it answers.
    VariantPtr pong(g_dbus_connection_call_sync(bus.get(), kService, kObject, "org.freedesktop.DBus.Peer", "Ping",
                                                nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr,
                                                &rawError));
    error.reset(rawError);
    if (!pong) {
        *problem = std::string("xfconf does not answer on the session bus (") + (error ? error->message : "") + ")";
        return nullptr;
    }
    return std::make_unique<XfconfDesktop>(std::move(bus));
}

}  // namespace zinna::linuxdesk
