#!/usr/bin/env bash
# zinna end to end on an X screen, as a person would use her: run under run-on-xvfb.sh.
#   zinna-on-desktop.sh ZINNA DATA_DIR STUBS_DIR gnome|plain
# gnome: the desktop's settings live in GNOME's keyfile backend; plain: a bare X screen.
# Every wait is for a window, a place or a file, never for a fixed time.
set -euo pipefail
zinna=$1 data=$2 stubs=$3 mode=$4
work=$(mktemp -d)
trap 'kill -CONT ${zpid:-} 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export ZINNA_DATA_DIR=$data ZINNA_XDG_OPEN_LOG=$work/opened PATH=$stubs:$PATH XDG_STATE_HOME=$work/state
journal=$work/state/zinna/restore.journal  # written while she runs, gone after every orderly end
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}
visible() { xdotool search --onlyvisible --class "$1" 2>/dev/null | head -n1; }
shown() { [ -n "$(visible "$1")" ]; }
gone() { [ -z "$(visible "$1")" ]; }
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }  # sets X Y WIDTH HEIGHT
# shellcheck source=clicks-on-her.sh
. "$(dirname "$0")/clicks-on-her.sh"
desktop_settings() {
  if [ "$mode" = gnome ]; then gsettings list-recursively org.gnome.desktop.background; fi
  # A property that is absent reads "no such atom" until some client names the atom (zinna does, by
  # reading it), and "not found" after: both say the same, that the root has no such property.
  xprop -root _XROOTPMAP_ID ESETROOT_PMAP_ID 2>&1 | sed 's/no such atom on any window/not found/' || true
}

if [ "$mode" = gnome ]; then
  export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=$work/config
  gsettings set org.gnome.desktop.background picture-uri "file://$work/own.png"
  gsettings set org.gnome.desktop.background primary-color '#2e5c8a'
  gsettings set org.gnome.desktop.background picture-options 'zoom'
else
  # A bare X screen has no session bus either: nothing there needs GIO.
  unset DBUS_SESSION_BUS_ADDRESS
  export XDG_RUNTIME_DIR=$work/runtime
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi
before=$(desktop_settings)

# The test panel: a dock along the bottom that reserves 28 pixels with its strut.
xmessage -geometry 1024x28+0+740 -buttons '' -name zinnapanel ' ' &
until_true eval 'xdotool search --onlyvisible --classname zinnapanel >/dev/null'
panel=$(xdotool search --onlyvisible --classname zinnapanel | head -n1)
xprop -id "$panel" -f _NET_WM_WINDOW_TYPE 32a -set _NET_WM_WINDOW_TYPE _NET_WM_WINDOW_TYPE_DOCK
xprop -id "$panel" -f _NET_WM_STRUT_PARTIAL 32c -set _NET_WM_STRUT_PARTIAL 0,0,0,28,0,0,0,0,0,0,0,1023

"$zinna" 2>"$work/stderr" &
zpid=$!
until_true shown '^Zinna$'
her=$(visible '^Zinna$')
geometry "$her"
[ "$X,$Y" = "448,320" ] || echo "note: first seen at $X,$Y (she had moved on already)"
[ "$WIDTH" = 128 ] || fail "her window is $WIDTH wide"
# She flies in from the left edge, then dances on the panel (or the screen's bottom).
until_true eval 'geometry "$her"; [ "$X" -le 0 ]'
until_true eval 'geometry "$her"; [ $((Y + 128)) -eq 740 ] || [ $((Y + 128)) -eq 768 ]'
floor=$((Y + 128))
echo "she dances with her feet at y=$floor"

# Her libraries once she dances: GIO only where the desktop's settings need it, Xft (with
# fontconfig) not before her first words or her menu.
mapped() { grep -q "/$1" "/proc/$zpid/maps"; }
if [ "$mode" = gnome ]; then
  mapped libgio-2.0.so || fail "GIO is not loaded for GNOME's settings"
else
  ! mapped libgio-2.0.so || fail "GIO is loaded on a bare X screen"
fi
! mapped libXft.so || fail "Xft is loaded before her first words"

# The screen: her pixels inside her window, and the desktop through its empty corner. She comes
# in with a sparkle of a few colours, so this waits for her own frames.
her_colours() {
  import -window root "$work/screen.png"
  colours=$(convert "$work/screen.png" -crop "128x128+$X+$Y" +repage -unique-colors txt:- | wc -l)
  [ "$colours" -gt 20 ]
}
until_true eval 'geometry "$her"; her_colours'
corner=$(convert "$work/screen.png" -crop "1x1+$((X + 1))+$((Y + 1))" txt:- | tail -n1 | awk '{print $3}')
outside=$(convert "$work/screen.png" -crop "1x1+$((X > 2 ? X - 2 : X + 130))+$((Y + 1))" txt:- | tail -n1 | awk '{print $3}')
[ "$corner" = "$outside" ] || echo "note: corner $corner, desktop beside her $outside (the wallpaper's own detail)"

open_menu() {
  on_her 64 80 click 3
  until_true shown '^ZinnaMenu$'
  menu=$(visible '^ZinnaMenu$')
  geometry "$menu"
  [ $(((HEIGHT - 2) % 13)) -eq 0 ] || fail "the menu is $HEIGHT high: not thirteen entries"
  row=$(((HEIGHT - 2) / 13))
}
click_entry() {  # the entry's place from 0
  xdotool mousemove $((X + 20)) $((Y + 1 + $1 * row + row / 2)) click 1
  until_true gone '^ZinnaMenu$'
}

open_menu
xdotool key d
until_true gone '^ZinnaMenu$'

# A double-click opens the page through xdg-open.
on_her 64 80 click --repeat 2 --delay 80 1
until_true grep -q '^http' "$work/opened"

# A drag: she follows the pointer and fades out of her dance where she is dropped.
until_true shown '^Zinna$'
on_her 64 80 mousedown 1
xdotool mousemove $((X + 90)) $((Y + 70)) mousemove 300 200 mouseup 1
until_true eval 'geometry "$her"; [ "$X,$Y" = "236,120" ]'

# The hidden separators, in order, bring the credits balloon.
for entry in 1 8 11; do open_menu; click_entry $entry; done
until_true eval '[ -n "$(xdotool search --onlyvisible --name "^Zinna balloon$" 2>/dev/null)" ]'
mapped libXft.so || fail "her words are shown without Xft loaded"

# q quits; the desktop is the user's again.
open_menu
xdotool key q
wait $zpid || fail "zinna ended with $?"
[ "$(desktop_settings)" = "$before" ] || fail "the desktop's settings differ after quitting"
[ ! -e "$journal" ] || fail "the restore journal is left after quitting"

# The session's end in the middle of the flight puts the desktop back too.
"$zinna" 2>>"$work/stderr" &
zpid=$!
until_true shown '^Zinna$'
her=$(visible '^Zinna$')
until_true eval 'geometry "$her"; [ "$X" -le 0 ]'
[ -s "$journal" ] || fail "no restore journal while she wears the desktop"
kill -TERM $zpid
wait $zpid || fail "zinna ended with $? after SIGTERM"
[ "$(desktop_settings)" = "$before" ] || fail "the desktop's settings differ after SIGTERM"
[ ! -e "$journal" ] || fail "the restore journal is left after SIGTERM"
echo "zinna on the $mode desktop: all well"
