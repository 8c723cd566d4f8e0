#!/usr/bin/env bash
# Xfce: xfwm4 (no compositor), xfce4-panel and xfdesktop, with xfconfd on the session bus.
# xfdesktop names Xvfb's monitor "monitorscreen". The default layout has the panel with the window
# buttons at the top, and a short launcher panel at the bottom centre that hides itself when a window
# covers it and reserves no room: she stands on the screen's bottom.
source "$(dirname "$0")/common.sh"
needs_commands xfwm4 xfce4-panel xfdesktop xfconf-query xev xdotool import
export XDG_CURRENT_DESKTOP=XFCE

backdrop=/backdrop/screen0/monitorscreen/workspace0
set_user_values() {
  xfconf-query -c xfce4-desktop -p $backdrop/last-image -n -t string -s "$USER_PICTURE"
  xfconf-query -c xfce4-desktop -p $backdrop/image-style -n -t int -s 5  # zoomed
  xfconf-query -c xfce4-desktop -p $backdrop/color-style -n -t int -s 0
  xfconf-query -c xfce4-desktop -p $backdrop/rgba1 -n -t double -t double -t double -t double \
    -s 0.227451 -s 0.372549 -s 0.545098 -s 1  # $USER_COLOUR
}
start_components() {
  start xfwm4 xfwm4 --compositor=off --replace
  component_ready xfwm4 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  start xfce4-panel xfce4-panel
  start xfdesktop xfdesktop
  component_ready xfce4-panel eval '[ "$(xdotool search --onlyvisible --class "^xfce4-panel$" | wc -l)" -ge 2 ]'
  component_ready xfdesktop shown '^Xfdesktop$'
}
# Every backdrop property with its value (arrays item by item: "-l -v" does not show them).
read_settings() {
  local property
  xfconf-query -c xfce4-desktop -l | grep '^/backdrop/' | sort | while read -r property; do
    echo "$property = $(xfconf-query -c xfce4-desktop -p "$property" | tr '\n' ' ')"
  done
}
floor_of_screen() { screen_bottom_floor; }

run_desktop
