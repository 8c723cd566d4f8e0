#!/usr/bin/env bash
# The README's two commands as a new user meets them: on a fresh minimal Debian 12 (debootstrap's
# minbase, in a chroot, as root), from a clean clone of this repository's current branch. Not run by
# CI: it needs root, the network to Debian's mirror, and about half an hour on two cores.
#   bare-debian-check.sh [CHROOT [COMMAND...]]
# CHROOT defaults to /work/chroot (made when missing, kept afterwards); the commands to run, to
# run-sim and test-all.
# Prints each command's time and result; their output goes to CHROOT/root/run-sim.log and
# CHROOT/root/test-all.log. Exits 1 when either command failed.
set -euo pipefail
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
root=${1:-/work/chroot}
commands=("${@:2}")
[ ${#commands[@]} -gt 0 ] || commands=(run-sim test-all)
[ "$(id -u)" = 0 ] || { echo "bare-debian-check: run as root" >&2; exit 2; }

# The same mirror as this machine's apt.
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null | grep -v '^ *#' | grep -o -E 'https?://[^ ]+/debian/?' |
  grep -v security | head -n1 || true)
mirror=${mirror:-http://deb.debian.org/debian}
if [ ! -x "$root/bin/bash" ]; then
  command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
  echo "bare-debian-check: debootstrap --variant=minbase bookworm $root $mirror" >&2
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { echo "bare-debian-check: debootstrap failed; its output is in $root.debootstrap.log" >&2; exit 1; }
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" || umount -l "${mounted[i]}"; done
}
trap cleanup EXIT
# A machine's root is a mount point; a chroot's folder is not, until it is bound onto itself.
# `unshare --propagation private` (the desktop sessions' private /run) refuses a root that is not.
if ! mountpoint -q "$root"; then
  mount --bind "$root" "$root"
  mounted+=("$root")
fi
for place in proc sys dev dev/pts dev/shm; do
  mountpoint -q "$root/$place" && continue
  mkdir -p "$root/$place"
  mount --bind "/$place" "$root/$place"
  mounted+=("$root/$place")
done

# A clean clone of what is committed on this branch, nothing of a build.
rm -rf "$root/root/zinna"
git clone -q --branch "$(git -C "$repo" rev-parse --abbrev-ref HEAD)" "$repo" "$root/root/zinna"
echo "bare-debian-check: $(git -C "$root/root/zinna" log --oneline -1)" >&2

failed=0
for command in "${commands[@]}"; do
  start=$SECONDS
  status=0
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/zinna && bash scripts/$command.sh" >"$root/root/$command.log" 2>&1 || status=$?
  took=$((SECONDS - start))
  [ $status = 0 ] || failed=1
  printf 'bash scripts/%s.sh: exit status %d after %d min %02d s (log: %s)\n' "$command" $status \
    $((took / 60)) $((took % 60)) "$root/root/$command.log"
done
exit $failed
