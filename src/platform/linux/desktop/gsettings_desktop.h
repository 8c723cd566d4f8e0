// GNOME and the desktops built on its settings (Cinnamon, MATE): the background schema read and
// written through GSettings.
#pragma once

#include "platform/linux/desktop/desktop_settings.h"

#include <memory>

namespace zinna::linuxdesk {

enum class GSettingsFamily { Gnome, Cinnamon, Mate };

// nullptr, with the reason in *problem, when the family's background schema is not installed.
std::unique_ptr<DesktopSettings> CreateGSettingsDesktop(GSettingsFamily family, std::string* problem);

}  // namespace zinna::linuxdesk
