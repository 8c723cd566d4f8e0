#!/usr/bin/env bash
# The X server going away while zinna runs and wears the user's desktop (a crash of the server, a
# session torn down): run under run-on-xvfb.sh, whose server this takes away.
#   zinna-x-server-lost.sh ZINNA DATA_DIR
# zinna cannot give the desktop back without her display, so she ends at once with exit code 3 and
# one line on standard error, and keeps the restore journal; "zinna --restore" on the next X server
# gives the desktop (GNOME's settings, which outlive the server) back from it.
set -euo pipefail
zinna=$1 data=$2
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export ZINNA_DATA_DIR=$data XDG_STATE_HOME=$work/state
export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=$work/config
journal=$work/state/zinna/restore.journal
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}
settings() { gsettings list-recursively org.gnome.desktop.background; }
gsettings set org.gnome.desktop.background picture-uri "file://$work/own.png"
gsettings set org.gnome.desktop.background primary-color '#2e5c8a'
before=$(settings)

"$zinna" 2>"$work/stderr" &
zpid=$!
until_true eval '[ -n "$(xdotool search --onlyvisible --class "^Zinna$" 2>/dev/null)" ]'
until_true test -s "$journal"
[ "$(settings)" != "$before" ] || fail "she does not wear the desktop"

kill -KILL "$ZINNA_TEST_XVFB_PID"  # the X server is gone
status=0
wait $zpid || status=$?
cat "$work/stderr" >&2
[ "$status" = 3 ] || fail "zinna ended with $status when the X server went away"
[ "$(grep -c 'the X server has gone' "$work/stderr")" = 1 ] || fail "not one line about the lost server"
grep -q 'XIO' "$work/stderr" && fail "Xlib's own handler ran"
test -s "$journal" || fail "the restore journal went with the X server"
[ "$(settings)" != "$before" ] || fail "the desktop was given back after all (then this test should say so)"

# The next X server: "zinna --restore" gives the desktop back from the journal.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
exec 3>&-
until_true test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
"$zinna" --restore 2>>"$work/stderr" || fail "zinna --restore ended with $?"
[ "$(settings)" = "$before" ] || fail "the desktop's settings differ after --restore"
[ ! -e "$journal" ] || fail "the journal is still there after --restore"
echo "the X server lost: she ended with 3, the journal kept and applied on the next server"
