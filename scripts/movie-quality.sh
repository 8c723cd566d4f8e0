#!/usr/bin/env bash
# How much zinna-sim's movie looks like the screen: films the opening (the README's movie) and takes
# PNG snapshots of the same run at a few moments, then prints, for each moment, the PSNR of the
# movie's frame shown then against the snapshot at half size (the movie's size, each pixel the mean
# of four), with ImageMagick's compare. Also writes docs/sim-movie-vs-snapshot.png: the frame at the
# last moment beside its snapshot.
#   movie-quality.sh [ZINNA_SIM] [SECONDS...]   (default build/release/apps/zinna-sim/zinna-sim; 1 5 14)
set -euo pipefail
cd "$(dirname "$0")/.."
sim=${1:-build/release/apps/zinna-sim/zinna-sim}
shift || true
moments=("$@")
[ ${#moments[@]} -gt 0 ] || moments=(1 5 14)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

snapshots=()
for s in "${moments[@]}"; do snapshots+=(--snapshot "$s" "$work/snapshot-$s.png"); done
"$sim" --seed 1 --seconds 18 --script /dev/null --movie "$work/movie.gif" "${snapshots[@]}" >/dev/null
# Every frame drawn whole, and when each one starts (its delays are in hundredths of a second).
convert "$work/movie.gif" -coalesce "$work/frame-%04d.png"
mapfile -t delays < <(identify -format '%T\n' "$work/movie.gif")
echo "moment   PSNR of the movie's frame against the snapshot"
for s in "${moments[@]}"; do
  # The frame on screen at s seconds: the last one that started at or before it.
  start=0 frame=0
  for i in "${!delays[@]}"; do
    [ "$start" -le $((s * 100)) ] || break
    frame=$i
    start=$((start + delays[i]))
  done
  convert "$work/snapshot-$s.png" -scale 50% "$work/half-$s.png"
  psnr=$(compare -metric PSNR "$work/half-$s.png" "$(printf "$work/frame-%04d.png" "$frame")" null: 2>&1 || true)
  printf '%4s s   %s dB\n' "$s" "$psnr"
done
last=${moments[-1]}
convert "$(printf "$work/frame-%04d.png" "$frame")" "$work/half-$last.png" +append docs/sim-movie-vs-snapshot.png
echo "docs/sim-movie-vs-snapshot.png: the movie at $last s (left) beside the snapshot (right, at half size)"
