#!/usr/bin/env bash
# Installs what Zinna needs on Debian 12, as root. Safe to run again.
#   install-deps.sh         everything: the builds, the tests, the Windows build and its tests under Wine
#   install-deps.sh --sim   only what building and running zinna-sim (the simulated desktop) needs
#   install-deps.sh --desktop   that and what building and running zinna on the user's X desktop needs
set -euo pipefail
# zinna-sim: the compiler, PNG snapshots, GIF movies (giflib, and libimagequant for their colours),
# and the art build (character and wallpaper).
sim_packages=(cmake g++ make pkg-config libpng-dev libgif-dev libimagequant-dev librsvg2-bin sox fonts-dejavu-core)
# zinna on an X desktop: Xlib with Shape, Render and XFixes (a compositor's coming and going), Xft,
# GIO for the desktop's settings, PulseAudio's simple API, xdpyinfo (x11-utils) to see that the X
# server answers, xdg-open.
desktop_packages=(libx11-dev libxext-dev libxrender-dev libxfixes-dev libxft-dev libfontconfig-dev libglib2.0-dev
  gsettings-desktop-schemas libpulse-dev x11-utils xdg-utils)
test_packages=(doctest-dev clang libclang-rt-dev
  # the Windows build and its tests under Wine
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb
  # the .deb: cpack's generator runs file on what it packs
  file
  # the installer package: wixl builds it, msitools' msibuild completes it and msiinfo reads it back
  wixl msitools
  # zinna.exe used as a person would: screenshots of the X screen, the mouse and keys
  imagemagick xdotool
  # the fault table kills zinna at each OS call of her start-up and quit (its fault injection)
  strace
  # Plasma's restore script is run by a script engine against stand-in desktops
  nodejs
  # scripts/include-graph.sh and the formatting check; pgrep for the measuring scripts
  git python3 clang-format procps
  # the Linux desktop layer: Xlib, GIO, and the real settings services its tests run against
  libx11-dev libglib2.0-dev gsettings-desktop-schemas cinnamon-desktop-data mate-desktop-common
  xfconf dbus xdg-utils
  # her Linux windows: Xlib with Shape and Render, Xft, PulseAudio's simple API; its tests
  # under Xvfb with and without a compositor (xprop, xev and xmessage in x11-utils; xrdb for the
  # scaled screens in x11-xserver-utils); the .deb's
  # dependencies (dpkg-shlibdeps); the pets scripts/measure-linux.sh measures her beside
  libx11-dev libxext-dev libxrender-dev libxfixes-dev libxft-dev libfontconfig-dev libpulse-dev xcompmgr x11-utils x11-xserver-utils dpkg-dev
  oneko xpenguins)
# the real desktop sessions scripts/test-desktops.sh runs her in: Xfce, GNOME Shell (X11 and headless
# Wayland with Xwayland, real dconf; python3-gi asks the shell for screenshots), KDE Plasma, MATE and
# Cinnamon
desktop_session_packages=(xfwm4 xfce4-panel xfdesktop4 xfconf gnome-shell dconf-service dconf-cli libglib2.0-bin xwayland python3-gi
  plasma-desktop plasma-workspace kwin-x11 marco mate-panel caja mate-settings-daemon-common cinnamon
  cinnamon-desktop-data)
case "${1:-}" in
  --sim) packages=("${sim_packages[@]}") ;;
  --desktop) packages=("${sim_packages[@]}" "${desktop_packages[@]}") ;;
  "") packages=("${sim_packages[@]}" "${desktop_packages[@]}" "${test_packages[@]}" "${desktop_session_packages[@]}") ;;
  *) echo "usage: install-deps.sh [--sim|--desktop]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
