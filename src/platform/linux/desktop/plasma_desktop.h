// KDE Plasma: the image wallpaper of every desktop, through the shell's scripting interface
// (org.kde.PlasmaShell.evaluateScript on the session bus).
#pragma once

#include "platform/linux/desktop/desktop_settings.h"

#include <memory>

namespace zinna::linuxdesk {

// nullptr, with the reason in *problem, when the Plasma shell does not answer.
std::unique_ptr<DesktopSettings> CreatePlasmaDesktop(std::string* problem);

}  // namespace zinna::linuxdesk
