#!/usr/bin/env bash
# Cinnamon: the cinnamon shell (its own window manager and compositor) with csd-background, the
# settings daemon's part that draws org.cinnamon.desktop.background, and real dconf. Like GNOME
# Shell it asks the system bus, so the session has a private one in a mount namespace. Its panel is
# drawn by the shell itself, not an X window: it reserves its room through the work area, whose
# bottom is her floor.
NEEDS_SYSTEM_BUS=1
CHECK_REGION=800x320+240+150
source "$(dirname "$0")/common.sh"
needs_commands cinnamon csd-background /usr/bin/python3 dconf gsettings xev xdotool import
export XDG_CURRENT_DESKTOP=X-Cinnamon XDG_SESSION_TYPE=x11 LIBGL_ALWAYS_SOFTWARE=1

schema=org.cinnamon.desktop.background
set_user_values() {
  gsettings set $schema picture-uri "$USER_PICTURE_URI"
  gsettings set $schema picture-options zoom
  gsettings set $schema primary-color "$USER_COLOUR"
}
start_components() {
  start cinnamon cinnamon --replace
  component_ready cinnamon 90 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  component_ready cinnamon 60 eval '[ "$(work_area_bottom)" -lt "$SCREEN_H" ]'
  # csd-background draws once the session manager says the session runs. The session manager
  # (cinnamon-session) would start every part of the desktop; a stand-in owns its name and says so.
  start session-running "$(dirname "$0")/session-running.py"
  until_true grep -q ready "$WORK/session-running.log"
  start csd-background csd-background
  component_ready csd-background eval 'xprop -root _XROOTPMAP_ID | grep -q "pixmap id"'
}
read_settings() {
  gsettings list-recursively $schema
  dconf dump /org/cinnamon/desktop/background/
}
floor_of_screen() { work_area_bottom; }

run_desktop
