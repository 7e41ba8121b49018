#!/usr/bin/env bash
# Starts the real program again and again under Xvfb, with a private PulseAudio server, and
# counts the runs that do not end cleanly: STOPS cycles of start, play, stop and Exit within
# 100 ms, then MIDTRACK cycles of start, play and Exit mid-track. Clicks are real pointer events
# (xdotool). Usage: exit-cycles.sh [STOPS] [MIDTRACK]   (defaults 500 and 200)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KELVO_BUILD_DIR:-$root/build}
stops=${1:-500}
midtrack=${2:-200}
command -v xdotool >/dev/null && command -v Xvfb >/dev/null || { echo "needs xdotool and Xvfb"; exit 2; }

work=$(mktemp -d /tmp/kelvo-exit.XXXXXX)
# A portable copy keeps its track list beside it: one cart, a six-second tone.
cp "$build/src/kelvo" "$work/kelvo"
bash "$root/scripts/make-fixtures.sh" "$work/fixtures" >/dev/null
printf '"%s","Six seconds"\r\n' "$work/fixtures/six_seconds.mp3" >"$work/Quorbel"

# shellcheck source=scripts/test-pulse.sh
source "$root/scripts/test-pulse.sh"
pulse_start >/dev/null || exit 2
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; pulse_stop; rm -rf "$work"' EXIT
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 0.5

# Pixel centres of the first cart and of Exit at 96 dpi (the window is laid out in twips).
cart=(100 48)
exit_button=(508 322)
failed=0
checked=0
cycle() { # way: stop | midtrack
    "$work/kelvo" 2>"$work/stderr" &
    local pid=$! window
    window=$(xdotool search --sync --onlyvisible --name '^Kelvo Version 2$' 2>/dev/null | head -n 1)
    sleep 0.3
    xdotool mousemove --window "$window" "${cart[@]}" click 1
    sleep "0.$((RANDOM % 4 + 1))"
    if [ "$checked" = 0 ]; then # once: the click really plays, on an uncorked stream of Kelvo's
        checked=1
        pactl list sink-inputs | grep -q 'Corked: no' || { echo "the click played nothing"; exit 1; }
    fi
    if [ "$1" = stop ]; then
        xdotool click 1
        sleep "0.0$((RANDOM % 10))"
    fi
    xdotool mousemove --window "$window" "${exit_button[@]}" click 1
    local status=0 waited=0
    while kill -0 "$pid" 2>/dev/null && [ $waited -lt 100 ]; do sleep 0.05; waited=$((waited + 1)); done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid"; echo "hung: $1 cycle"; failed=$((failed + 1)); wait "$pid" 2>/dev/null; return
    fi
    wait "$pid"; status=$?
    if [ $status -ne 0 ]; then
        failed=$((failed + 1))
        echo "exit status $status ($1 cycle): $(tail -n 3 "$work/stderr" | tr '\n' ' ')"
    fi
}
for ((i = 0; i < stops; i++)); do cycle stop; done
stop_failures=$failed
for ((i = 0; i < midtrack; i++)); do cycle midtrack; done
echo "exit cycles: $stops start-play-stop-Exit with $stop_failures failures; $midtrack Exit mid-track with $((failed - stop_failures)) failures"
[ $failed -eq 0 ]
