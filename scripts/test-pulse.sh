#!/usr/bin/env bash
# A private PulseAudio server with one null sink, for the audio tests. Source this file, then
# call pulse_start (exports PULSE_SERVER and friends) and pulse_stop (stops it by its PID).

pulse_start() {
    PULSE_TEST_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-pulse.XXXXXX")
    mkdir -m 700 "$PULSE_TEST_DIR/run" "$PULSE_TEST_DIR/home"
    mkdir -p "$PULSE_TEST_DIR/run/pulse"
    cat >"$PULSE_TEST_DIR/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$PULSE_TEST_DIR/run/pulse/native
load-module module-null-sink sink_name=test_null rate=44100 channels=2 norewinds=1
set-default-sink test_null
PA
    printf 'autospawn = no\n' >"$PULSE_TEST_DIR/client.conf"
    export XDG_RUNTIME_DIR=$PULSE_TEST_DIR/run HOME=$PULSE_TEST_DIR/home
    export PULSE_SERVER=unix:$PULSE_TEST_DIR/run/pulse/native
    export PULSE_CLIENTCONFIG=$PULSE_TEST_DIR/client.conf
    if pactl info >/dev/null 2>&1; then
        echo "test-pulse: a server already answers at $PULSE_SERVER" >&2
        return 1
    fi
    pulseaudio -n -F "$PULSE_TEST_DIR/test.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --log-target="file:$PULSE_TEST_DIR/pa.log" </dev/null >/dev/null 2>&1 &
    PULSE_TEST_PID=$!
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.05
    done
    if ! pactl info >/dev/null 2>&1 || grep -q '^E:' "$PULSE_TEST_DIR/pa.log" 2>/dev/null; then
        echo "test-pulse: the server did not start; its log:" >&2
        cat "$PULSE_TEST_DIR/pa.log" >&2 || true
        pulse_stop
        return 1
    fi
    echo "test-pulse: server $PULSE_TEST_PID at $PULSE_SERVER"
}

pulse_stop() {
    if [ -n "${PULSE_TEST_PID:-}" ]; then
        kill -TERM "$PULSE_TEST_PID" 2>/dev/null || true
        for _ in $(seq 60); do
            state=$(awk '{print $3}' "/proc/$PULSE_TEST_PID/stat" 2>/dev/null || true)
            [ -z "$state" ] || [ "$state" = Z ] && break
            sleep 0.05
        done
        wait "$PULSE_TEST_PID" 2>/dev/null || true
        PULSE_TEST_PID=
    fi
    [ -n "${PULSE_TEST_DIR:-}" ] && rm -rf "$PULSE_TEST_DIR"
    PULSE_TEST_DIR=
}
