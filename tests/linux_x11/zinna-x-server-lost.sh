#!/usr/bin/env bash
# The X server going away while zinna runs and wears the user's desktop (a crash of the server, a
# session torn down): run under run-on-xvfb.sh, whose server this takes away.
#   zinna-x-server-lost.sh ZINNA DATA_DIR
# GNOME's settings outlive the server and need no X: she gives them back from the restore journal
# in the handler of the server's loss, removes the journal, and ends with exit code 3 without
# returning into Xlib. (zinna-ending-faults.sh has the rows where that cannot be done.)
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
grep -q "the desktop's settings are given back" "$work/stderr" || fail "no word of the settings given back"
grep -q 'XIO' "$work/stderr" && fail "Xlib's own handler ran"
[ ! -e "$journal" ] || fail "the restore journal is still there though the settings came back"
[ "$(settings)" = "$before" ] || fail "the desktop's settings differ: $(diff <(echo "$before") <(settings))"
echo "the X server lost: she gave GNOME's settings back, removed the journal and ended with 3"
