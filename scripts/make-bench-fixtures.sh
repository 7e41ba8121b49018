#!/usr/bin/env bash
# Makes the long mp3 files the benchmarks use, in the folder given (44.1 kHz). Slow the first
# time (a few minutes: the hour-long and three-hour files); kept for later runs.
set -euo pipefail
out=${1:?usage: make-bench-fixtures.sh OUTDIR}
mkdir -p "$out"
cd "$out"
synth() { # seconds channels -> WAV on stdout; a slow sweep so frames differ
    sox -q -n -r 44100 -c "$2" -b 16 -t wav - synth "$1" sine 200-2000 vol 0.4
}
[ -f ten_min_cbr_notag.mp3 ] || synth 600 2 | lame --quiet -b 320 --resample 44.1 -t - ten_min_cbr_notag.mp3
[ -f ten_min_cbr_tag.mp3 ] || synth 600 2 | lame --quiet -b 320 --resample 44.1 - ten_min_cbr_tag.mp3
[ -f ten_min_vbr.mp3 ] || synth 600 2 | lame --quiet -V 2 --resample 44.1 - ten_min_vbr.mp3
[ -f ten_min_128.mp3 ] || synth 600 2 | lame --quiet -b 128 --resample 44.1 - ten_min_128.mp3
[ -f ten_sec.mp3 ] || synth 10 2 | lame --quiet -b 320 --resample 44.1 - ten_sec.mp3
[ -f ten_min.wav ] || sox -q -n -r 44100 -c 2 -b 16 ten_min.wav synth 600 sine 200-2000 vol 0.4
[ -f ten_min.flac ] || sox -q ten_min.wav ten_min.flac
[ -f ten_min.ogg ] || sox -q ten_min.wav ten_min.ogg
[ -f sixty_min.flac ] || sox -q -n -r 44100 -c 2 -b 16 sixty_min.flac synth 3600 sine 200-2000 vol 0.4
[ -f sixty_min.mp3 ] || synth 3600 2 | lame --quiet -b 192 --resample 44.1 - sixty_min.mp3
[ -f three_hours_mono.mp3 ] || synth 10800 1 | lame --quiet -b 64 -m m --resample 44.1 - three_hours_mono.mp3
ls -la "$out"
