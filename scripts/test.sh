#!/usr/bin/env bash
# Sets up and builds Kelvo, then runs every test: the test suite (offscreen, against a private
# PulseAudio server with a null sink that this script starts and stops), the same suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets for a bounded time.
# KELVO_QUICK=1 runs the plain suite alone; extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
fuzz_seconds=${KELVO_FUZZ_SECONDS:-60}
"$root/scripts/setup.sh"

# shellcheck source=scripts/test-pulse.sh
source "$root/scripts/test-pulse.sh"
pulse_start
trap pulse_stop EXIT
export QT_QPA_PLATFORM=offscreen KELVO_REQUIRE_AUDIO=1

echo "== Test suite"
(cd "$build" && ctest --output-on-failure --timeout 300 "$@")
[ "${KELVO_QUICK:-0}" = 1 ] && exit 0

echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
KELVO_BUILD_DIR="$root/build-asan" \
    KELVO_CMAKE_ARGS="-DKELVO_SANITIZE=ON -DKELVO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug" \
    "$root/scripts/setup.sh"
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure --timeout 600 "$@")

echo "== Fuzzing, ${fuzz_seconds} s a target"
CC=clang CXX=clang++ KELVO_BUILD_DIR="$root/build-fuzz" \
    KELVO_CMAKE_ARGS="-DKELVO_FUZZ=ON -DBUILD_TESTING=OFF -DKELVO_BENCH=OFF" \
    "$root/scripts/setup.sh"
for target in tracklist media; do
    work="$root/build-fuzz/fuzz-$target"
    mkdir -p "$work/corpus"
    "$root/build-fuzz/tests/fuzz/fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=10 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$root/tests/fuzz/corpus/$target" \
        2>"$work/log" || { tail -40 "$work/log"; echo "fuzz_$target found a failing input in $work"; exit 1; }
    grep -E '^stat::number_of_executed_units' "$work/log" | sed "s/^/fuzz_$target: /"
done
