#!/usr/bin/env bash
# Sets up and builds Kelvo, then runs every test (offscreen, against a private PulseAudio
# server with a null sink that this script starts and stops).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"

# shellcheck source=scripts/test-pulse.sh
source "$root/scripts/test-pulse.sh"
pulse_start
trap pulse_stop EXIT

cd "$build"
QT_QPA_PLATFORM=offscreen KELVO_REQUIRE_AUDIO=1 ctest --output-on-failure --timeout 300 "$@"
