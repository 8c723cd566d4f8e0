#!/usr/bin/env bash
# Builds and runs every test: the native suite, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the Windows build under Wine. First, the folders' include graph
# must have no cycle and no application including another's files, and every C++ file must be as
# clang-format leaves it (.clang-format).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
echo "=== include graph ==="
scripts/include-graph.sh
echo "=== formatting ==="
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
jobs=$(nproc)
for preset in debug sanitize; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
scripts/test-desktops.sh
scripts/test-windows.sh
