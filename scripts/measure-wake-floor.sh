#!/usr/bin/env bash
# The floor under her animating cost: a bare Xlib client (scripts/wake-floor.c) that shows a change
# N times a second costs this much CPU a minute on this machine, whatever the program around it.
# Compare with scripts/measure-linux.sh's "animating" column: her flight shows 14 changes a second
# (a 60 ms wing-beat frame, then the next wing beat with the 20 ms move's placement); oneko 8. With
# "held" the client wakes once for two changes, handing the server the second for later, as she
# does with a wing beat's second frame (7 wake-ups a second for her flight's 14 changes).
#
#   scripts/measure-wake-floor.sh [--seconds N] [RATE ...]     (default: 1 7 8 14 21 a second)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=10
rates=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    *) rates+=("$1"); shift ;;
  esac
done
[ ${#rates[@]} -gt 0 ] || rates=(1 7 8 14 21)
if [ -z "${ZINNA_MEASURE_ON_XVFB:-}" ]; then
  ZINNA_MEASURE_ON_XVFB=1 exec "$here/tests/linux_x11/run-on-xvfb.sh" "$0" --seconds "$seconds" "${rates[@]}"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/wake-floor" "$here/scripts/wake-floor.c" -lX11 -lXext
for rate in "${rates[@]}"; do
  for what in idle move held; do "$work/wake-floor" "$rate" "$what" "$seconds"; done
done
