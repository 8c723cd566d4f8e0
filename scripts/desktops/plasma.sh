#!/usr/bin/env bash
# KDE Plasma 5.27's X11 session: kwin_x11, then plasmashell, drawn by Qt's software renderer. The
# settings are read and written through Plasma's own scripting (org.kde.PlasmaShell.evaluateScript).
# The default layout has one panel, at the bottom: its top is her floor.
source "$(dirname "$0")/common.sh"
needs_commands kwin_x11 plasmashell dbus-send xev xdotool import
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 XDG_SESSION_TYPE=x11
export QT_QUICK_BACKEND=software LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb

# Runs a script in the shell and prints what it printed.
plasma_script() {
  dbus-send --session --print-reply=literal --dest=org.kde.plasmashell /PlasmaShell \
    org.kde.PlasmaShell.evaluateScript "string:$1" | sed '1s/^ *//'
}
set_user_values() {
  # The user's picture (a URI with its escapes), fit instead of Plasma's default crop, and a colour.
  plasma_script "desktops().forEach(function (d) {
    d.wallpaperPlugin = 'org.kde.image';
    d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];
    d.writeConfig('Image', '$USER_PICTURE_URI');
    d.writeConfig('FillMode', '1');
    d.writeConfig('Color', '58,95,139');
  });"
}
start_components() {
  start kwin kwin_x11 --replace
  component_ready kwin eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  start plasmashell plasmashell
  component_ready plasmashell 60 eval 'plasma_script "print(desktops().length)" | grep -qx "[1-9]"'
  until_true eval '[ -n "$(bottom_dock_top)" ]'
}
# Each desktop's wallpaper plugin and its image wallpaper's settings; "(unset)" for a setting the
# user never set.
read_settings() {
  plasma_script "var out = [];
    desktops().forEach(function (d, i) {
      d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General'];
      out.push(i + ' plugin=' + d.wallpaperPlugin);
      ['Image', 'FillMode', 'Color', 'SlidePaths'].forEach(function (k) {
        out.push(i + ' ' + k + '=' + d.readConfig(k, '(unset)'));
      });
    });
    print(out.join('\n'));"
}
floor_of_screen() { bottom_dock_top; }

run_desktop
