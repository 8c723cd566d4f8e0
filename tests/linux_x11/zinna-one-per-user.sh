#!/usr/bin/env bash
# One Zinna per user, whatever the display: run under run-on-xvfb.sh, with a second Xvfb of its own.
#   zinna-one-per-user.sh ZINNA DATA_DIR
# While she runs on the first screen, a second zinna of the same user on the second screen ends at
# once with 0, says so, shows nothing and touches neither the desktop nor her journal; "zinna
# --restore" leaves the running one's journal alone too. Every wait is bounded, never a fixed sleep.
set -euo pipefail
zinna=$1 data=$2
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
export ZINNA_DATA_DIR=$data XDG_STATE_HOME=$work/state
journal=$work/state/zinna/restore.journal
fail() { echo "FAIL: $*" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}
shown_on() { [ -n "$(DISPLAY=$1 xdotool search --onlyvisible --class '^Zinna$' 2>/dev/null | head -n1)" ]; }
root_picture() { DISPLAY=$1 xprop -root _XROOTPMAP_ID 2>&1 || true; }

first=$DISPLAY
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
until_true test -s "$work/display"
second=":$(head -n1 "$work/display")"
before_second=$(root_picture "$second")

"$zinna" 2>>"$work/first.err" &
her=$!
pids+=($her)
until_true shown_on "$first"
until_true test -s "$journal"
journal_before=$(sha256sum "$journal")

for option in "" --restore; do
  status=0
  DISPLAY=$second timeout 20 "$zinna" $option 2>"$work/second.err" || status=$?
  [ "$status" = 0 ] || fail "a second zinna $option ended with $status: $(cat "$work/second.err")"
  grep -q "another Zinna of this user is running" "$work/second.err" || fail "no word of the first: $(cat "$work/second.err")"
  shown_on "$second" && fail "a second zinna $option showed herself"
  [ "$(root_picture "$second")" = "$before_second" ] || fail "a second zinna $option changed the second screen"
  [ "$(sha256sum "$journal")" = "$journal_before" ] || fail "a second zinna $option touched the journal"
  kill -0 $her || fail "the first one ended"
done

kill -TERM $her
wait $her || fail "the first zinna ended with $?"
[ ! -e "$journal" ] || fail "the journal is still there after the first one's orderly end"
echo "one zinna per user: all well"
