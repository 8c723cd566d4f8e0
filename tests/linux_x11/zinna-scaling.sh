#!/usr/bin/env bash
# Where zinna first shows her on a scaled X screen, beside where the simulated desktop puts her on
# a Windows screen of the same size and DPI: run under run-on-xvfb.sh --screen WxH.
#   zinna-scaling.sh ZINNA ZINNA_SIM DATA_DIR DPI
# The user's scale is Xft.dpi in the root's RESOURCE_MANAGER (xrdb), as GNOME, Plasma and Xfce set
# it (Xvfb keeps it only when started with -noreset, as the runner does). Her first place is read
# from the X server's own notices (xev on the root), so a quick first move cannot hide it.
# Prints one line of the scaling table: screen, DPI, zinna's place and size, zinna-sim's place.
set -euo pipefail
zinna=$1 sim=$2 data=$3 dpi=$4
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export ZINNA_DATA_DIR=$data XDG_STATE_HOME=$work/state
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 30 s
  local end=$((SECONDS + 30))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}
read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, s, "x"); print s[1], s[2] }')

echo "Xft.dpi: $dpi" | xrdb -merge
xrdb -query | grep -q "^Xft.dpi:[[:space:]]*$dpi\$" || fail "the X server did not keep Xft.dpi"

# The server's notices of every top-level window: created, configured, mapped. Ready once it has
# seen a property of the root change.
xev -root -event substructure -event property >"$work/xev" &
until_true eval 'xprop -root -f _ZINNA_TEST_PROBE 8s -set _ZINNA_TEST_PROBE ready; grep -q _ZINNA_TEST_PROBE "$work/xev"'

"$zinna" 2>"$work/stderr" &
zpid=$!
until_true eval '[ -n "$(xdotool search --onlyvisible --class "^Zinna$" 2>/dev/null | head -n1)" ]'
her=$(printf '0x%x' "$(xdotool search --onlyvisible --class '^Zinna$' | head -n1)")
kill -TERM $zpid
wait $zpid || fail "zinna ended with $? after SIGTERM"

# Her place and size as last created or configured before the server first mapped her.
read -r X Y W H < <(awk -v her="$her" '
  /^(CreateNotify|ConfigureNotify|MapNotify) event/ { kind = $1; next }
  kind != "" && $0 ~ ("window " her ",") {
    if (kind == "MapNotify") { print place; exit }
    if (match($0, /\(-?[0-9]+,-?[0-9]+\), width [0-9]+, height [0-9]+/)) {
      numbers = substr($0, RSTART, RLENGTH)
      gsub(/[^-0-9]+/, " ", numbers)
      split(numbers, f, " ")
      place = f[1] " " f[2] " " f[3] " " f[4]
    }
    kind = ""
  }' "$work/xev")
[ -n "${X:-}" ] || fail "no map of her window $her in the server's notices"

# The simulated desktop: the program's first MoveTo on a Windows screen of the same size and DPI.
read -r sx sy < <("$sim" --dpi "$dpi" --screen "${width}x${height}" --format jsonl --seconds 1 |
  awk -F'[:,}]' '/"op":"MoveTo"/ { for (i = 1; i < NF; i++) { if ($i == "\"x\"") x = $(i + 1); if ($i == "\"y\"") y = $(i + 1) } print x, y; exit }')

echo "scaling: ${width}x${height} at $dpi DPI: zinna ${X},${Y} ${W}x${H}; zinna-sim ${sx},${sy}"
[ "$X,$Y" = "$sx,$sy" ] || fail "zinna first shows her at $X,$Y, the simulated desktop at $sx,$sy"
# Her frame centred on the screen: the place plus half her size is the middle, to a pixel.
[ $((2 * X + W - width)) -ge -1 ] && [ $((2 * X + W - width)) -le 1 ] || fail "not centred across: $X + $W/2"
[ $((2 * Y + H - height)) -ge -1 ] && [ $((2 * Y + H - height)) -le 1 ] || fail "not centred down: $Y + $H/2"
