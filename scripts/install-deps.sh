#!/usr/bin/env bash
# Debian 12 packages that the builds and tests need; a no-op when all are there.
# Usage: install-deps.sh [device]   (device: only what the phones' files need)
set -euo pipefail
device=(cmake ninja-build clang-14 lld-14 llvm-14 python3-pefile gcab icoutils)
packages=("${device[@]}")
if [ "${1:-}" != device ]; then
  packages+=(
    g++ g++-12 libclang-rt-14-dev hyperfine
    libgtest-dev libgmock-dev
    libasound2-dev alsa-utils
    libunicorn-dev cabextract
    clang-format clang-tidy cppcheck valgrind
  )
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
