#!/usr/bin/env bash
# Prints, for each device scenario, what the image executed on the emulated
# phone: instructions, stack high-water mark and virtual time, plus the
# runner's own wall time. Usage: scenario_figures.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build/host}
runner=$build/tools/cerunner/cerunner
image=$build/platform/wince/Kestrum.exe
wav='\My Documents\leave me.wav'

scenario() {
  local name=$1
  shift
  local start end summary
  start=$(date +%s%N)
  summary=$("$runner" "$@" "$image" 2>/dev/null)
  end=$(date +%s%N)
  printf '%-28s %s wall_ms=%d\n' "$name" "${summary#result }" $(((end - start) / 1000000))
}

scenario leave-playable --mode=1 --cmdline="\"$wav\"" --playable="$wav"
scenario leave-unplayable --mode=1 --cmdline='\missing.wav'
scenario leave-no-argument --mode=1
scenario enter-with-path --mode=0 --cmdline="\"$wav\"" --playable="$wav"
scenario getter-2 --mode=2
scenario getter-minus-1 --mode=-1
scenario library-missing --phone-library=absent
scenario getter-missing --mode=1 --no-getter
scenario setter-missing --mode=1 --no-setter
