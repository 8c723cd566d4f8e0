#!/usr/bin/env bash
# zinna's ending when something under her fails, against the real services: xfconfd and dconf on a
# private session bus, each row on an Xvfb of its own. One row a line of the table below: the
# desktop, the fault, then what must follow: her exit status, the longest the ending may take, the
# journal afterwards, and what standard error must say.
#   zinna-ending-faults.sh ZINNA DATA_DIR
# A service that hangs (SIGSTOP) while she ends costs a few seconds in all, never a timeout a
# setting: she ends within 10 s and keeps the journal, which "zinna --restore" applies once the
# service answers again. The X server's loss gives the settings back through their services (which
# need no X), exit code 3; what cannot come back without X (the bare screen), or without a service,
# stays in the journal, exit code 4. Every wait is bounded, never a fixed sleep.
set -euo pipefail
zinna=$1 data=$2

# The services start with the bus's environment: set it first, then run again inside the bus.
if [ -z "${ZINNA_ENDING_FAULTS_BUS:-}" ]; then
  home=$(mktemp -d)
  trap 'rm -rf "$home"' EXIT
  mkdir -m 700 "$home/runtime"
  status=0
  env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" XDG_CACHE_HOME="$home/cache" \
    ZINNA_ENDING_FAULTS_BUS=1 ZINNA_ENDING_FAULTS_HOME="$home" GSETTINGS_BACKEND=dconf \
    dbus-run-session -- "$0" "$@" || status=$?
  exit $status
fi

work=$ZINNA_ENDING_FAULTS_HOME
export ZINNA_DATA_DIR=$data XDG_STATE_HOME=$work/state
unset XDG_CURRENT_DESKTOP ZINNA_DESKTOP
journal=$work/state/zinna/restore.journal
pids=()
stopped=
cleanup() {
  [ -n "$stopped" ] && kill -CONT "$stopped" 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
fail() { echo "FAIL [$row]: $*" >&2; [ -s "$work/stderr" ] && cat "$work/stderr" >&2; exit 1; }
until_true() {  # retries the command for up to 20 s
  local end=$((SECONDS + 20))
  until "$@"; do [ $SECONDS -lt $end ] || fail "timed out: $*"; sleep 0.05; done
}

start_x() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  pids+=($xvfb)
  exec 3>&-
  until_true test -s "$work/display"
  export DISPLAY=":$(head -n1 "$work/display")"
}
service_pid() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID "$1" | sed -E 's/.*uint32 ([0-9]+).*/\1/'
}

# Each desktop: how to set the user's own look, read it back, and which service to stop.
prepare() {
  case $1 in
    xfce)
      export ZINNA_DESKTOP=xfce
      xfconf-query -c xfce4-desktop -r -R -p /backdrop 2>/dev/null || true
      for w in 0 1 2 3; do
        xfconf-query -c xfce4-desktop -n -t string -s "/home/z/Bild $w.png" \
          -p /backdrop/screen0/monitorscreen/workspace$w/last-image
        xfconf-query -c xfce4-desktop -n -t int -s $((w + 1)) -p /backdrop/screen0/monitorscreen/workspace$w/image-style
      done
      service=org.xfce.Xfconf ;;
    gnome)
      export ZINNA_DESKTOP=gnome
      gsettings set org.gnome.desktop.background picture-uri "file://$work/own.png"
      gsettings set org.gnome.desktop.background primary-color '#2e5c8a'
      gsettings set org.gnome.desktop.background picture-options 'zoom'
      dconf read /org/gnome/desktop/background/picture-uri >/dev/null  # dconf-service is up
      service=ca.desrt.dconf ;;
    plain)
      export ZINNA_DESKTOP=x11
      service= ;;
  esac
}
settings() {
  case $desktop in
    xfce) xfconf-query -c xfce4-desktop -lv ;;
    gnome) dconf dump /org/gnome/desktop/background/ ;;
    plain) echo "the bare screen's picture went with its server" ;;
  esac
}
wears_her_look() { settings | grep -q LH1024x768 || [ "$desktop" = plain ]; }

# desktop fault exit seconds journal told
table="
xfce  term-service-stopped 0 10 kept    restore journal kept
gnome term-service-stopped 0 10 kept    restore journal kept
xfce  hup-service-stopped  0 10 kept    restore journal kept
xfce  term                 0 10 removed -
xfce  int                  0 10 removed -
gnome term                 0 10 removed -
xfce  x-lost               3 10 removed the desktop's settings are given back
gnome x-lost               3 10 removed the desktop's settings are given back
plain x-lost               4 10 kept    could not be given back without the X server
xfce  x-lost-service-stopped 4 10 kept  could not be given back without the X server
"
while read -r desktop fault code limit state told; do
  [ -n "$desktop" ] || continue
  row="$desktop, $fault"
  start_x
  prepare "$desktop"
  before=$(settings)
  rm -f "$journal"
  : >"$work/stderr"
  "$zinna" 2>"$work/stderr" &
  her=$!
  pids+=($her)
  until_true eval '[ -n "$(xdotool search --onlyvisible --class "^Zinna$" 2>/dev/null)" ]'
  until_true test -s "$journal"
  until_true wears_her_look

  case $fault in *service-stopped)
    stopped=$(service_pid "$service")
    [ -n "$stopped" ] || fail "no process owns $service"
    kill -STOP "$stopped" ;;
  esac
  began=$(date +%s%N)
  case $fault in
    term* | hup* | int*) kill -"$(echo "${fault%%-*}" | tr a-z A-Z)" $her ;;
    x-lost*) kill -KILL "$xvfb" ;;
  esac
  status=0
  wait $her || status=$?
  took=$((($(date +%s%N) - began) / 1000000))
  echo "[$row] ended with $status after $took ms"
  [ "$status" = "$code" ] || fail "ended with $status, not $code"
  [ $took -le $((limit * 1000)) ] || fail "took $took ms, more than $limit s"
  case $state in
    kept) test -s "$journal" || fail "the journal is gone" ;;
    removed) [ ! -e "$journal" ] || fail "the journal is still there" ;;
  esac
  [ "$told" = - ] || grep -qF "$told" "$work/stderr" || fail "standard error does not say \"$told\""
  grep -q 'XIO' "$work/stderr" && fail "Xlib's own handler ran"

  # The service answers again; a journal kept gives the desktop back through "zinna --restore".
  if [ -n "$stopped" ]; then kill -CONT "$stopped"; stopped=; fi
  kill -0 "$xvfb" 2>/dev/null || start_x
  if [ "$state" = kept ]; then
    "$zinna" --restore 2>>"$work/stderr" || fail "zinna --restore ended with $?"
    [ ! -e "$journal" ] || fail "the journal is still there after --restore"
  fi
  [ "$(settings)" = "$before" ] || fail "the desktop's settings differ: $(diff <(echo "$before") <(settings))"
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
done <<<"$table"
echo "zinna's ending under faults: every row as the table says"
