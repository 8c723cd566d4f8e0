#!/usr/bin/env bash
# Installs what building and testing Zinna needs on Debian 12, as root. Safe to run again.
set -euo pipefail
packages=(cmake g++ make doctest-dev libpng-dev pkg-config clang libclang-rt-dev librsvg2-bin sox fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
