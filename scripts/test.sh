#!/usr/bin/env bash
# Builds everything and runs every test: the plain host build, then the
# ASan+UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in host asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
