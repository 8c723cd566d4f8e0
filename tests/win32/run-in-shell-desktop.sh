#!/usr/bin/env bash
# Runs a test program inside a 1024x768 virtual desktop with Wine's shell (and so its taskbar), and
# passes on the program's result: explorer itself does not return it.
set -euo pipefail
program=$1
shift
report=$(basename "$program" .exe).report
rm -f "$report"
wine explorer /desktop=shell,1024x768 "$program" --out="$report" "$@"
cat "$report"
grep -q '^\[doctest\] Status: SUCCESS!' "$report"
