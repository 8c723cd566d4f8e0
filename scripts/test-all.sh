#!/usr/bin/env bash
# Builds and runs every test, stage by stage: the packages (installed quietly, their output in
# build/install-deps.log), the commands the tests and scripts run, the folders' include graph (no
# cycle, no application including another's files), the formatting of every C++ file (.clang-format),
# the native suite, the same suite optimised under AddressSanitizer and UndefinedBehaviorSanitizer,
# then the Windows build under Wine. Every stage runs even when one before it failed; a table of the
# stages, their results and times ends the output, and the exit status is 1 when any stage failed.
set -uo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
jobs=$(nproc)
results=()
failed=0

# stage NAME COMMAND...: runs one stage and notes its result and time.
stage() {
  local name=$1 start=$SECONDS result=passed
  shift
  echo "=== $name ==="
  if ! "$@"; then
    result=FAILED
    failed=1
  fi
  local took=$((SECONDS - start))
  results+=("$(printf '%-14s %-7s %3d:%02d' "$name" "$result" $((took / 60)) $((took % 60)))")
}

install_packages() {
  local log=build/install-deps.log
  scripts/install-deps.sh >"$log" 2>&1 && return
  echo "installing the packages failed; its output is in $log" >&2
  return 1
}

check_formatting() { git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; }

build_and_test() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs" && ctest --preset "$1" -j "$jobs"
}

# One line a stage: stage NAME COMMAND...
stage packages install_packages
stage commands scripts/check-commands.sh
stage "include graph" scripts/include-graph.sh
stage formatting check_formatting
stage debug build_and_test debug
stage sanitize build_and_test sanitize
stage desktops scripts/test-desktops.sh
stage windows scripts/test-windows.sh

echo "=== summary ==="
printf '%s\n' "${results[@]}"
exit $failed
