#!/usr/bin/env bash
# Builds Kelvo, makes the long benchmark files (once), and prints the benchmark tables, with a
# private PulseAudio server as the sound output.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/make-bench-fixtures.sh" "$build/bench-fixtures" >/dev/null
"$root/scripts/make-fixtures.sh" "$build/tests/fixtures"

# shellcheck source=scripts/test-pulse.sh
source "$root/scripts/test-pulse.sh"
pulse_start >/dev/null
trap pulse_stop EXIT

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/bench_startup"
"$build/bench/bench_media" "$build/bench-fixtures"
"$build/bench/bench_media" "$build/bench-fixtures" --layers
"$build/bench/bench_carts" "$build/bench-fixtures"
