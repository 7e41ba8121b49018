#!/usr/bin/env bash
# Sets up and builds Kelvo, then runs every test: the test suite (offscreen, against a private
# PulseAudio server with a null sink that this script starts and stops), the same suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer, the media tests under ThreadSanitizer, and
# the fuzz targets for a fixed number of runs from a fixed seed (the same inputs on every run).
# KELVO_QUICK=1 runs the plain suite alone; extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
fuzz_seed=${KELVO_FUZZ_SEED:-1}
# The strict warning set, as errors, for everything the tests build.
KELVO_CMAKE_ARGS="-DKELVO_WERROR=ON ${KELVO_CMAKE_ARGS:-}" "$root/scripts/setup.sh"

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
# The PipeWire rerun and the package check add no code of Kelvo's own to what ASan sees.
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure --timeout 600 -E '^(tst_audiomediaplayer_pipewire|install_tree)$' "$@")

echo "== Media tests under ThreadSanitizer"
cmake -S "$root" -B "$root/build-tsan" -DKELVO_SANITIZE_THREAD=ON -DKELVO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$root/build-tsan" --parallel "$(nproc)" --target tst_audiomediaplayer
# The recorder forks parec while the player's threads run; ThreadSanitizer only warns of that.
(cd "$root/build-tsan" && TSAN_OPTIONS="halt_on_error=1 die_after_fork=0" \
    ctest --output-on-failure --timeout 600 -R '^(make_fixtures|tst_audiomediaplayer)$')

echo "== Fuzzing from seed ${fuzz_seed}, a fixed number of runs a target"
CC=clang CXX=clang++ KELVO_BUILD_DIR="$root/build-fuzz" \
    KELVO_CMAKE_ARGS="-DKELVO_FUZZ=ON -DBUILD_TESTING=OFF -DKELVO_BENCH=OFF" \
    "$root/scripts/setup.sh"
declare -A fuzz_runs=([tracklist]=500000 [media]=15000 [osc]=2000000)
for target in tracklist media osc; do
    work="$root/build-fuzz/fuzz-$target"
    rm -rf "$work" && mkdir -p "$work/corpus"
    "$root/build-fuzz/tests/fuzz/fuzz_$target" -seed="$fuzz_seed" -runs="${fuzz_runs[$target]}" -timeout=10 -max_len=65536 \
        -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$root/tests/fuzz/corpus/$target" "$root/tests/fuzz/regressions/$target" \
        2>"$work/log" || { tail -40 "$work/log"; echo "fuzz_$target found a failing input in $work"; exit 1; }
    grep -E '^stat::number_of_executed_units' "$work/log" | sed "s/^/fuzz_$target: /"
done
