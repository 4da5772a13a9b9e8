#!/usr/bin/env bash
# Builds everything and runs every test: the plain host build, then the
# ASan+UBSan build; then the build a newcomer makes without presets, and the
# phones' files alone, whose images must come out as the host build made them.
set -euo pipefail
cd "$(dirname "$0")/.."

stage=0
stages=5
announce() {
  stage=$((stage + 1))
  printf '\n==> [%d/%d] %s (%s)\n' "$stage" "$stages" "$1" "$(date +%T)"
}

announce "installing what the builds need"
scripts/install-deps.sh
for preset in host asan; do
  announce "$preset preset: configure, build, test"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" --parallel 2
done

# CMake's default generator (Make) and the Release build type, without the
# presets' warnings-as-errors, so neither breaks unseen. Its tests are those
# the optimiser can change: the C++ unit tests, and the runner's, the
# guide's shortcut and the end-to-end tests, which run its binaries. Left
# out: the static checks, which read the sources; the device, cabinet,
# setup-file reader and resource checks, which run none of its binaries;
# and the hostile-input suite (signals and permissions, in real time),
# which already ran in both presets.
announce "plain Release build with the default generator"
cmake -S . -B build/plain-release -DCMAKE_BUILD_TYPE=Release
cmake --build build/plain-release --parallel 2
ctest --test-dir build/plain-release --output-on-failure --parallel 2 --exclude-regex \
  '^(static_|device_|packaging_setup_|kestrum_cabinet_|resources_|release_archive_)|^e2e\.test_hostile_input$'

announce "device preset: the phones' files alone, as the host build made them"
cmake --preset device
cmake --build --preset device
# The images are compiled again in another folder and must not change; the
# cabinets' and the archive's own tests already rebuild them elsewhere.
for file in phone/os5.2/Kestrum.exe phone/os5.1/Kestrum.exe; do
  cmp "build/host/$file" "build/device/$file"
done
echo "the device preset's images match the host build's"
