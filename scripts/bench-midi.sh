#!/usr/bin/env bash
# The MIDI benchmark tables on a real kernel sequencer: builds Kelvo and the fixtures, then runs
# bench_midi with a private PulseAudio server inside scripts/midi-vm.sh's machine (or here, when
# this machine has /dev/snd/seq and /dev/snd/midiC0D0).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/make-bench-fixtures.sh" "$build/bench-fixtures" >/dev/null
"$root/scripts/make-fixtures.sh" "$build/tests/fixtures"
# Sockets go to a tmpfs of the machine's own (the shared root takes none).
job="mkdir -p /run/tmp && export TMPDIR=/run/tmp && source '$root/scripts/test-pulse.sh' && pulse_start >/dev/null &&
  '$build/bench/bench_midi' '$build/bench-fixtures' '$build/tests/fixtures'; status=\$?; pulse_stop; exit \$status"
if [ -e /dev/snd/seq ] && [ -e /dev/snd/midiC0D0 ]; then
    bash -c "${job//\/run\/tmp/${TMPDIR:-/tmp}}"
else
    "$root/scripts/midi-vm.sh" --timeout 1200 -- bash -c "$job"
fi
