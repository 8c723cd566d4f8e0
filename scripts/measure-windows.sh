#!/usr/bin/env bash
# Figures for zinna.exe with the built-in host under Wine on this machine: memory with the character
# loaded, and CPU time per minute while she stands still and while she flies. Counts zinna.exe's
# own process and, apart, the Wine server and the X server that draw for it. Needs the Windows
# build (scripts/test-windows.sh). The character file is the argument (e.g. the art build's
# build/debug/windows-dir/zinna.acs, whose wallpaper beside it is copied too) or else the test
# character. Prints the figures; changes nothing outside build/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
export WINEPREFIX="$PWD/$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
idle_seconds=${IDLE_SECONDS:-60}
fly_seconds=${FLY_SECONDS:-5}
character=${1:-}

xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
for n in $(seq 140 180); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  break
done
# A server left from another run of this prefix would hold the old display: a fresh one.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
if [ -n "$character" ]; then
  cp "$character" "$WINEPREFIX/drive_c/windows/zinna.acs"
  # The wallpaper beside it, when there is one (the art build makes both).
  wallpaper="$(dirname "$character")/LH1024x768.bmp"
  [ -f "$wallpaper" ] && cp "$wallpaper" "$WINEPREFIX/drive_c/windows/"
else
  wine "$build/tests/windows_app/write_test_character.exe" 'C:\windows\zinna.acs' 2>/dev/null
fi

# CPU time of a process, all its threads, in nanoseconds (the scheduler's own count, finer than
# the clock ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ns += $1} END {printf "%.0f\n", ns}'; }
exe="$PWD/$build/apps/zinna/zinna.exe"
probe="$PWD/$build/tests/windows_app/zinna_probe.exe"
first_frame=$(mktemp)
# The probe waits in the same desktop for her first frame, started before zinna.exe.
wine explorer /desktop=shell,1024x768 "$probe" first-frame >"$first_frame" 2>/dev/null &
sleep 2
wine explorer /desktop=shell,1024x768 "$exe" >/dev/null 2>&1 &
zinna=
for _ in $(seq 100); do
  zinna=$(pgrep -f -n "^$exe\$" || true)
  [ -n "$zinna" ] && break
  sleep 0.1
done
[ -n "$zinna" ] || { echo "zinna.exe did not start" >&2; exit 1; }
# This prefix's Wine server: other Wine prefixes may have servers of their own running.
server=
for pid in $(pgrep '^wineserver'); do
  tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$pid
done
[ -n "$server" ] || { echo "no Wine server for $WINEPREFIX" >&2; exit 1; }
echo "zinna.exe pid $zinna, wineserver pid $server, Xvfb pid $xvfb_pid"

sleep 25  # the opening: the flight, the dance and the kiss
echo "start-up to the first frame shown: $(tr -d '\r' <"$first_frame") ms after zinna.exe's process was created"
rm -f "$first_frame"
echo "memory with the character loaded: VmRSS $(awk '/VmRSS/ {print $2, $3}' /proc/$zinna/status), VmHWM $(awk '/VmHWM/ {print $2, $3}' /proc/$zinna/status)"

measure() {  # label seconds
  local z0 s0 x0
  z0=$(cpu_ns "$zinna"); s0=$(cpu_ns "$server"); x0=$(cpu_ns "$xvfb_pid")
  sleep "$2"
  awk -v label="$1" -v s="$2" -v z=$(( $(cpu_ns "$zinna") - z0 )) -v w=$(( $(cpu_ns "$server") - s0 )) \
      -v x=$(( $(cpu_ns "$xvfb_pid") - x0 )) 'BEGIN {
    f = 60 / s / 1e6
    printf "%s: CPU ms per minute: zinna.exe %.1f, wineserver %.1f, Xvfb %.1f (over %d s)\n", label, z * f, w * f, x * f, s }'
}
measure "standing still" "$idle_seconds"

# Her place, from her window; the pointer comes from beside her, as a hand's would.
where=$(wine explorer /desktop=shell,1024x768 "$probe" where 2>/dev/null | tr -d '\r')
read -r x y <<<"$where"
echo "she stands at $where; FlyRight from her menu"
xdotool mousemove $((x - 5)) $((y - 5)) sleep 0.2 mousemove "$x" "$y" sleep 0.2 click 3 sleep 0.7 key f
measure "flying" "$fly_seconds"
xdotool mousemove 1 1
# The session's end puts the desktop back and ends zinna.exe.
wine explorer /desktop=shell,1024x768 "$PWD/$build/tests/windows_app/end_session.exe" 2>/dev/null || true
