// Her windows' way to the X server: the Linux layers' one connection (platform/linux/xlib), under
// this layer's names.
#pragma once

// The program's and the host's declarations come before Xlib, whose macros (None, True, False)
// would rename some of their names; every header of this layer reaches Xlib through this one.
#include "boundary/window_toolkit.h"
#include "stage/host/stage_control.h"

#include "platform/linux/xlib/x_connection.h"

namespace zinna::x11 {

using xlib::ScaleFromResources;
using xlib::TrappedXErrors;
using xlib::XConnection;

}  // namespace zinna::x11
