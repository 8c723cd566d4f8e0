// Xfce: the xfce4-desktop channel of xfconf, over D-Bus, for every monitor and workspace.
#pragma once

#include "platform/linux/desktop/desktop_settings.h"

#include <memory>

namespace zinna::linuxdesk {

// nullptr, with the reason in *problem, when xfconf does not answer on the session bus.
std::unique_ptr<DesktopSettings> CreateXfconfDesktop(std::string* problem);

}  // namespace zinna::linuxdesk
