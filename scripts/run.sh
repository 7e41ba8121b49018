#!/usr/bin/env bash
# Sets up, builds and starts Kelvo. The track-list file "Quorbel" lives beside the executable,
# in build/src/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
exec "${KELVO_BUILD_DIR:-$root/build}/src/kelvo" "$@"
