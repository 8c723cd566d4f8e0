#!/usr/bin/env bash
# On the user's own X desktop (DISPLAY set and the X server answering xdpyinfo): builds the native
# zinna and shows her there until she is quit. Otherwise builds zinna-sim and runs the companion on
# the simulated desktop for three virtual minutes in which the user quits near the end. Standard
# output carries only the timeline (extra arguments go to zinna-sim: --format jsonl, --seed N,
# --script FILE, ...); a line on standard error tells each step; package and build output go to
# build/run-sim.log. Last, it films her opening as a GIF.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log=build/run-sim.log
: >"$log"

# step WHAT COMMAND...: runs the command with its output in the log; on failure, says where to look.
step() {
  local what=$1
  shift
  echo "run-sim: $what" >&2
  if ! "$@" >>"$log" 2>&1; then
    echo "run-sim: $what failed; its output is in $log" >&2
    exit 1
  fi
}

if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
  step "installing the packages zinna on your desktop needs" scripts/install-deps.sh --desktop
  step "configuring the release build" cmake --preset release
  step "building zinna, her character and the wallpaper" \
    cmake --build --preset release -j "$(nproc)" --target zinna zinna-windows-dir
  echo "run-sim: zinna on your desktop ($DISPLAY); right-click her and choose Quit to end" >&2
  exec env ZINNA_DATA_DIR="$PWD/build/release/windows-dir" build/release/apps/zinna/zinna
fi

step "installing the packages the simulated desktop needs" scripts/install-deps.sh --sim
step "configuring the release build" cmake --preset release
step "building zinna-sim" cmake --build --preset release -j "$(nproc)" --target zinna-sim
sim=build/release/apps/zinna-sim/zinna-sim

echo "run-sim: her life on the simulated desktop, three virtual minutes:" >&2
status=0
"$sim" --seconds 180 "$@" || status=$?

movie=build/zinna-opening.gif
step "filming her opening" "$sim" --seed 1 --seconds 18 --script /dev/null --movie "$movie"
echo "run-sim: a movie of her opening: $movie" >&2
exit $status
