// The Linux layer under the ZinnaModule contract, on the private desktop of run-in-private-desktop.sh:
// with GNOME's settings (GSettings' keyfile backend), where every value the program uses is a real
// setting, and on plain X. The screen has a bottom panel, as its work area says, so that the
// taskbar exists.
#include "linux_desktop_support.h"

#include "contract/zinna_module_contract.h"
#include "platform/linux/desktop/glib_handles.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gio/gio.h>

namespace zinna::linuxdesk::testing {

namespace {

// The background settings at their defaults, and a 32-pixel panel at the bottom of the 1024x768
// screen, before each case.
void FreshDesktop() {
    const GObjectPtr<GSettings> settings(g_settings_new("org.gnome.desktop.background"));
    for (const char* name :
         {"picture-uri", "picture-uri-dark", "picture-options", "primary-color", "color-shading-type"}) {
        g_settings_reset(settings.get(), name);
    }
    g_settings_sync();

    // Closing the connection flushes the request.
    const std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    REQUIRE(display != nullptr);
    const long workArea[] = {0, 0, 1024, 736};
    XChangeProperty(display.get(), DefaultRootWindow(display.get()), XInternAtom(display.get(), "_NET_WORKAREA", False),
                    XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(workArea), 4);
}

// The known differences of the layer, whichever desktop's settings it uses.
const std::vector<contract::KnownDifference> kLayerDifferences{
    {"text-round-trip",
     "\"Wallpaper\" is the desktop's picture: a Windows path in it reads back as the host path, '\\' as '/'"},
    {"overwrite-changes-type", "\"TileWallpaper\" is the desktop's style: it is always text, up to its first NUL"},
    {"delete-value", "\"TileWallpaper\" is the desktop's style: deleting it resets the style, which still reads"},
    {"read-only-key", "access rights are not kept: the program writes only through keys it opened to write"},
    {"wallpaper-stored", "the picture is the desktop's: a Windows path reads back as the host path, '\\' as '/'"},
    {"wallpaper-not-stored", "the desktop shows what its settings hold: every wallpaper call changes them"},
    {"windows-directory", "the Windows directory is the data folder, a host path with no drive letter"},
};

// The only key the layer keeps; values of other names in it live for the run.
constexpr char kDesktopKey[] = "Control Panel\\Desktop";

}  // namespace

ZINNA_MODULE_CONTRACT(contract::ZinnaModuleRegistration{
    "the Linux layer (GNOME settings)",
    [] {
        FreshDesktop();
        return std::shared_ptr<ZinnaModule>(ModuleOn("gnome", MakeDataFolder()));
    },
    kLayerDifferences,
    kDesktopKey,
})

// A bare X screen keeps no picture, style or colour: the layer holds them for the run and paints
// the root window, so the wallpaper and colour cases check its painting and its restore.
ZINNA_MODULE_CONTRACT(contract::ZinnaModuleRegistration{
    "the Linux layer (plain X)",
    [] {
        FreshDesktop();
        return std::shared_ptr<ZinnaModule>(ModuleOn("x11", MakeDataFolder()));
    },
    kLayerDifferences,
    kDesktopKey,
})

}  // namespace zinna::linuxdesk::testing
