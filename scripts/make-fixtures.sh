#!/usr/bin/env bash
# Makes the mp3 fixtures the tests use, in the folder given (44.1 kHz unless said otherwise).
# Tones have distinct frequencies so a recording tells which file was played.
set -euo pipefail
out=${1:?usage: make-fixtures.sh OUTDIR}
mkdir -p "$out"
cd "$out"
[ -f .done ] && exit 0

tone() { # name seconds frequency rate channels
    sox -q -n -r "$4" -c "$5" -b 16 "$1.wav" synth "$2" sine "$3" vol 0.5
}
tone tone440 2 440 44100 2
tone tone880 1 880 44100 2
tone tone660 3 660 44100 2
tone mono22 1.5 330 22050 1

lame --quiet -b 128 --resample 44.1 tone440.wav cbr_tag.mp3
lame --quiet -b 128 --resample 44.1 -t tone440.wav cbr_notag.mp3
lame --quiet -V 2 --resample 44.1 tone660.wav vbr_tag.mp3
lame --quiet -V 2 --resample 44.1 -t tone660.wav vbr_notag.mp3
lame --quiet -b 192 --resample 44.1 tone880.wav short880.mp3
lame --quiet -b 64 --resample 22.05 -m m mono22.wav mpeg2_mono.mp3

# Broken inputs.
head -c "$(( $(stat -c %s cbr_tag.mp3) / 2 ))" cbr_tag.mp3 >truncated.mp3
yes 'This is a text file, not MPEG audio.' | head -c 100000 >not_audio.mp3 || true
: >empty.mp3
rm -f ./*.wav
touch .done
