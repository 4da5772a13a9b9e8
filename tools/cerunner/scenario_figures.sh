#!/usr/bin/env bash
# Prints, for each device scenario on each image, what the image executed on
# the emulated phone: instructions, stack high-water mark and virtual time,
# plus the runner's own wall time. Scenarios run on a phone of the image's
# own OS, with ARM and then Thumb libraries.
# Usage: scenario_figures.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/host}
runner=$build/tools/cerunner/cerunner
wav='\My Documents\leave me.wav'

scenario() {
  local name=$1
  shift
  local start end summary
  start=$(date +%s%N)
  summary=$("$runner" "$@" 2>/dev/null)
  end=$(date +%s%N)
  printf '%-40s %s wall_ms=%d\n' "$name" "${summary#result }" $(((end - start) / 1000000))
}

for os in 5.2 5.1; do
  image=$build/phone/os$os/Kestrum.exe
  for libraries in arm thumb; do
    phone=(--os-version="$os")
    [ "$libraries" = thumb ] && phone+=(--thumb-libraries)
    tag=os$os/$libraries
    scenario "$tag/leave-playable" "${phone[@]}" --mode=1 --cmdline="\"$wav\"" --playable="$wav" "$image"
    scenario "$tag/leave-unplayable" "${phone[@]}" --mode=1 --cmdline='\missing.wav' "$image"
    scenario "$tag/leave-no-argument" "${phone[@]}" --mode=1 "$image"
    scenario "$tag/enter-with-path" "${phone[@]}" --mode=0 --cmdline="\"$wav\"" --playable="$wav" "$image"
    scenario "$tag/getter-2" "${phone[@]}" --mode=2 "$image"
    scenario "$tag/getter-minus-1" "${phone[@]}" --mode=-1 "$image"
    scenario "$tag/library-missing" "${phone[@]}" --phone-library=absent "$image"
    scenario "$tag/getter-missing" "${phone[@]}" --mode=1 --no-getter "$image"
    scenario "$tag/setter-missing" "${phone[@]}" --mode=1 --no-setter "$image"
  done
done
