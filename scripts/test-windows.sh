#!/usr/bin/env bash
# Cross-builds Zinna for 64-bit Windows with MinGW-w64, packs zinna.exe (the zip and the installer
# package), and runs the whole suite under Wine: the unit tests, the Windows layer against Wine's
# real functions, zinna.exe itself and its package.
# Everything Wine keeps lives in build/windows/wineprefix; windows go to a private Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The character and the wallpaper are drawn by a native build; the zip and the installer package
# carry them.
cmake --preset debug >/dev/null
cmake --build --preset debug --target zinna-windows-dir -j "$(nproc)"
cmake --preset windows -DZINNA_WINDOWS_FILES="$PWD/build/debug/windows-dir" >/dev/null
cmake --build --preset windows -j "$(nproc)"
cmake --build --preset windows --target package msi

export WINEPREFIX="$PWD/build/windows/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# A display of our own, the first free one from :90 on.
for n in $(seq 90 130); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    export DISPLAY=":$n"
    break
  fi
  xvfb_pid=
done
[ -n "${DISPLAY:-}" ] || { echo "no Xvfb display could be started" >&2; exit 1; }

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "=== creating the Wine prefix ==="
  wineboot --init >/dev/null 2>&1
fi
# The Wine server must be up before ctest: a test that starts it first makes ctest wait for it.
# Whatever server wineboot left behind goes first, so that the one started here persists.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
wine cmd /c exit >/dev/null 2>&1

echo "=== windows (under Wine) ==="
ctest --preset windows
