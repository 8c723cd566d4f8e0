// Which desktop the module styles: forced by ZINNA_DESKTOP, else named by XDG_CURRENT_DESKTOP,
// else the desktop whose service answers on the session bus, else the bare X screen.
#include "platform/linux/desktop/desktop_module.h"
#include "platform/linux/desktop/glib_handles.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>
#include "platform/linux/desktop/gsettings_desktop.h"
#include "platform/linux/desktop/plasma_desktop.h"
#include "platform/linux/desktop/x11_root_desktop.h"
#include "platform/linux/desktop/xfconf_desktop.h"
#include "platform/linux/xlib/x_connection.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace zinna::linuxdesk {

namespace {

enum class DesktopKind { Gnome, Cinnamon, Mate, Xfce, Kde, X11, Unknown };

struct KindName {
    const char* name;
    DesktopKind kind;
};

constexpr KindName kForcedNames[] = {
    {"gnome", DesktopKind::Gnome}, {"cinnamon", DesktopKind::Cinnamon}, {"mate", DesktopKind::Mate},
    {"xfce", DesktopKind::Xfce},   {"kde", DesktopKind::Kde},           {"x11", DesktopKind::X11},
};

// XDG_CURRENT_DESKTOP's names (compared without case) and the desktops whose settings they use.
constexpr KindName kSessionNames[] = {
    {"gnome", DesktopKind::Gnome},    {"unity", DesktopKind::Gnome},         {"budgie", DesktopKind::Gnome},
    {"pantheon", DesktopKind::Gnome}, {"x-cinnamon", DesktopKind::Cinnamon}, {"cinnamon", DesktopKind::Cinnamon},
    {"mate", DesktopKind::Mate},      {"xfce", DesktopKind::Xfce},           {"kde", DesktopKind::Kde},
};

// A desktop is running when its service has an owner on the session bus (asking an activatable
// name would start a daemon of a desktop that is not running).
constexpr std::pair<const char*, DesktopKind> kSessionServices[] = {
    {"org.kde.plasmashell", DesktopKind::Kde}, {"org.xfce.Xfconf", DesktopKind::Xfce},
    {"org.gnome.Shell", DesktopKind::Gnome},   {"org.Cinnamon", DesktopKind::Cinnamon},
    {"org.mate.Panel", DesktopKind::Mate},
};

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(g_ascii_tolower(c));
    return text;
}

std::optional<DesktopKind> ForcedKind() {
    const char* forced = std::getenv("ZINNA_DESKTOP");
    if (forced == nullptr || *forced == '\0') return std::nullopt;
    for (const auto& [name, kind] : kForcedNames) {
        if (Lowered(forced) == name) return kind;
    }
    std::fprintf(stderr, "zinna: ZINNA_DESKTOP=%s is not one of gnome, cinnamon, mate, xfce, kde, x11; detecting\n",
                 forced);
    return std::nullopt;
}

std::optional<DesktopKind> KindFromSessionName() {
    const char* current = std::getenv("XDG_CURRENT_DESKTOP");
    if (current == nullptr) return std::nullopt;
    std::istringstream names(current);
    for (std::string name; std::getline(names, name, ':');) {
        for (const auto& [known, kind] : kSessionNames) {
            if (Lowered(name) == known) return kind;
        }
    }
    return std::nullopt;
}

std::optional<DesktopKind> KindFromServices() {
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus) return std::nullopt;
    for (const auto& [service, kind] : kSessionServices) {
        VariantPtr reply(g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            g_variant_new("(s)", service), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr));
        gboolean owned = FALSE;
        if (reply) g_variant_get(reply.get(), "(b)", &owned);
        if (owned) return kind;
    }
    return std::nullopt;
}

std::unique_ptr<DesktopSettings> SettingsFor(DesktopKind kind, Display* display, std::string* problem) {
    switch (kind) {
        case DesktopKind::Gnome:
            return CreateGSettingsDesktop(GSettingsFamily::Gnome, problem);
        case DesktopKind::Cinnamon:
            return CreateGSettingsDesktop(GSettingsFamily::Cinnamon, problem);
        case DesktopKind::Mate:
            return CreateGSettingsDesktop(GSettingsFamily::Mate, problem);
        case DesktopKind::Xfce:
            return CreateXfconfDesktop(problem);
        case DesktopKind::Kde:
            return CreatePlasmaDesktop(problem);
        case DesktopKind::X11:
            return CreateX11RootDesktop(display, problem);
        case DesktopKind::Unknown:
            break;
    }
    *problem = "no desktop environment and no X display found";
    return nullptr;
}

// The backend's name in a restore journal: the settings service, not the session, so that a
// journal of GNOME is given back through GSettings under Budgie as well.
constexpr std::pair<DesktopKind, const char*> kBackendNames[] = {
    {DesktopKind::Gnome, "gsettings:gnome"},
    {DesktopKind::Cinnamon, "gsettings:cinnamon"},
    {DesktopKind::Mate, "gsettings:mate"},
    {DesktopKind::Xfce, "xfconf"},
    {DesktopKind::Kde, "plasma"},
    {DesktopKind::X11, "x11-root"},
};

const char* BackendName(DesktopKind kind) {
    for (const auto& [known, name] : kBackendNames)
        if (known == kind) return name;
    return "none";
}

}  // namespace

std::unique_ptr<ZinnaModule> CreateLinuxModuleForBackend(const std::string& backend,
                                                         const LinuxDesktopContext& context) {
    for (const auto kind : {DesktopKind::Gnome, DesktopKind::Cinnamon, DesktopKind::Mate}) {
        if (backend != BackendName(kind)) continue;
        // Without dconf GLib keeps settings in memory: a restore there would be lost with this process.
        GObjectPtr<GSettingsBackend> store(g_settings_backend_get_default());
        const std::string storeType = store ? G_OBJECT_TYPE_NAME(store.get()) : "";
        if (storeType.empty() || storeType == "GMemorySettingsBackend" || storeType == "GNullSettingsBackend")
            return nullptr;
        std::string problem;
        auto settings = SettingsFor(kind, context.display, &problem);
        if (!settings) return nullptr;
        auto module = std::make_unique<LinuxModule>(std::move(settings), context.display, DataFolderOf(context));
        module->SetBackendName(backend);
        return module;
    }
    return nullptr;
}

std::string BackendNameOf(ZinnaModule& module) {
    const auto* ours = dynamic_cast<LinuxModule*>(&module);
    // The backend detection chose, even when its service did not answer: a journal of it is then
    // this desktop's, to be given back once the service answers, not another desktop's.
    return ours ? ours->BackendName() : "none";
}

std::unique_ptr<ZinnaModule> CreateLinuxModule(const LinuxDesktopContext& context) {
    DesktopKind kind = DesktopKind::Unknown;
    if (auto forced = ForcedKind()) {
        kind = *forced;
    } else if (auto named = KindFromSessionName()) {
        kind = *named;
    } else if (auto running = KindFromServices()) {
        kind = *running;
    } else {
        xlib::XConnectionWhenNeeded probe(context.display);
        if (probe.Get() != nullptr) kind = DesktopKind::X11;
    }
    std::string problem;
    auto settings = SettingsFor(kind, context.display, &problem);
    if (!settings) std::fprintf(stderr, "zinna: %s; the desktop's look is left as it is\n", problem.c_str());
    auto module = std::make_unique<LinuxModule>(std::move(settings), context.display, DataFolderOf(context));
    module->SetBackendName(BackendName(kind));
    return module;
}

}  // namespace zinna::linuxdesk
