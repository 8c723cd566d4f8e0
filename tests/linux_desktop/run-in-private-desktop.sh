#!/usr/bin/env bash
# Runs a command on a private desktop: its own Xvfb screen, its own D-Bus session bus (xfconfd is
# started by the bus on first use), GSettings in a keyfile under a private XDG_CONFIG_HOME. Nothing
# of the user's desktop is read or written. Waits for the screen instead of sleeping.
#   run-in-private-desktop.sh COMMAND [ARGS...]
set -euo pipefail
workdir=$(mktemp -d "${TMPDIR:-/tmp}/zinna-desktop.XXXXXX")
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$workdir"
}
trap cleanup EXIT

# -displayfd: Xvfb picks a free display and writes its number once it accepts connections.
# -noreset: the server would otherwise restart whenever its last client leaves, between two tests.
mkfifo "$workdir/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$workdir/displayfd" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 display <"$workdir/displayfd" || { echo "Xvfb did not start" >&2; cat "$workdir/xvfb.log" >&2; exit 1; }

mkdir -p "$workdir/config" "$workdir/test"
export DISPLAY=":$display" XDG_CONFIG_HOME="$workdir/config" GSETTINGS_BACKEND=keyfile \
  ZINNA_TEST_DIR="$workdir/test"
unset XDG_CURRENT_DESKTOP ZINNA_DESKTOP DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- "$@"
