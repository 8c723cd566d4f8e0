#!/usr/bin/env bash
# Builds zinna-sim and runs the companion on the simulated desktop for three virtual minutes,
# printing its timeline. Extra arguments go to zinna-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target zinna-sim
exec build/release/apps/zinna-sim/zinna-sim --seconds 180 "$@"
