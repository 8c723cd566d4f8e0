#!/usr/bin/env bash
# Checks that every program the build, the tests and the scripts run is on PATH, so that a missing
# one is named at once instead of failing deep inside a build or a test. Each line: the command and
# the Debian package scripts/install-deps.sh installs it from.
set -uo pipefail
PATH="$PATH:/usr/games"  # where Debian puts oneko and xpenguins (scripts/measure-linux.sh looks there)
commands='
cmake cmake
ctest cmake
cpack cmake
c++ g++
make make
pkg-config pkg-config
clang++ clang
clang-format clang-format
git git
python3 python3
rsvg-convert librsvg2-bin
sox sox
Xvfb xvfb
xdotool xdotool
strace strace
node nodejs
xcompmgr xcompmgr
xdpyinfo x11-utils
xprop x11-utils
xmessage x11-utils
xdg-open xdg-utils
convert imagemagick
import imagemagick
compare imagemagick
dbus-run-session dbus
gsettings libglib2.0-bin
dpkg-deb dpkg
dpkg-shlibdeps dpkg-dev
file file
pgrep procps
x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
wine wine
wineboot wine
wineserver wine
wixl wixl
msibuild msitools
msiinfo msitools
oneko oneko
xpenguins xpenguins
'
missing=0
while read -r command package; do
  [ -n "$command" ] || continue
  if ! command -v "$command" >/dev/null; then
    echo "missing command: $command (Debian package $package)" >&2
    missing=1
  fi
done <<<"$commands"
exit $missing
