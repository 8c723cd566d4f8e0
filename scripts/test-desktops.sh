#!/usr/bin/env bash
# The real zinna inside real desktop sessions: each desktop's own components from Debian's packages
# under Xvfb, with a private session bus, checked as a person would (scripts/desktops/common.sh).
#   test-desktops.sh [--zinna PROGRAM] [--data FOLDER] [--screenshots FOLDER] [DESKTOP...]
# DESKTOP: xfce gnome-x11 plasma mate gnome-wayland cinnamon (all by default). PROGRAM defaults to
# build/debug/apps/zinna/zinna and FOLDER to build/debug/windows-dir. --screenshots writes
# FOLDER/desktop-DESKTOP.png, a half-size picture of the screen with her menu open.
# Each desktop prints one result line; a table follows. The exit status is 1 when one failed; a
# desktop whose components cannot run here is skipped, with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
zinna=build/debug/apps/zinna/zinna
data=build/debug/windows-dir
shots=""
desktops=()
while [ $# -gt 0 ]; do
  case $1 in
  --zinna) zinna=$2; shift 2 ;;
  --data) data=$2; shift 2 ;;
  --screenshots) shots=$2; shift 2 ;;
  -*) echo "usage: test-desktops.sh [--zinna PROGRAM] [--data FOLDER] [--screenshots FOLDER] [DESKTOP...]" >&2; exit 2 ;;
  *) desktops+=("$1"); shift ;;
  esac
done
[ ${#desktops[@]} -gt 0 ] || desktops=(xfce gnome-x11 plasma mate gnome-wayland cinnamon)
[ -x "$zinna" ] || { echo "test-desktops.sh: no zinna at $zinna (build the zinna target first)" >&2; exit 2; }
[ -s "$data/LH1024x768.bmp" ] || { echo "test-desktops.sh: no LH1024x768.bmp in $data" >&2; exit 2; }
zinna=$(realpath "$zinna")
data=$(realpath "$data")
[ -z "$shots" ] || shots=$(realpath "$shots")

echo "=== desktops ==="
logs=$(mktemp -d /tmp/zinna-desktop-logs.XXXXXX)
trap 'rm -rf "$logs"' EXIT
# What each desktop runs (its components) and checks.
declare -A components=(
  [xfce]="xfwm4, xfce4-panel, xfdesktop, xfconfd"
  [gnome-x11]="gnome-shell --x11, dconf-service"
  [plasma]="kwin_x11, plasmashell (software rendering)"
  [mate]="marco, mate-panel, caja's desktop, dconf-service"
  [gnome-wayland]="gnome-shell --wayland --headless, Xwayland, dconf-service"
  [cinnamon]="cinnamon, csd-background (told the session runs by a stand-in session manager), dconf-service"
)
# Processes a desktop left behind, even ones that left its process group (a bus's services, the
# helpers a shell starts): every process of the run carries the marker in its environment.
stop_strays() {
  local pids pid n=0
  pids=$(grep -lsz "^ZINNA_DESKTOP_RUN=$1\$" /proc/[0-9]*/environ | cut -d/ -f3 || true)
  [ -n "$pids" ] || return 0
  echo "stopping what the session left: $(echo $pids)"
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  any_alive() {
    local p
    for p in "$@"; do kill -0 "$p" 2>/dev/null && return 0; done
    return 1
  }
  # shellcheck disable=SC2086
  while [ $n -lt 30 ] && any_alive $pids; do
    sleep 0.1
    n=$((n + 1))
  done
  for pid in $pids; do kill -KILL "$pid" 2>/dev/null || true; done
}
rows=()
failures=0
for desktop in "${desktops[@]}"; do
  script=scripts/desktops/$desktop.sh
  [ -x "$script" ] || { echo "test-desktops.sh: no desktop named $desktop" >&2; exit 2; }
  started=$SECONDS
  status=0
  ZINNA_DESKTOP_RUN=$logs/$desktop ZINNA=$zinna ZINNA_DATA_DIR=$data ZINNA_DESKTOP_RESULT=$logs/$desktop.result \
    ZINNA_DESKTOP_SCREENSHOT=${shots:+$shots/desktop-$desktop.png} \
    timeout -k 10 300 "$script" >"$logs/$desktop.log" 2>&1 || status=$?
  stop_strays "$logs/$desktop" >>"$logs/$desktop.log" 2>&1
  took=$((SECONDS - started))
  line=$(cat "$logs/$desktop.result" 2>/dev/null || true)
  outcome=${line%%|*}
  rest=${line#*|}
  case $outcome in
  passed) checks=$rest verdict="passed" ;;
  skipped) checks="-" verdict="skipped: $rest" ;;
  failed) checks=${rest#*|} verdict="FAILED: ${rest%%|*}" ;;
  *) checks="-" verdict="FAILED: ended with status $status and no result$([ $status = 124 ] && echo ' (timed out)')" ;;
  esac
  if [ "$outcome" = passed ] && [ $status -ne 0 ]; then verdict="FAILED: passed, then ended with status $status"; fi
  if [[ $verdict == FAILED* ]]; then
    failures=$((failures + 1))
    echo "--- $desktop: the end of its log ---"
    tail -n 40 "$logs/$desktop.log"
  fi
  echo "$desktop: ${verdict} (${took}s)"
  rows+=("| $desktop | ${components[$desktop]} | ${checks:--} | $verdict (${took} s) |")
done
echo
echo "| desktop | components run | what was checked | result |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
[ $failures -eq 0 ]
