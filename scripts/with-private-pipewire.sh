#!/usr/bin/env bash
# Runs a command against a private PipeWire (pipewire, wireplumber and pipewire-pulse, under a
# D-Bus session of its own) with a null sink named test_null as the default, as Debian 12
# desktops run it; stops them by their PIDs afterwards. Usage: with-private-pipewire.sh CMD...
set -euo pipefail
if [ -z "${KELVO_IN_DBUS_SESSION:-}" ]; then
    KELVO_IN_DBUS_SESSION=1 exec dbus-run-session -- "$0" "$@"
fi
dir=$(mktemp -d /tmp/kelvo-pipewire.XXXXXX)
mkdir -m 700 "$dir/run" "$dir/home"
export XDG_RUNTIME_DIR=$dir/run HOME=$dir/home PULSE_SERVER=unix:$dir/run/pulse/native
export PIPEWIRE_RUNTIME_DIR=$dir/run
pids=()
stop_all() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -KILL "$pid" 2>/dev/null || true
    done
    rm -rf "$dir"
}
trap stop_all EXIT
# The graph at the rate of the test sink and of most fixtures. At PipeWire's default of 48 kHz
# every 44.1 kHz stream, and the recording of the sink's monitor, is resampled twice: what is
# recorded then is close to what was played but never bit for bit, and tones below 1 kHz rate
# smear. At 44.1 kHz the recording is exact, as on PulseAudio. The graph's quantum is held at 1024
# frames (23 ms) at least: these machines give PipeWire no real-time priority, and the small
# quanta the recorder's latency would ask for drop cycles whenever another process runs.
mkdir -p "$HOME/.config/pipewire/pipewire.conf.d"
cat >"$HOME/.config/pipewire/pipewire.conf.d/kelvo-test.conf" <<'CONF'
context.properties = {
    default.clock.rate = 44100
    default.clock.allowed-rates = [ 44100 ]
    default.clock.min-quantum = 1024
}
CONF
pipewire >"$dir/pipewire.log" 2>&1 & pids+=($!)
sleep 0.3
wireplumber >"$dir/wireplumber.log" 2>&1 & pids+=($!)
pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 & pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl info >/dev/null 2>&1 || { echo "with-private-pipewire: pipewire-pulse did not answer"; cat "$dir"/*.log; exit 1; }
pactl load-module module-null-sink sink_name=test_null rate=44100 channels=2 >/dev/null
for _ in $(seq 100); do pactl list short sinks | grep -q test_null && break; sleep 0.05; done
pactl set-default-sink test_null
echo "with-private-pipewire: $(pactl info | sed -n 's/^Server Name: //p')"
"$@"
