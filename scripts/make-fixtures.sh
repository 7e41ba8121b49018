#!/usr/bin/env bash
# Makes the mp3 fixtures the tests use, in the folder given (44.1 kHz unless said otherwise).
# Tones have distinct frequencies so a recording tells which file was played.
set -euo pipefail
out=${1:?usage: make-fixtures.sh OUTDIR}
mkdir -p "$out"
stamp=$(sha1sum <"$0" | cut -c1-40)
cd "$out"
[ "$(cat .done 2>/dev/null)" = "$stamp" ] && exit 0

tone() { # name seconds frequency rate channels
    sox -q -n -r "$4" -c "$5" -b 16 "$1.wav" synth "$2" sine "$3" vol 0.5
}
tone tone440 2 440 44100 2
tone tone880 1 880 44100 2
tone tone660 3 660 44100 2
tone mono22 1.5 330 22050 1
# Lengths that are no whole number of microseconds, at three rates.
tone tone523 2.345 523 44100 2
tone mono22b 1.234 392 22050 1
tone tone587 2.3457 587 48000 2
tone tone550 6 550 44100 2

lame --quiet -b 128 --resample 44.1 tone440.wav cbr_tag.mp3
lame --quiet -b 128 --resample 44.1 -t tone440.wav cbr_notag.mp3
lame --quiet -V 2 --resample 44.1 tone660.wav vbr_tag.mp3
lame --quiet -V 2 --resample 44.1 -t tone660.wav vbr_notag.mp3
lame --quiet -b 192 --resample 44.1 tone880.wav short880.mp3
lame --quiet -b 64 --resample 22.05 -m m mono22.wav mpeg2_mono.mp3
lame --quiet -b 128 --resample 44.1 tone523.wav awkward_tag.mp3
lame --quiet -b 128 --resample 44.1 -t tone523.wav awkward_notag.mp3
lame --quiet -b 64 --resample 22.05 -m m mono22b.wav awkward_mono22.mp3
lame --quiet -b 160 --resample 48 tone587.wav stereo48.mp3
lame --quiet -b 128 --resample 44.1 tone550.wav six_seconds.mp3
# Two files joined end to end: the format changes after the first.
cat cbr_tag.mp3 mpeg2_mono.mp3 >joined.mp3

# Broken inputs.
head -c "$(( $(stat -c %s cbr_tag.mp3) / 2 ))" cbr_tag.mp3 >truncated.mp3
yes 'This is a text file, not MPEG audio.' | head -c 100000 >not_audio.mp3 || true
: >empty.mp3
rm -f ./*.wav
echo "$stamp" >.done
