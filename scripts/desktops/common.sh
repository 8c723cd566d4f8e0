# shellcheck shell=bash
# Shared by the desktop sessions of scripts/test-desktops.sh: sourced by each scripts/desktops/NAME.sh.
#
# A desktop script names its components and defines four functions, then calls run_desktop:
#   start_components    starts the desktop's own programs (inside the private session) and waits for them
#   set_user_values     then writes the user's own, non-default wallpaper settings with the desktop's tools
#   read_settings       prints those settings as the desktop's own tools read them back
#   floor_of_screen     prints the y where she must stand: the bottom panel's top, or the screen's bottom
#
# run_desktop first builds the session around the script, each layer started by the one before:
#   1. (NEEDS_SYSTEM_BUS=1) a mount namespace of its own, with empty /run/systemd and /run/dbus and
#      a private system bus there: GNOME Shell and Cinnamon ask UPower and accounts for things;
#   2. (unless NEEDS_XVFB=0: a compositor with its own X server) Xvfb at SCREEN_SIZE, with GLX;
#   3. a private session bus (dbus-run-session), with HOME and the XDG folders set before it starts,
#      so that the services it starts (dconf-service, xfconfd) use the test's own folders;
# then inside it runs the checks of check_zinna: the real zinna as a person uses her, looked at with
# screenshots (ImageMagick) and moved with xdotool. Every wait is for a value, with a deadline.
#
# The result goes to the file named by ZINNA_DESKTOP_RESULT, one line: "passed|checks",
# "failed|reason|checks so far" or "skipped|reason".

set -euo pipefail

