// One Zinna per X display: the first one owns a selection of its own name on the screen, and a
// second one finds it owned and leaves the desktop to the first.
#pragma once

#include "platform/linux/x11/x_connection.h"

namespace zinna::x11 {

inline constexpr const char* kInstanceSelection = "_ZINNA_COMPANION_S";

// Takes the selection for owner; false when another process holds it.
bool ClaimSingleInstance(XConnection& x, ::Window owner);

}  // namespace zinna::x11
