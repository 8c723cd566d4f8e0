// Whether a PulseAudio server (or PipeWire's, which speaks its protocol) can be reached, looked up
// without the client library: PulseAudio's libraries, once loaded, stay mapped to the end (2.6 MiB
// resident), so they are loaded only where the library itself would find a server to talk to.
#pragma once

#include <optional>
#include <string>

// Xlib's Display, without Xlib.h, whose macros would rename names in the headers after it.
typedef struct _XDisplay Display;

namespace zinna::x11 {

// What the client library would connect to, in its own order: $PULSE_SERVER; the PULSE_SERVER
// property of the X screen's root window; default-server in its client.conf files; the user's
// socket ($PULSE_RUNTIME_PATH/native, else $XDG_RUNTIME_DIR/pulse/native) or the system's
// (/run/pulse/native) when something listens on it; the local host or the X display's host when
// client.conf asks to try them; and a daemon it would start itself (autospawn, when its program is
// installed). Returns a short description of the first one found, or nullopt when there is none.
// display may be null (no root window to look at). Makes no X request when the screen has never
// had a PULSE_SERVER property; touches nothing but the environment, a few small files and sockets.
std::optional<std::string> FindSoundServer(Display* display);

}  // namespace zinna::x11
