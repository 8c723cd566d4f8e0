// The operating-system functions of ZinnaModule answered on a Linux desktop the way Windows would:
// the wallpaper values and the desktop colour are the desktop environment's own background
// settings, the taskbar is the bottom panel, the key chord is "show desktop", the shell is
// xdg-open and the Windows directory is the data folder.
#pragma once

#include "boundary/zinna_module.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Xlib's display, declared as Xlib declares it, so that this header brings in none of Xlib's macros.
typedef struct _XDisplay Display;

namespace zinna::linuxdesk {

struct LinuxDesktopContext {
    Display* display = nullptr;  // the program's X connection; may be null
    std::string dataDir;         // empty: ZINNA_DATA_DIR, else the installed <prefix>/share/zinna
};

// Detects the desktop (ZINNA_DESKTOP=gnome|cinnamon|mate|xfce|kde|x11 forces it). Without one that
// answers the module still works, leaves the user's desktop alone and says so once on stderr.
std::unique_ptr<ZinnaModule> CreateLinuxModule(const LinuxDesktopContext& context);

// The settings backend a module CreateLinuxModule made styles, as a restore journal names it:
// "gsettings:gnome", "gsettings:cinnamon", "gsettings:mate", "xfconf", "plasma", "x11-root" (also
// while that backend's service does not answer); "none" when no desktop was found.
std::string BackendNameOf(ZinnaModule& module);

// A module over the backend a journal names, when it can be reached from this session without
// starting anything: the GSettings ones, whose settings (dconf) need no session of their desktop.
// nullptr for the others (xfconf and Plasma need their desktop's services, the bare X screen its
// own server), and when the backend's schema is not installed.
std::unique_ptr<ZinnaModule> CreateLinuxModuleForBackend(const std::string& backend,
                                                         const LinuxDesktopContext& context);

// The desktop's own settings behind the wallpaper values and the colour, by name (nullopt: not
// set), of a module CreateLinuxModule made; empty without a desktop. The restore journal keeps
// them, so that a later run can put back exactly what the values alone would only approximate.
using DesktopState = std::map<std::string, std::optional<std::string>>;
DesktopState CaptureDesktopState(ZinnaModule& module);
bool RestoreDesktopState(ZinnaModule& module, const DesktopState& state);

// While it lives, every call the module makes to the desktop's settings service ends within limit
// of its making, all together: a hung service costs that long in all, not a timeout a setting.
class DesktopCallLimit {
public:
    DesktopCallLimit(ZinnaModule& module, std::chrono::milliseconds limit);
    ~DesktopCallLimit();
    DesktopCallLimit(const DesktopCallLimit&) = delete;
    DesktopCallLimit& operator=(const DesktopCallLimit&) = delete;

private:
    ZinnaModule& module_;
};

// The file a path built by the program names: "<windows directory>\zinna.acs" is the file
// zinna.acs of the data folder; an absolute host path stays as it is.
std::string HostPathFromProgramPath(std::string_view programPath, const std::string& dataDir);

// The data folder the context names: its dataDir, else ZINNA_DATA_DIR, else the installed one.
std::string DataFolderOf(const LinuxDesktopContext& context);

}  // namespace zinna::linuxdesk
