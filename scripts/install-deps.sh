#!/usr/bin/env bash
# Installs what building and testing Zinna needs on Debian 12, as root. Safe to run again.
set -euo pipefail
packages=(cmake g++ make doctest-dev libpng-dev pkg-config clang libclang-rt-dev librsvg2-bin sox fonts-dejavu-core
  # the Windows build and its tests under Wine
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb
  # zinna.exe used as a person would: screenshots of the X screen, the mouse and keys
  imagemagick xdotool
  # the Linux desktop layer: Xlib with Shape and Render, Xft, PulseAudio's simple API; its tests
  # under Xvfb with and without a compositor (xprop and xmessage in x11-utils); the .deb's
  # dependencies (dpkg-shlibdeps); the pets scripts/measure-linux.sh measures her beside
  libx11-dev libxext-dev libxrender-dev libxft-dev libfontconfig-dev libpulse-dev xcompmgr x11-utils dpkg-dev
  oneko xpenguins)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
