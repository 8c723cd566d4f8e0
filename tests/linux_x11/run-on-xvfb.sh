#!/usr/bin/env bash
# Runs a command on a private Xvfb display (1024x768, 24 bits, or the size after --screen), with a
# compositor (xcompmgr) when an argument before the command is --compositor, and stops both
# afterwards. The command's exit status is ours.
# The display is the first free one (Xvfb -displayfd), so tests may run side by side.
set -euo pipefail
compositor=0
screen=1024x768
while true; do
  case "${1:-}" in
    --compositor) compositor=1; shift ;;
    --screen) screen=$2; shift 2 ;;
    *) break ;;
  esac
done
[ "${1:-}" = "--" ] && shift

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
# Xvfb writes the display's number once it accepts clients.
for _ in $(seq 300); do
  [ -s "$work/display" ] && break
  kill -0 "${pids[0]}" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.05
done
export DISPLAY=":$(head -n1 "$work/display")"
export ZINNA_TEST_XVFB_PID=${pids[0]}  # for the tests that take the X server away
if [ "$compositor" = 1 ]; then
  xcompmgr >"$work/xcompmgr.log" 2>&1 &
  pids+=($!)
  # The tests wait for its selection themselves.
  export ZINNA_TEST_COMPOSITOR=1
fi
status=0
"$@" || status=$?
exit "$status"
