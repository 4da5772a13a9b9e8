#!/usr/bin/env bash
# Builds the host program and runs it once: each run flips the simulated
# phone's manner mode. Arguments are passed on (an optional sound file).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host
exec build/host/platform/host/kestrum "$@"
