#!/usr/bin/env bash
# One Zinna per user, whatever the display: run under run-on-xvfb.sh, with a second Xvfb of its own.
#   zinna-one-per-user.sh ZINNA DATA_DIR
# While she runs on the first screen, a second zinna of the same user on the second screen ends at
# once with 0, says so, shows nothing and touches neither the desktop nor her journal; "zinna
# --restore" leaves the running one's journal alone too. Both on bare X screens (the second screen's
# root picture) and on GNOME (the user's settings, which both displays share). Every wait is
# bounded, never a fixed sleep.
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
user_settings() { [ -z "${XDG_CURRENT_DESKTOP:-}" ] || gsettings list-recursively org.gnome.desktop.background; }
root_picture() { DISPLAY=$1 xprop -root _XROOTPMAP_ID 2>&1 || true; }

first=$DISPLAY
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
until_true test -s "$work/display"
second=":$(head -n1 "$work/display")"
before_second=$(root_picture "$second")

for mode in plain gnome; do
  if [ $mode = gnome ]; then
    export XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=$work/config
    gsettings set org.gnome.desktop.background picture-uri "file://$work/own.png"
    gsettings set org.gnome.desktop.background primary-color '#2e5c8a'
  fi
  users=$(user_settings)
  "$zinna" 2>>"$work/first.err" &
  her=$!
  pids+=($her)
  until_true shown_on "$first"
  until_true test -s "$journal"
  # Her whole look first (the picture, then the colour), so that only a second zinna could change it.
  until_true eval '[ $mode = plain ] || { user_settings | grep -q LH1024x768 && user_settings | grep -q "#000000"; }'
  journal_before=$(sha256sum "$journal")
  dressed=$(user_settings)

  for option in "" --restore; do
    status=0
    DISPLAY=$second timeout 20 "$zinna" $option 2>"$work/second.err" || status=$?
    [ "$status" = 0 ] || fail "a second zinna $option ended with $status: $(cat "$work/second.err")"
    grep -q "another Zinna of this user is running" "$work/second.err" || fail "no word of the first: $(cat "$work/second.err")"
    shown_on "$second" && fail "a second zinna $option showed herself"
    [ "$(root_picture "$second")" = "$before_second" ] || fail "a second zinna $option changed the second screen"
    [ "$(sha256sum "$journal")" = "$journal_before" ] || fail "a second zinna $option touched the journal"
    [ "$(user_settings)" = "$dressed" ] || fail "a second zinna $option changed the user's settings"
    kill -0 $her || fail "the first one ended"
  done

  kill -TERM $her
  wait $her || fail "the first zinna ended with $?"
  [ ! -e "$journal" ] || fail "the journal is still there after the first one's orderly end"
  [ "$(user_settings)" = "$users" ] || fail "$mode: the user's settings differ after the first one's end"
done
echo "one zinna per user: all well"
