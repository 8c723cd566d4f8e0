#!/usr/bin/env bash
# Runs a test program under Wine with what a Windows program cannot make under Wine planted beforehand:
#  - ZINNA_PLANTED: folders holding real symbolic links where the journal's files go (Wine's own
#    CreateSymbolicLinkW makes none), one folder a case, named after it;
#  - ZINNA_FULL_DISK, ZINNA_READONLY_DISK: a full and a read-only disk (small tmpfs mounts, which
#    need root), each with an old journal in Zinna/restore.journal.
# Unix paths; Wine sees them under Z:. Without root the disks are left out, and the program says
# which cases it left out. Everything goes afterwards, whatever happens.
set -uo pipefail
program=$1
shift
root=$(mktemp -d /tmp/zinna-planted.XXXXXX)
full="$root/full" readonly="$root/readonly" planted="$root/planted"
mkdir -p "$full" "$readonly" "$planted"
cleanup() {
  umount "$full" 2>/dev/null
  umount "$readonly" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT

# One folder a case: <case>/Zinna is the journal's folder.
plant() { mkdir -p "$planted/$1/Zinna" && chmod 0700 "$planted/$1/Zinna"; }
plant temp-file-link
printf 'victim' >"$planted/temp-file-link/victim.txt"
ln -s ../victim.txt "$planted/temp-file-link/Zinna/restore.journal.tmp"
plant temp-dangling-link
ln -s ../victim.txt "$planted/temp-dangling-link/Zinna/restore.journal.tmp"
plant temp-folder-link
mkdir "$planted/temp-folder-link/victim-folder"
ln -s ../victim-folder "$planted/temp-folder-link/Zinna/restore.journal.tmp"
plant journal-link
printf 'journal' >"$planted/journal-link/planted.txt"
ln -s ../planted.txt "$planted/journal-link/Zinna/restore.journal"
mkdir -p "$planted/folder-link/elsewhere"
ln -s elsewhere "$planted/folder-link/Zinna"
export ZINNA_PLANTED="$planted"

if mount -t tmpfs -o size=64k,mode=0755 zinna-full "$full" 2>/dev/null &&
  mount -t tmpfs -o size=64k,mode=0755 zinna-readonly "$readonly" 2>/dev/null; then
  for disk in "$full" "$readonly"; do
    mkdir -m 0700 "$disk/Zinna"
    printf 'old journal' >"$disk/Zinna/restore.journal"
  done
  # Every block taken: the next write finds the disk full.
  dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null
  mount -o remount,ro "$readonly"
  export ZINNA_FULL_DISK="$full" ZINNA_READONLY_DISK="$readonly"
fi
"${ZINNA_WINE:-wine}" "$program" "$@"
