#!/usr/bin/env bash
# Builds the host program and its stand-in phone library, nothing else, and
# runs it once: each run flips the simulated phone's manner mode. Arguments
# are passed on as given (an optional sound file), so a relative path means
# the caller's folder.
set -euo pipefail
repository=$(cd "$(dirname "$0")/.." && pwd)
"$repository/scripts/install-deps.sh"
(
  cd "$repository"
  cmake --preset host >/dev/null
  cmake --build --preset host --target kestrum shphonelib
)
exec "$repository/build/host/platform/host/kestrum" "$@"
