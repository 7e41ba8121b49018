#!/usr/bin/env bash
# Runs a command against a PulseAudio server of its own, whose PID it may kill: exported as
# KELVO_KILLABLE_PULSE_PID. Used by the test of a sound server that goes away mid-track.
set -euo pipefail
# shellcheck source=scripts/test-pulse.sh
source "$(dirname "${BASH_SOURCE[0]}")/test-pulse.sh"
pulse_start >/dev/null
trap pulse_stop EXIT
export KELVO_KILLABLE_PULSE_PID=$PULSE_TEST_PID
"$@"