: "${SCREEN_SIZE:=1280x800}"
SCREEN_W=${SCREEN_SIZE%x*}
SCREEN_H=${SCREEN_SIZE#*x}
: "${ZINNA:?the zinna program to test}" "${ZINNA_DATA_DIR:?the folder of zinna.acs and LH1024x768.bmp}"
: "${ZINNA_DESKTOP_RESULT:=/dev/null}"
export ZINNA ZINNA_DATA_DIR ZINNA_DESKTOP_RESULT
# The part of the screen compared with the wallpapers: clear of every desktop's panels and icons.
: "${CHECK_REGION:=800x300+240+90}"
NEEDS_SYSTEM_BUS=${NEEDS_SYSTEM_BUS:-0}
NEEDS_XVFB=${NEEDS_XVFB:-1}
WAIT_SECONDS=${WAIT_SECONDS:-40}
CHECKED=()

result() { printf '%s\n' "$*" >"$ZINNA_DESKTOP_RESULT"; }
checks_text() { local IFS=';'; echo "${CHECKED[*]:-}" | sed 's/;/; /g'; }
checked() { CHECKED+=("$1"); echo "ok: $1"; }
fail() {
  set -- "$(tr '|' '/' <<<"$*")"
  echo "FAIL: $*" >&2
  result "failed|$*|$(checks_text)"
  # For a look at the failing session: ZINNA_DESKTOP_HOLD=SECONDS keeps it a while.
  [ -z "${ZINNA_DESKTOP_HOLD:-}" ] || { echo "holding DISPLAY=$DISPLAY, WORK=$WORK" >&2; sleep "$ZINNA_DESKTOP_HOLD"; }
  exit 1
}
skip() {
  echo "SKIPPED: $*" >&2
  result "skipped|$*"
  exit 0
}
# Retries the command until it succeeds, for up to WAIT_SECONDS (or the first argument when it is
# a number of seconds).
wait_for() {
  local limit=$WAIT_SECONDS
  if [[ $1 =~ ^[0-9]+$ ]]; then limit=$1; shift; fi
  local end=$((SECONDS + limit))
  until "$@" 2>/dev/null; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
until_true() {
  local limit=$WAIT_SECONDS
  if [[ $1 =~ ^[0-9]+$ ]]; then limit=$1; shift; fi
  wait_for "$limit" "$@" || fail "timed out after ${limit}s: $*"
}
needs_commands() {
  local c
  for c in "$@"; do command -v "$c" >/dev/null || skip "$c is not installed (scripts/install-deps.sh installs it)"; done
}

# ---- the layers of the session ----------------------------------------------------------------

# Started processes, stopped in reverse order at the end of the layer that started them.
STARTED=()
stop_started() {
  local i
  for ((i = ${#STARTED[@]} - 1; i >= 0; i--)); do kill "${STARTED[i]}" 2>/dev/null || true; done
  for ((i = ${#STARTED[@]} - 1; i >= 0; i--)); do
    local n=0
    while kill -0 "${STARTED[i]}" 2>/dev/null && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
    kill -KILL "${STARTED[i]}" 2>/dev/null || true
  done
  STARTED=()
}
# start NAME COMMAND...: runs the command in the background, its output in $WORK/NAME.log.
declare -A COMPONENT_PID=()
start() {
  local name=$1
  shift
  "$@" >"$WORK/$name.log" 2>&1 &
  STARTED+=($!)
  COMPONENT_PID[$name]=$!
}
# component_ready NAME [SECONDS] COMMAND...: waits until the command succeeds. A component that
# ended meanwhile cannot run here: the desktop is skipped, with the end of its output as the reason.
component_ready() {
  local name=$1 limit=$WAIT_SECONDS
  shift
  if [[ $1 =~ ^[0-9]+$ ]]; then limit=$1; shift; fi
  wait_for "$limit" "$@" && return 0
  alive "${COMPONENT_PID[$name]}" ||
    skip "$name ended at its start: $(grep -v '^$' "$WORK/$name.log" | tail -n 2 | tr '\n|' ' /')"
  fail "timed out after ${limit}s waiting for $name: $*"
}
alive() { kill -0 "$1" 2>/dev/null; }

run_desktop() {
  if [ -z "${ZINNA_SESSION_LAYER:-}" ]; then
    # The outermost layer: the work folder and the user's folders, before anything starts.
    WORK=$(mktemp -d /tmp/zinna-desktop.XXXXXX)
    export WORK HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
    export XDG_STATE_HOME=$WORK/home/.local/state XDG_CACHE_HOME=$WORK/home/.cache XDG_RUNTIME_DIR=$WORK/runtime
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    local status=0
    if [ "$NEEDS_SYSTEM_BUS" = 1 ]; then
      ZINNA_SESSION_LAYER=namespace unshare -m --propagation private bash "$0" || status=$?
    else
      ZINNA_SESSION_LAYER=display bash "$0" || status=$?
    fi
    [ -n "${KEEP_WORK:-}" ] && echo "work folder kept: $WORK" || rm -rf "$WORK"
    exit $status
  fi
  case $ZINNA_SESSION_LAYER in
  namespace)
    # Empty /run/systemd (no logind to find) and /run/dbus for our own system bus, seen by this
    # process and its children only.
    mount -t tmpfs none /run/systemd 2>/dev/null || { mkdir -p /run/systemd && mount -t tmpfs none /run/systemd; }
    mkdir -p /run/dbus
    mount -t tmpfs none /run/dbus
    local pid
    pid=$(dbus-daemon --system --fork --print-pid) || fail "the private system bus did not start"
    trap 'kill '"$pid"' 2>/dev/null || true' EXIT
    local status=0
    ZINNA_SESSION_LAYER=display bash "$0" || status=$?
    exit $status
    ;;
  display)
    trap stop_started EXIT
    if [ "$NEEDS_XVFB" = 0 ]; then
      local status=0
      ZINNA_SESSION_LAYER=session dbus-run-session -- bash "$0" || status=$?
      exit $status
    fi
    exec 3>"$WORK/display"
    if [ -n "${ZINNA_TEST_DISPLAY:-}" ]; then
      # A display number of the caller's choice (machines shared with other X tests).
      start xvfb Xvfb ":$ZINNA_TEST_DISPLAY" -screen 0 "${SCREEN_SIZE}x24" +extension GLX -nolisten tcp -noreset
      echo "$ZINNA_TEST_DISPLAY" >&3
    else
      start xvfb Xvfb -displayfd 3 -screen 0 "${SCREEN_SIZE}x24" +extension GLX -nolisten tcp -noreset
    fi
    exec 3>&-
    until_true 10 test -s "$WORK/display"
    export DISPLAY=":$(head -n1 "$WORK/display")"
    until_true 10 xdpyinfo >/dev/null
    local status=0
    ZINNA_SESSION_LAYER=session dbus-run-session -- bash "$0" || status=$?
    exit $status
    ;;
  session)
    trap 'stop_started; [ -n "${ZPID:-}" ] && kill -KILL "$ZPID" 2>/dev/null || true' EXIT
    check_zinna
    ;;
  esac
}

# ---- looking at the screen ------------------------------------------------------------------

visible() { xdotool search --onlyvisible --class "$1" 2>/dev/null | head -n1; }
shown() { [ -n "$(visible "$1")" ]; }
gone() { [ -z "$(visible "$1")" ]; }
geometry() { eval "$(xdotool getwindowgeometry --shell "$1")"; }  # sets X Y WIDTH HEIGHT
active_window() { xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# \(0x[0-9a-f]*\).*/\1/p'; }

# The screenshot; overridden where the root window does not show the screen (XWayland).
screenshot() { import -window root "$1"; }

# masked IN OUT: the check region of IN, with her window's rectangle (HER_RECT "x1,y1 x2,y2")
# painted black, so that she never counts as wallpaper.
masked() {
  convert "$1" -fill black -draw "rectangle ${HER_RECT:-0,0 0,0}" -crop "$CHECK_REGION" +repage "$2"
}
# metric NAME A B: ImageMagick's comparison of two pictures of the same size, as a number
# (NCC: 1 for the same picture up to brightness; RMSE: 0 for the same picture, normalised to 0..1).
metric() {
  local out
  out=$(compare -metric "$1" "$2" "$3" null: 2>&1 || true)
  if [ "$1" = RMSE ]; then out=$(sed -n 's/.*(\(.*\)).*/\1/p' <<<"$out"); fi
  echo "$out"
}
# above THRESHOLD VALUE
above() { awk -v t="$1" -v v="$2" 'BEGIN { exit !(v + 0 > t + 0) }'; }

# The Lantern Hall bitmap as the desktop shows it, stretched over the screen.
expected_wallpaper() {
  [ -s "$WORK/lantern-hall.png" ] ||
    convert "$ZINNA_DATA_DIR/LH1024x768.bmp" -resize "${SCREEN_SIZE}!" "$WORK/lantern-hall.png"
  masked "$WORK/lantern-hall.png" "$WORK/lantern-hall-region.png"
}
# True when the screen's drawing is the Lantern Hall bitmap (structure, not just darkness).
shows_lantern_hall() {
  screenshot "$WORK/now.png"
  masked "$WORK/now.png" "$WORK/now-region.png"
  expected_wallpaper
  LAST_NCC=$(metric NCC "$WORK/now-region.png" "$WORK/lantern-hall-region.png")
  above 0.9 "$LAST_NCC"
}
# True when the drawing is the user's own again: the check region as it was before she started.
shows_users_drawing() {
  screenshot "$WORK/now.png"
  masked "$WORK/now.png" "$WORK/now-region.png"
  LAST_RMSE=$(metric RMSE "$WORK/now-region.png" "$WORK/before-region.png")
  ! above 0.02 "$LAST_RMSE"
}
# The user's drawing, once it has settled (two screenshots alike) and shows a picture (not one colour).
capture_users_drawing() {
  local previous=$WORK/settle-a.png current=$WORK/settle-b.png
  screenshot "$WORK/before.png"
  masked "$WORK/before.png" "$previous"
  settled() {
    screenshot "$WORK/before.png"
    masked "$WORK/before.png" "$current"
    local rmse spread
    rmse=$(metric RMSE "$current" "$previous")
    spread=$(convert "$current" -format '%[fx:standard_deviation]' info:)
    cp "$current" "$previous"
    ! above 0.002 "$rmse" && above 0.05 "$spread"
  }
  until_true settled
  cp "$current" "$WORK/before-region.png"
}

# The y of the top of the dock along the screen's bottom edge (her floor), empty without one.
bottom_dock_top() {
  local w
  for w in $(xprop -root _NET_CLIENT_LIST | sed 's/.*#//; s/,/ /g'); do
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DOCK || continue
    xwininfo -id "$w" | grep -q 'Map State: IsViewable' || continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ $((Y + HEIGHT)) -eq "$SCREEN_H" ] && [ "$WIDTH" -ge 64 ]; then echo "$Y"; fi
  done | sort -n | head -n1
}

# The y where the current desktop's work area ends (_NET_WORKAREA).
work_area_bottom() {
  xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | awk '{ print $2 + $4 }'
}

# floor_of_screen for a desktop whose panels take no room at the bottom: she stands on the
# screen's bottom, and the work area must agree.
screen_bottom_floor() {
  [ "$(work_area_bottom)" = "$SCREEN_H" ] || fail "the work area ends at y=$(work_area_bottom), not at the screen's bottom"
  echo "$SCREEN_H"
}

# ---- the user's values ------------------------------------------------------------------------

# The user's own picture: a path with a space and a non-ASCII letter, and a picture of its own.
make_user_picture() {
  USER_PICTURE="$HOME/Bilder/Sommer am See é.png"
  mkdir -p "$HOME/Bilder"
  convert -size "$SCREEN_SIZE" gradient:'#2f6b4f'-'#d9c38a' -fill '#8a2f4f' \
    -draw "rectangle $((SCREEN_W / 4)),$((SCREEN_H / 5)) $((SCREEN_W * 3 / 4)),$((SCREEN_H / 2))" \
    -fill '#1f3f8a' -draw "circle $((SCREEN_W / 2)),$((SCREEN_H * 3 / 5)) $((SCREEN_W / 2)),$((SCREEN_H * 4 / 5))" \
    "$USER_PICTURE"
  USER_PICTURE_URI=$(python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$USER_PICTURE")
}
USER_COLOUR='#3a5f8b'

# ---- zinna as a person uses her ---------------------------------------------------------------

export ZINNA_DATA_DIR
JOURNAL() { echo "$XDG_STATE_HOME/zinna/restore.journal"; }

start_zinna() {
  "$ZINNA" "$@" 2>>"$WORK/zinna.log" &
  ZPID=$!
}
# Waits for her window, then for her feet on the floor after her opening flight.
her_window() {
  until_true shown '^Zinna$'
  HER=$(visible '^Zinna$')
}
on_floor() { geometry "$HER" && [ $((Y + HEIGHT)) -eq "$FLOOR" ]; }
her_rect() { geometry "$HER" && HER_RECT="$X,$Y $((X + WIDTH - 1)),$((Y + HEIGHT - 1))"; }
# Her own frames in her window (she comes in with a sparkle of few colours first).
her_colours() {
  her_rect
  screenshot "$WORK/her.png"
  [ "$(convert "$WORK/her.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -unique-colors txt:- | wc -l)" -gt 20 ]
}
# Right-clicks her where the pointer is over her own pixels (her input shape), until her menu shows.
pointer_on_her() {
  geometry "$HER"
  xdotool mousemove $((X + 64)) $((Y + 80))
  eval "$(xdotool getmouselocation --shell)"
  [ "$WINDOW" = "$HER" ]
}
right_click_her() {
  wait_for 5 pointer_on_her || return 1
  xdotool click 3
  wait_for 3 shown '^ZinnaMenu$'
}
open_menu() { until_true right_click_her; }
settings_changed() { [ "$(read_settings)" != "$BEFORE_SETTINGS" ]; }
expect_users_desktop() {  # after what
  local now
  now=$(read_settings)
  [ "$now" = "$BEFORE_SETTINGS" ] || fail "the desktop's settings differ after $1: $(diff <(echo "$BEFORE_SETTINGS") <(echo "$now") | head -n 20 | tr '\n' ' ')"
  [ ! -e "$(JOURNAL)" ] || fail "the restore journal is left after $1"
  HER_RECT=""
  wait_for 20 shows_users_drawing || fail "the desktop's drawing differs after $1 (RMSE $LAST_RMSE)"
}
ended_with() {  # expected-status what
  local status=0
  wait "$ZPID" || status=$?
  ZPID=
  [ "$status" -eq "$1" ] || fail "zinna ended with $status after $2: $(tail -n 5 "$WORK/zinna.log" | tr '\n' ' ')"
}

# The ordinary window: xev's window, which prints what it receives.
open_ordinary_window() {  # x y w h
  xev -geometry "$3x$4+$1+$2" -name zinnaordinary -event button -event keyboard >"$WORK/ordinary.log" 2>&1 &
  ORDINARY_PID=$!
  STARTED+=($!)
  until_true eval '[ -n "$(xdotool search --onlyvisible --name "^zinnaordinary$")" ]'
  ORDINARY=$(xdotool search --onlyvisible --name '^zinnaordinary$' | head -n1)
  # Window managers may place it elsewhere: put it where asked.
  xdotool windowmove --sync "$ORDINARY" "$1" "$2" 2>/dev/null || true
}
focus_ordinary_window() {
  xdotool windowactivate "$ORDINARY" 2>/dev/null || true
  until_true eval '[ "$(printf "0x%x" "$(active_window)")" = "$(printf "0x%x" "$ORDINARY")" ]'
}

# Puts the ordinary window under her, raised and focused; true when her own pixels still show over
# it and she stayed where she was meanwhile.
cover_her() {
  geometry "$HER"
  local hx=$X hy=$Y
  xdotool windowmove --sync "$ORDINARY" $((hx > 60 ? hx - 60 : 0)) $((hy - 60)) 2>/dev/null || true
  xdotool windowactivate "$ORDINARY" 2>/dev/null || true
  wait_for 5 eval '[ "$(printf "0x%x" "$(active_window)")" = "$(printf "0x%x" "$ORDINARY")" ]' || return 1
  geometry "$ORDINARY"
  [ "$X" -le $((hx + 2)) ] && [ "$Y" -le $((hy + 2)) ] && [ $((X + WIDTH)) -gt $((hx + 2)) ] &&
    [ $((Y + HEIGHT)) -gt $((hy + 2)) ] || return 1
  her_colours && [ "$X,$Y" = "$hx,$hy" ]
}
# A left click on her transparent corner, with the ordinary window under her, reaches that window.
click_through_her() {
  cover_her || return 1
  xdotool mousemove $((X + 2)) $((Y + 2))
  eval "$(xdotool getmouselocation --shell)"
  [ "$WINDOW" = "$ORDINARY" ] || return 1
  local presses
  presses=$(grep -c ButtonPress "$WORK/ordinary.log" || true)
  xdotool click 1
  wait_for 5 eval '[ "$(grep -c ButtonPress "$WORK/ordinary.log")" -gt "$presses" ]'
}

check_zinna() {
  make_user_picture
  start_components

  # 0. A desktop the user never changed: what was never set is not set after her either (the
  #    desktop's own tools tell a default from a stored value).
  BEFORE_SETTINGS=$(read_settings)
  start_zinna
  her_window
  until_true settings_changed
  kill -TERM "$ZPID"
  ended_with 0 "SIGTERM on the desktop's defaults"
  local now
  now=$(read_settings)
  [ "$now" = "$BEFORE_SETTINGS" ] ||
    fail "the desktop's defaults are not restored: $(diff <(echo "$BEFORE_SETTINGS") <(echo "$now") | head -n 20 | tr '\n' ' ')"
  checked "defaults kept"

  set_user_values
  BEFORE_SETTINGS=$(read_settings)
  printf 'the user'"'"'s settings:\n%s\n' "$BEFORE_SETTINGS"
  grep -q 'Sommer am See é' <<<"$BEFORE_SETTINGS$(python3 -c 'import sys, urllib.parse; print(urllib.parse.unquote(sys.stdin.read()))' <<<"$BEFORE_SETTINGS")" ||
    fail "the user's picture was not taken by the desktop: $BEFORE_SETTINGS"
  capture_users_drawing
  shows_lantern_hall && fail "the user's drawing already looks like Lantern Hall"
  checked "user's values set (é path, $USER_COLOUR)"

  # 1. She runs: the desktop wears Lantern Hall, she stands on the floor.
  start_zinna
  her_window
  # Her opening flight comes in from the screen's left edge.
  until_true eval 'geometry "$HER"; [ "$X" -le 0 ]'
  checked "flies in"
  until_true settings_changed
  FLOOR=$(floor_of_screen)
  [ -n "$FLOOR" ] || fail "no floor found for her"
  wait_for on_floor || fail "her feet are at y=$((Y + HEIGHT)) (x=$X), not on the floor at y=$FLOOR"
  checked "stands at y=$FLOOR"
  until_true her_colours
  until_true shows_lantern_hall
  checked "Lantern Hall drawn (NCC $LAST_NCC)"
  [ -s "$(JOURNAL)" ] || fail "no restore journal while she wears the desktop"

  # 2. An ordinary window over her: she stays above it and does not take its focus, even when she
  #    hides and shows herself again; a click on her transparent corner reaches the window.
  her_rect
  open_ordinary_window "$((X > 60 ? X - 60 : 0))" $((Y - 60)) 300 220
  until_true cover_her
  checked "above an ordinary window"
  until_true click_through_her
  checked "click through her transparent pixels"
  focus_ordinary_window
  # Her window's moves, seen by xev from now on (a property of ours marks the start).
  xev -id "$HER" -event structure -event property >"$WORK/her-events.log" 2>&1 &
  STARTED+=($!)
  until_true eval 'xprop -id "$HER" -f _ZINNA_TEST_MARK 8s -set _ZINNA_TEST_MARK 1; grep -q PropertyNotify "$WORK/her-events.log"'
  open_menu
  xdotool key d
  until_true gone '^ZinnaMenu$'
  # The dance places her anew on the floor: her window is moved (a ConfigureNotify after the mark).
  until_true awk '/^PropertyNotify/ { marked = 1 } marked && /^ConfigureNotify/ { found = 1 } END { exit !found }' "$WORK/her-events.log"
  until_true on_floor
  [ "$(printf 0x%x "$(active_window)")" = "$(printf 0x%x "$ORDINARY")" ] ||
    fail "the active window is $(active_window), not the ordinary window $ORDINARY, after she danced"
  checked "no focus taken"
  kill "$ORDINARY_PID"
  until_true eval '[ -z "$(xdotool search --onlyvisible --name "^zinnaordinary$")" ]'

  # 3. Her menu by right-click, thirteen entries; q quits.
  until_true her_colours
  open_menu
  geometry "$(visible '^ZinnaMenu$')"
  [ $(((HEIGHT - 2) % 13)) -eq 0 ] || fail "the menu is $HEIGHT high: not thirteen entries"
  checked "menu"
  if [ -n "${ZINNA_DESKTOP_SCREENSHOT:-}" ]; then
    screenshot "$WORK/menu.png"
    convert "$WORK/menu.png" -resize 50% -colors 192 "PNG8:$ZINNA_DESKTOP_SCREENSHOT"
  fi
  xdotool key q
  ended_with 0 "q"
  expect_users_desktop "the quit"
  checked "restored after q"

  # 4. The session's end (SIGTERM) while she wears the desktop.
  start_zinna
  her_window
  until_true settings_changed
  until_true shows_lantern_hall
  kill -TERM "$ZPID"
  ended_with 0 "SIGTERM"
  expect_users_desktop "SIGTERM"
  checked "restored after SIGTERM"

  # 5. Killed: the desktop stays dressed until "zinna --restore" gives it back from the journal.
  start_zinna
  her_window
  until_true settings_changed
  until_true test -s "$(JOURNAL)"
  kill -KILL "$ZPID"
  wait "$ZPID" 2>/dev/null || true
  ZPID=
  settings_changed || fail "the desktop is the user's again without a restore"
  "$ZINNA" --restore 2>>"$WORK/zinna.log" || fail "zinna --restore ended with $?"
  expect_users_desktop "SIGKILL and zinna --restore"
  checked "restored after SIGKILL + --restore"
  result "passed|$(checks_text)"
}
