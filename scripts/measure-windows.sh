#!/usr/bin/env bash
# Figures for zinna.exe with the built-in host under Wine on this machine: memory with the character
# loaded, and CPU time per minute while she stands still and while she flies. Counts zinna.exe's
# own process and, apart, the Wine server and the X server that draw for it. Needs the Windows
# build (scripts/test-windows.sh) and a character file (default: the test character, written by
# the desktop test's helper). Prints the figures; changes nothing outside build/windows.
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
wineserver -p
if [ -n "$character" ]; then
  cp "$character" "$WINEPREFIX/drive_c/windows/zinna.acs"
else
  wine "$build/tests/windows_app/write_test_character.exe" 'C:\windows\zinna.acs' 2>/dev/null
fi

# CPU ticks (user + system) of a process, from /proc.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
exe="$PWD/$build/apps/zinna/zinna.exe"
wine explorer /desktop=shell,1024x768 "$exe" >/dev/null 2>&1 &
zinna=
for _ in $(seq 100); do
  zinna=$(pgrep -f -n "^$exe\$" || true)
  [ -n "$zinna" ] && break
  sleep 0.1
done
[ -n "$zinna" ] || { echo "zinna.exe did not start" >&2; exit 1; }
server=$(pgrep -n '^wineserver')
echo "zinna.exe pid $zinna, wineserver pid $server, Xvfb pid $xvfb_pid"

sleep 25  # the opening: the flight, the dance and the kiss
echo "memory with the character loaded: VmRSS $(awk '/VmRSS/ {print $2, $3}' /proc/$zinna/status), VmHWM $(awk '/VmHWM/ {print $2, $3}' /proc/$zinna/status)"

measure() {  # label seconds
  local z0 s0 x0
  z0=$(ticks "$zinna"); s0=$(ticks "$server"); x0=$(ticks "$xvfb_pid")
  sleep "$2"
  awk -v label="$1" -v s="$2" -v hz="$hz" -v z=$(( $(ticks "$zinna") - z0 )) -v w=$(( $(ticks "$server") - s0 )) \
      -v x=$(( $(ticks "$xvfb_pid") - x0 )) 'BEGIN {
    f = 60 / s * 1000 / hz
    printf "%s: CPU ms per minute: zinna.exe %.0f, wineserver %.0f, Xvfb %.0f (over %d s)\n", label, z * f, w * f, x * f, s }'
}
measure "standing still" "$idle_seconds"

# Her place: the one 32x32 square of the kiss's colour (or the first non-background pixel).
where=$(import -window root -depth 8 ppm:- | python3 -c '
import sys
d = sys.stdin.buffer.read(); head = d.split(b"\n", 3); w, h = map(int, head[1].split()); px = head[3]
bg = px[0:3]
for y in range(0, h - 30):
    row = px[y * w * 3:(y + 1) * w * 3]
    for x in range(w):
        p = row[x * 3:x * 3 + 3]
        if p != bg and p != b"\xff\xff\xff" and y < h - 25:
            print(x + 8, y + 8); sys.exit()
')
echo "she stands at $where; FlyRight from her menu"
xdotool mousemove $where click 3 sleep 0.7 key f
measure "flying" "$fly_seconds"
xdotool mousemove 1 1
# The session's end puts the desktop back and ends zinna.exe.
wine "$build/tests/windows_app/end_session.exe" 2>/dev/null || true
