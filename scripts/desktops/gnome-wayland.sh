#!/usr/bin/env bash
# GNOME Shell as a headless Wayland compositor (--headless --virtual-monitor), with Xwayland for X
# programs such as zinna. No X server of the test's own: the shell starts Xwayland, on the first free
# display, and says which. The screen is seen through the shell's own screenshot service
# (shell-screenshot.py); the pointer and keys are Xwayland's (xdotool), so a click reaches the X
# window that Xwayland finds under the pointer, as for a pointer the shell hands to Xwayland.
NEEDS_SYSTEM_BUS=1 NEEDS_XVFB=0
CHECK_REGION=800x320+240+150
source "$(dirname "$0")/common.sh"
needs_commands gnome-shell Xwayland dconf gsettings xev xdotool import /usr/bin/python3
/usr/bin/python3 -c 'import gi' 2>/dev/null || skip "python3-gi is not installed (scripts/install-deps.sh installs it)"
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland LIBGL_ALWAYS_SOFTWARE=1
unset DISPLAY WAYLAND_DISPLAY

schema=org.gnome.desktop.background
screenshot() { "$(dirname "$0")/shell-screenshot.py" "$1"; }
set_user_values() {
  gsettings set $schema picture-uri "$USER_PICTURE_URI"
  gsettings set $schema picture-options zoom
  gsettings set $schema primary-color "$USER_COLOUR"
}
start_components() {
  start gnome-shell gnome-shell --wayland --headless --virtual-monitor "$SCREEN_SIZE"
  component_ready gnome-shell 90 grep -q "GNOME Shell started" "$WORK/gnome-shell.log"
  local display
  display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$WORK/gnome-shell.log" | head -n1)
  [ -n "$display" ] || fail "the shell named no X11 display: $(grep -i xwayland "$WORK/gnome-shell.log" | head -n 3)"
  export DISPLAY=$display
  XAUTHORITY=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* | head -n1)
  export XAUTHORITY
  until_true 30 xdpyinfo >/dev/null
  echo "Xwayland on $DISPLAY"
  # It starts in the Activities overview; leave it.
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' >/dev/null ||
    fail "the shell did not leave its overview"
  until_true eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}
read_settings() {
  gsettings list-recursively $schema
  dconf dump /org/gnome/desktop/background/
}
floor_of_screen() { screen_bottom_floor; }

run_desktop
