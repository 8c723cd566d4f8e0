#!/usr/bin/env bash
# Zinna beside the desktop pets people run, under one private Xvfb: resident memory, CPU time per
# minute standing still and while animating, and start-up to the first frame shown.
#
#   scripts/measure-linux.sh [path/to/zinna] [--seconds N] [--smaps FILE]
#
# zinna defaults to build/release/apps/zinna/zinna; its data folder to the same build's windows-dir
# (ZINNA_DATA_DIR overrides it). Each phase lasts N seconds (default 60) and is given per minute.
# CPU time is the sum of every thread's run time (/proc/PID/task/*/schedstat, nanoseconds).
# --smaps FILE writes where her resident memory is (scripts/smaps-breakdown.sh), read with her
# memory figure, to FILE.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export PATH="$PATH:/usr/games"  # where Debian puts oneko and xpenguins
zinna="$here/build/release/apps/zinna/zinna"
seconds=60
smaps=
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --smaps) smaps=$(realpath -m "$2"); shift 2 ;;
    *) zinna=$1; shift ;;
  esac
done
[ -x "$zinna" ] || { echo "no zinna at $zinna (build it, or pass its path)" >&2; exit 1; }
export ZINNA_DATA_DIR="${ZINNA_DATA_DIR:-$(dirname "$(dirname "$(dirname "$zinna")")")/windows-dir}"

if [ -z "${ZINNA_MEASURE_ON_XVFB:-}" ]; then
  ZINNA_MEASURE_ON_XVFB=1 exec "$here/tests/linux_x11/run-on-xvfb.sh" "$0" "$zinna" --seconds "$seconds" ${smaps:+--smaps "$smaps"}
fi

# Her own state folder (journal and one-per-user lock), so that a Zinna of the user's elsewhere, or
# one a test left running, neither stops her start nor shares her journal.
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export XDG_STATE_HOME=$state

cpu_ns() {  # every thread's run time so far
  local total=0 t
  for t in /proc/"$1"/task/*/schedstat; do total=$((total + $(cut -d' ' -f1 "$t"))); done
  echo "$total"
}
rss_kib() { awk '/VmRSS/ {print $2}' /proc/"$1"/status; }
per_minute_ms() {  # CPU of the pid over $seconds, in ms a minute
  local before after
  before=$(cpu_ns "$1")
  sleep "$seconds"
  after=$(cpu_ns "$1")
  echo $(((after - before) * 60 / seconds / 1000000))
}
wait_window() {  # a visible window of the class, up to 10 s
  timeout 10 xdotool search --sync --onlyvisible --class "$1" >/dev/null
}
moving_pointer() {  # the pointer goes round in a circle for as long as this runs
  local a=0
  while :; do
    xdotool mousemove $((512 + 300 * (a % 2 == 0 ? 1 : -1))) $((384 + 200 * (a % 4 < 2 ? 1 : -1)))
    a=$((a + 1))
    sleep 0.5
  done
}

echo "| program | resident memory | CPU a minute, standing still | CPU a minute, animating | first frame |"
echo "|---|---|---|---|---|"

# Zinna: the opening's flight is the animating phase (she flies for about 7 s, so that phase is
# given per minute from its own length); standing still is after the opening, on the panel.
log=$(mktemp)
start=$(date +%s%N)
ZINNA_REPORT_FIRST_FRAME=1 "$zinna" 2>"$log" &
zpid=$!
wait_window '^Zinna$'
for _ in $(seq 100); do grep -q "first frame" "$log" && break; sleep 0.05; done
first=$(sed -n 's/.*first frame at \([0-9]*\) ns.*/\1/p' "$log")
first_ms=$(((first - start) / 1000000))
flight_before=$(cpu_ns $zpid)
sleep 7
flying=$((($(cpu_ns $zpid) - flight_before) * 60 / 7 / 1000000))
sleep 15  # the rest of the opening: dance and kiss
zrss=$(rss_kib $zpid)
[ -n "$smaps" ] && "$here/scripts/smaps-breakdown.sh" $zpid >"$smaps"
zstill=$(per_minute_ms $zpid)
kill -TERM $zpid
wait $zpid || true
echo "| Zinna | $((zrss / 1024)).$(((zrss % 1024) * 10 / 1024)) MiB | $zstill ms | $flying ms (flying) | $first_ms ms |"

# oneko: asleep while the pointer is still, chasing it while it moves.
oneko &
opid=$!
sleep 3
ostill=$(per_minute_ms $opid)
moving_pointer &
mpid=$!
ochase=$(per_minute_ms $opid)
kill $mpid
orss=$(rss_kib $opid)
kill $opid; wait $opid 2>/dev/null || true
echo "| oneko | $((orss / 1024)).$(((orss % 1024) * 10 / 1024)) MiB | $ostill ms | $ochase ms (chasing) | - |"

# xpenguins: its penguins walk all the time.
xpenguins -q &
ppid=$!
sleep 3
pwalk=$(per_minute_ms $ppid)
prss=$(rss_kib $ppid)
kill $ppid; wait $ppid 2>/dev/null || true
echo "| xpenguins | $((prss / 1024)).$(((prss % 1024) * 10 / 1024)) MiB | - | $pwalk ms (walking) | - |"
