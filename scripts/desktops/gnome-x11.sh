#!/usr/bin/env bash
# GNOME Shell's X11 session (gnome-shell --x11), with real dconf behind GSettings. The shell asks
# the system bus (UPower, accounts), so the session has a private one in a mount namespace of its own.
# Its only panel is the top bar: she stands on the screen's bottom.
NEEDS_SYSTEM_BUS=1
# Below the top bar's notifications (root's session gets one at the start).
CHECK_REGION=800x320+240+150
source "$(dirname "$0")/common.sh"
needs_commands gnome-shell dconf gsettings xev xdotool import unshare
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=x11 LIBGL_ALWAYS_SOFTWARE=1

schema=org.gnome.desktop.background
set_user_values() {
  gsettings set $schema picture-uri "$USER_PICTURE_URI"
  gsettings set $schema picture-options zoom
  gsettings set $schema primary-color "$USER_COLOUR"
}
start_components() {
  start gnome-shell gnome-shell --x11 --replace
  component_ready gnome-shell 90 grep -q "GNOME Shell started" "$WORK/gnome-shell.log"
  # It starts in the Activities overview: one Escape leaves it.
  xdotool key Escape
  until_true eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}
# What GSettings reads, and what dconf holds (a reset key is absent there, a written one present).
read_settings() {
  gsettings list-recursively $schema
  dconf dump /org/gnome/desktop/background/
}
floor_of_screen() { screen_bottom_floor; }

run_desktop
