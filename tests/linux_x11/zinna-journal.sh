#!/usr/bin/env bash
# zinna's restore journal end to end on an X screen: run under run-on-xvfb.sh.
#   zinna-journal.sh ZINNA DATA_DIR gnome|plain
# A run killed while the desktop wears her look leaves the journal; "zinna --restore" gives the
# desktop back from it, and so does the next ordinary start (its quit then ends in order).
# Every wait is for a window, a setting or a file, never for a fixed time.
set -euo pipefail
zinna=$1 data=$2 mode=$3
work=$(mktemp -d)
trap 'kill -CONT $(jobs -p) 2>/dev/null || true; kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export ZINNA_DATA_DIR=$data XDG_STATE_HOME=$work/state
journal=$work/state/zinna/restore.journal
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}
visible() { xdotool search --onlyvisible --class "$1" 2>/dev/null | head -n1; }
shown() { [ -n "$(visible "$1")" ]; }
# shellcheck source=clicks-on-her.sh
. "$(dirname "$0")/clicks-on-her.sh"
desktop_settings() {
  if [ "$mode" = gnome ]; then gsettings list-recursively org.gnome.desktop.background; fi
  xprop -root _XROOTPMAP_ID ESETROOT_PMAP_ID 2>&1 | sed 's/no such atom on any window/not found/' || true
}
changed() { [ "$(desktop_settings)" != "$before" ]; }

if [ "$mode" = gnome ]; then
  export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=$work/config
  gsettings set org.gnome.desktop.background picture-uri "file://$work/own.png"
  gsettings set org.gnome.desktop.background primary-color '#2e5c8a'
  gsettings set org.gnome.desktop.background picture-options 'zoom'
fi
before=$(desktop_settings)

# Asked for her usage, her version or with a mistake, she prints and leaves the display alone: no
# window, no setting changed, no journal. (Were she started instead, she would run until the timeout.)
for args in --help --version --bogus "--restore --bogus"; do
  status=0
  # shellcheck disable=SC2086 # the words of $args are the arguments
  timeout 20 "$zinna" $args >"$work/out" 2>"$work/err" || status=$?
  case $args in
    --help | --version) [ $status = 0 ] && [ -s "$work/out" ] && [ ! -s "$work/err" ] ||
      fail "zinna $args: exit status $status, standard error: $(cat "$work/err")" ;;
    *) [ $status = 2 ] && [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" = 1 ] ||
      fail "zinna $args: exit status $status, standard error: $(cat "$work/err")" ;;
  esac
  [ "$(desktop_settings)" = "$before" ] || fail "zinna $args changed the desktop's settings"
  [ ! -e "$journal" ] || fail "zinna $args wrote a journal"
  if shown '^Zinna$'; then fail "zinna $args showed her"; fi
done

# Killed while she wears the desktop: the journal stays, "zinna --restore" applies it.
kill_her() {
  "$zinna" 2>>"$work/stderr" &
  local pid=$!
  until_true changed
  until_true test -s "$journal"
  kill -9 $pid
  wait $pid 2>/dev/null || true
  changed || fail "the desktop is the user's again without a restore"
}
kill_her
"$zinna" --restore 2>>"$work/stderr" || fail "zinna --restore ended with $?"
[ "$(desktop_settings)" = "$before" ] || fail "the desktop's settings differ after --restore"
[ ! -e "$journal" ] || fail "the journal is still there after --restore"
shown '^Zinna$' && fail "--restore started her"

# Killed again; the next ordinary start gives the desktop back first, its q-quit once more.
kill_her
"$zinna" 2>>"$work/stderr" &
zpid=$!
until_true shown '^Zinna$'
her=$(visible '^Zinna$')
# She flies in from the left edge, then dances on the screen's bottom, where she stays a while.
geometry() { eval "$(xdotool getwindowgeometry --shell "$her")"; }  # sets X Y WIDTH HEIGHT
until_true eval 'geometry; [ "$X" -le 0 ]'
until_true eval 'geometry; [ $((Y + 128)) -eq 768 ]'
# She comes in with a sparkle that the pointer passes through: the click waits for her own frames.
her_colours() {
  import -window root "$work/screen.png"
  [ "$(convert "$work/screen.png" -crop "128x128+$X+$Y" +repage -unique-colors txt:- | wc -l)" -gt 20 ]
}
until_true eval 'geometry; her_colours'
on_her 64 80 click 3
until_true shown '^ZinnaMenu$'
xdotool key q
wait $zpid || fail "zinna ended with $?"
[ "$(desktop_settings)" = "$before" ] || fail "the desktop's settings differ after the quit"
[ ! -e "$journal" ] || fail "the journal is still there after the quit"
grep -q "restore journal restored" "$work/stderr" || fail "no notice of the restore: $(cat "$work/stderr")"
# Her look with no journal to say what the user had (the journal lost with a profile): "zinna
# --restore" cannot give the desktop back, says so and ends with 1, and leaves the desktop alone.
kill_her
rm -f "$journal"
worn=$(desktop_settings)
status=0
"$zinna" --restore 2>"$work/err" || status=$?
[ $status = 1 ] || fail "zinna --restore with her look and no journal ended with $status: $(cat "$work/err")"
grep -q "not given back" "$work/err" || fail "zinna --restore did not say so: $(cat "$work/err")"
[ "$(desktop_settings)" = "$worn" ] || fail "zinna --restore changed a desktop it could not give back"
echo "zinna's journal on the $mode desktop: all well"
