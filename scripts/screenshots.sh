#!/usr/bin/env bash
# Makes the user's guide's pictures (docs/wall.png, docs/cart-settings.png) from the real
# program's windows under Xvfb, with a private sound server, into OUTDIR (docs/ by default).
# Expects a build (scripts/setup.sh); the test script runs it on every CI run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
out=${1:-$root/docs}
"$root/scripts/make-fixtures.sh" "$build/tests/fixtures" >/dev/null
own_pulse=
if [ -z "${PULSE_SERVER:-}" ]; then
    # shellcheck source=scripts/test-pulse.sh
    source "$root/scripts/test-pulse.sh"
    pulse_start >/dev/null
    own_pulse=1
fi
status=0
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x800x24" \
    "$build/data/render_screenshots" "$build/tests/fixtures/pink12.wav" "$out" || status=$?
[ -n "$own_pulse" ] && pulse_stop
exit "$status"
