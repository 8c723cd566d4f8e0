#!/usr/bin/env bash
# MATE: marco, mate-panel, and caja drawing the desktop (caja -n --force-desktop) from
# org.mate.background, with real dconf. The default layout has panels at the top and at the bottom:
# the bottom one's top is her floor.
source "$(dirname "$0")/common.sh"
needs_commands marco mate-panel caja dconf gsettings xev xdotool import
export XDG_CURRENT_DESKTOP=MATE XDG_SESSION_TYPE=x11

schema=org.mate.background
set_user_values() {
  gsettings set $schema picture-filename "$USER_PICTURE"
  gsettings set $schema picture-options zoom
  gsettings set $schema primary-color "$USER_COLOUR"
}
start_components() {
  start marco marco --replace
  component_ready marco eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  start mate-panel mate-panel
  start caja caja -n --force-desktop
  component_ready mate-panel eval '[ -n "$(bottom_dock_top)" ]'
  component_ready caja eval '[ -n "$(xdotool search --onlyvisible --class "^caja$")" ]'
}
read_settings() {
  gsettings list-recursively $schema
  dconf dump /org/mate/desktop/background/
}
floor_of_screen() { bottom_dock_top; }

run_desktop
