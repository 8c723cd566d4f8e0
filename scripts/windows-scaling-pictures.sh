#!/usr/bin/env bash
# Pictures of Zinna under Wine at 100 %, 150 % and 200 % scaling (Wine's LogPixels at 96, 144 and
# 192 DPI), with the art build's character and wallpaper, in a 1024x768 desktop with Wine's shell:
# she stands on the taskbar after her opening. Needs the Windows build
# (scripts/test-windows.sh) and the native art build (build/debug/windows-dir). Writes
# docs/windows-scaling-100.png, -150.png and -200.png; puts LogPixels back to 96 afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
export WINEPREFIX="$PWD/$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
art=build/debug/windows-dir
exe="$PWD/$build/apps/zinna/zinna.exe"
probe="$PWD/$build/tests/windows_app/zinna_probe.exe"

xvfb_pid=
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
    /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
cleanup() {
  set_dpi 96 || true
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
for n in $(seq 181 220); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  break
done
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
cp "$art/zinna.acs" "$art/LH1024x768.bmp" "$WINEPREFIX/drive_c/windows/"

# Her centre as "x y", once she has stood still at one place for two seconds.
wait_until_still() {
  local last= now= still=0
  for _ in $(seq 120); do
    now=$(timeout 20 wine explorer /desktop=shell,1024x768 "$probe" where 2>/dev/null | tr -d '\r' || true)
    if [ -n "$now" ] && [ "$now" = "$last" ]; then still=$((still + 1)); else still=0; fi
    last=$now
    [ "$still" -ge 4 ] && { echo "$now"; return 0; }
    sleep 0.5
  done
  return 1
}
for dpi in 96 144 192; do
  set_dpi "$dpi"
  wine explorer /desktop=shell,1024x768 "$exe" >/dev/null 2>&1 &
  sleep 20  # her opening (about 17 s); and the desktop is hers before a probe starts another
  read -r x y < <(wait_until_still)
  percent=$((dpi * 100 / 96))
  left=$((x - 350 < 0 ? 0 : (x + 350 > 1024 ? 324 : x - 350)))
  import -window root -crop "700x480+$left+288" +repage "docs/windows-scaling-$percent.png"
  echo "at $dpi DPI: docs/windows-scaling-$percent.png (her centre at $x,$y)"
  xdotool mousemove "$x" "$y" sleep 0.2 click 3 sleep 0.8 key q
  for _ in $(seq 100); do pgrep -f "^$exe\$" >/dev/null || break; sleep 0.2; done
done
