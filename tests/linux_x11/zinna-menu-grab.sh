#!/usr/bin/env bash
# Her menu while another program holds the keyboard (a screen locker, a key chord, another menu):
# run under run-on-xvfb.sh.
#   zinna-menu-grab.sh ZINNA DATA_DIR GRAB_HOLDER
# The menu cannot have the keys it needs, so it closes again by itself, and the next right-click,
# once the keyboard is free, opens it as usual.
set -euo pipefail
zinna=$1 data=$2 holder=$3
work=$(mktemp -d)
trap 'exec 4>&- 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export ZINNA_DATA_DIR=$data XDG_STATE_HOME=$work/state
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}
visible() { xdotool search --onlyvisible --class "$1" 2>/dev/null | head -n1; }
shown() { [ -n "$(visible "$1")" ]; }
gone() { [ -z "$(visible "$1")" ]; }
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }  # sets X Y WIDTH HEIGHT

"$zinna" 2>"$work/stderr" &
zpid=$!
until_true shown '^Zinna$'
her=$(visible '^Zinna$')
# She flies in, then dances on the screen's bottom, where a right-click finds her.
until_true eval 'geometry "$her"; [ "$X" -le 0 ]'
until_true eval 'geometry "$her"; [ $((Y + 128)) -eq 768 ]'
right_click() {
  geometry "$her"
  xdotool mousemove $((X + 64)) $((Y + 80)) click 3
}

# Another program takes the keyboard; her menu opens, cannot have it, and closes by itself.
exec 4> >("$holder" keyboard >"$work/held")
until_true grep -q held "$work/held"
until_true eval 'right_click; shown "^ZinnaMenu$"'
until_true gone '^ZinnaMenu$'
grep -q "her menu closed" "$work/stderr" || fail "no word of the menu that could not have the keyboard"

# The keyboard free again: the next right-click opens the menu, and it answers the keys.
exec 4>&-
until_true eval 'right_click; shown "^ZinnaMenu$"'
xdotool key Escape
until_true gone '^ZinnaMenu$'
until_true eval 'right_click; shown "^ZinnaMenu$"'
xdotool key q
wait $zpid || fail "zinna ended with $?"
echo "her menu with the keyboard held elsewhere: closed by itself, and opened again after"
