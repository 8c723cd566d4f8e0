#include "platform/linux/desktop/xfconf_desktop.h"

#include "platform/linux/desktop/glib_handles.h"
#include "platform/linux/desktop/service_deadline.h"
#include "platform/linux/desktop/setting_text.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace zinna::linuxdesk {

namespace {

constexpr char kService[] = "org.xfce.Xfconf";
constexpr char kObject[] = "/org/xfce/Xfconf";
constexpr char kInterface[] = "org.xfce.Xfconf";
constexpr char kChannel[] = "xfce4-desktop";
// A whole read or change of the channel, however many properties it takes, ends within this: a hung
// xfconfd costs a few seconds in all, not a timeout a property.
constexpr std::chrono::milliseconds kOperationBudget{3000};
using SteadyClock = std::chrono::steady_clock;

// xfconf's own answer for a channel or property that does not exist: not an error of the service.
bool IsNotFound(const GError* error) {
    if (error == nullptr || !g_dbus_error_is_remote_error(error)) return false;
    gchar* name = g_dbus_error_get_remote_error(error);
    const std::string remote = name ? name : "";
    g_free(name);
    return remote == "org.xfce.Xfconf.Error.PropertyNotFound" || remote == "org.xfce.Xfconf.Error.ChannelNotFound";
}
// GDBus' own error for a call that got no answer in time.
bool TimedOut(const GError* error) {
    return error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT);
}

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

    void SetDeadline(std::optional<SteadyClock::time_point> until) override { deadline_.SetOuter(until); }

    std::optional<Reading<std::string>> ReadPicture() override {
        Operation operation(deadline_);
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
        Operation operation(deadline_);
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
        Operation operation(deadline_);
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
        Operation operation(deadline_);
        bool done = true;
        std::vector<Request> requests;
        for (const auto& [property, stored] : state) {
            if (!stored) {
                // A property already absent is as the state asks.
                requests.push_back(
                    {"ResetProperty", OwnVariant(g_variant_new("(ssb)", kChannel, property.c_str(), FALSE)), true});
                continue;
            }
            VariantPtr value = VariantFromText(nullptr, *stored);
            if (!value) {
                done = false;
                continue;
            }
            requests.push_back({"SetProperty", SetRequest(property, value.get()), false});
        }
        return CallAll(std::move(requests)) && done;
    }

    bool SetPicture(const std::string& picture) override {
        Operation operation(deadline_);
        return SetEverywhere("last-image", [&] { return g_variant_new_string(PictureAsPath(picture).c_str()); });
    }

    bool SetStyle(PictureStyle style) override {
        Operation operation(deadline_);
        for (const auto& [known, number] : kImageStyles) {
            // A copy: Clang before 16 cannot capture a structured binding.
            const int value = number;
            if (known == style) return SetEverywhere("image-style", [value] { return g_variant_new_int32(value); });
        }
        return false;
    }

    bool SetColour(std::uint32_t colour) override {
        Operation operation(deadline_);
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
    using Operation = ServiceDeadline::Operation;

    // One call, within what is left of the deadline; past it, none is made and it fails.
    VariantPtr Call(const char* method, GVariant* parameters, const GVariantType* replyType = nullptr,
                    ErrorPtr* error = nullptr) {
        const int left = deadline_.CallTimeoutMs();
        if (left <= 0) {
            g_variant_unref(g_variant_ref_sink(parameters));  // the call would have taken it
            if (error)
                error->reset(g_error_new_literal(G_IO_ERROR, G_IO_ERROR_TIMED_OUT, "xfconf did not answer in time"));
            return nullptr;
        }
        GError* rawError = nullptr;
        VariantPtr reply(g_dbus_connection_call_sync(bus_.get(), kService, kObject, kInterface, method, parameters,
                                                     replyType, G_DBUS_CALL_FLAGS_NONE, left, nullptr, &rawError));
        ErrorPtr owned(rawError);
        deadline_.Answered(TimedOut(owned.get()));
        if (error) *error = std::move(owned);
        return reply;
    }

    bool Set(const std::string& property, GVariant* value) {
        return Call("SetProperty", g_variant_new("(ssv)", kChannel, property.c_str(), value)) != nullptr;
    }

    template <typename MakeValue>
    bool SetEverywhere(const char* setting, MakeValue makeValue) {
        auto properties = BackdropProperties();
        if (!properties) return false;
        std::vector<Request> requests;
        for (const auto& backdrop : Backdrops(*properties))
            requests.push_back({"SetProperty", SetRequest(backdrop + setting, makeValue()), false});
        return CallAll(std::move(requests));
    }

    struct Request {
        const char* method;
        VariantPtr parameters;
        bool absentIsDone;  // xfconf's "no such property" counts as done (a reset of one not there)
    };

    static VariantPtr SetRequest(const std::string& property, GVariant* value) {
        return OwnVariant(g_variant_new("(ssv)", kChannel, property.c_str(), value));
    }

    // Many calls at once, answered in the order sent, all within what is left of the deadline: a
    // channel of hundreds of backdrops costs one round trip's wait, not one per property. True when
    // xfconf took every one.
    bool CallAll(std::vector<Request> requests) {
        struct Progress {
            std::size_t answered = 0;
            bool done = true;
            std::optional<bool> timedOut;  // of the last call that came back
            std::vector<bool> absentIsDone;
        } progress;
        for (const Request& request : requests) progress.absentIsDone.push_back(request.absentIsDone);
        constexpr std::size_t kInFlight = 256;  // well below the bus's limit of replies a connection awaits
        GMainContext* context = g_main_context_new();
        std::size_t sent = 0;
        while (progress.answered < requests.size()) {
            const int left = deadline_.CallTimeoutMs();
            if (left <= 0 && sent < requests.size()) {
                // Past the deadline: what was not sent fails without a call.
                progress.done = false;
                progress.answered += requests.size() - sent;
                sent = requests.size();
                continue;
            }
            g_main_context_push_thread_default(context);  // the answers come to this context
            for (; sent < requests.size() && sent - progress.answered < kInFlight; ++sent) {
                struct Answer {
                    Progress* progress;
                    std::size_t index;
                };
                g_dbus_connection_call(
                    bus_.get(), kService, kObject, kInterface, requests[sent].method, requests[sent].parameters.get(),
                    nullptr, G_DBUS_CALL_FLAGS_NONE, std::max(left, 1), nullptr,
                    [](GObject* source, GAsyncResult* result, gpointer data) {
                        std::unique_ptr<Answer> answer(static_cast<Answer*>(data));
                        GError* rawError = nullptr;
                        VariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &rawError));
                        ErrorPtr error(rawError);
                        const bool ok =
                            reply || (answer->progress->absentIsDone[answer->index] && IsNotFound(error.get()));
                        answer->progress->done = answer->progress->done && ok;
                        answer->progress->timedOut = TimedOut(error.get());
                        ++answer->progress->answered;
                    },
                    new Answer{&progress, sent});
            }
            g_main_context_pop_thread_default(context);
            // Every call ends by its timeout at the latest, so this wait does too.
            if (progress.answered < sent) g_main_context_iteration(context, TRUE);
        }
        g_main_context_unref(context);
        if (progress.timedOut) deadline_.Answered(*progress.timedOut);
        return progress.done;
    }

    // Every property under /backdrop; nullopt when xfconf does not answer, or answers with any
    // error but its own "no such channel or property" (an empty channel): a service that fails is
    // never taken for a desktop without backdrops.
    std::optional<Properties> BackdropProperties() {
        ErrorPtr error;
        VariantPtr reply =
            Call("GetAllProperties", g_variant_new("(ss)", kChannel, "/backdrop"), G_VARIANT_TYPE("(a{sv})"), &error);
        Properties properties;
        if (!reply) {
            if (IsNotFound(error.get())) return properties;
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
        std::set<std::string> found;
        for (const auto& [name, value] : properties) {
            if (auto backdrop = BackdropOf(name)) found.insert(*backdrop);
        }
        if (found.empty()) found.insert(kFirstBackdrop);
        return {found.begin(), found.end()};
    }

    // The backdrop a property belongs to: "/backdrop/screenN/monitorNAME/workspaceN/" of
    // "/backdrop/screenN/monitorNAME/workspaceN/setting". Read by hand: a channel may hold thousands.
    static std::optional<std::string> BackdropOf(std::string_view name) {
        std::string_view rest = name;
        auto take = [&rest](std::string_view prefix, bool digits) {
            if (!rest.starts_with(prefix)) return false;
            rest.remove_prefix(prefix.size());
            const std::size_t slash = rest.find('/');
            if (slash == 0 || slash == std::string_view::npos) return false;
            for (std::size_t i = 0; digits && i < slash; ++i)
                if (rest[i] < '0' || rest[i] > '9') return false;
            rest.remove_prefix(slash + 1);
            return true;
        };
        if (!take("/backdrop/screen", true) || !take("monitor", false) || !take("workspace", true)) return std::nullopt;
        if (rest.empty() || rest.find('/') != std::string_view::npos) return std::nullopt;
        return std::string(name.substr(0, name.size() - rest.size()));
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
    ServiceDeadline deadline_{kOperationBudget};
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
                                                nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                static_cast<int>(kOperationBudget.count()), nullptr, &rawError));
    error.reset(rawError);
    if (!pong) {
        *problem = std::string("xfconf does not answer on the session bus (") + (error ? error->message : "") + ")";
        return nullptr;
    }
    return std::make_unique<XfconfDesktop>(std::move(bus));
}

}  // namespace zinna::linuxdesk
