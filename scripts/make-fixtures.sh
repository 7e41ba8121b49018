#!/usr/bin/env bash
# Makes the mp3 fixtures the tests use, in the folder given (44.1 kHz unless said otherwise).
# Tones have distinct frequencies so a recording tells which file was played.
set -euo pipefail
out=${1:?usage: make-fixtures.sh OUTDIR}
mkdir -p "$out"
stamp=$(sha1sum <"$0" | cut -c1-40)
cd "$out"
[ "$(cat .done 2>/dev/null)" = "$stamp" ] && exit 0
# The same files on every run: noise and dither come from a fixed seed, so a loud noise's clipped
# peaks (which meters may read differently) are the ones the tests were checked on.
sox() { command sox -R "$@"; }

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

# Formats beside mp3 (kept as made: these are the fixtures).
sox -q -n -r 44100 -c 2 -b 16 wav44_stereo.wav synth 1.5 sine 700 vol 0.5
sox -q -n -r 44100 -c 2 -b 16 tone_440_10s.wav synth 10 sine 440 vol 0.5
sox -q -n -r 48000 -c 1 -b 24 wav48_mono24.wav synth 1.3 sine 600 vol 0.5
sox -q -n -r 44100 -c 2 -e floating-point -b 32 wav_float.wav synth 1.0 sine 750 vol 0.5
# A 24-bit tone far below what 16 bits can hold (undithered: every sample as synthesised).
sox -q -D -n -r 44100 -c 2 -b 24 quiet24.wav synth 1.5 sine 1000 vol -100dB
sox -q -n -r 44100 -c 2 -b 16 flac44_stereo.flac synth 1.7 sine 500 vol 0.5
sox -q -n -r 48000 -c 1 -b 16 flac48_mono.flac synth 1.2 sine 450 vol 0.5
# A stream whose header does not state its length (an encoder that wrote to a pipe): the total
# in STREAMINFO (the low 36 bits of bytes 21-25) is 0, which means unknown.
cp flac44_stereo.flac flac_nototal.flac
b=$(od -An -tu1 -j21 -N1 flac_nototal.flac | tr -d ' ')
printf "\\x$(printf %02x $((b & 240)))\\x00\\x00\\x00\\x00" | dd of=flac_nototal.flac bs=1 seek=21 conv=notrunc status=none
# Rates too low to be audio (refused), and the lowest that play, around the decode chunk size.
for rate in 1 49; do sox -q -n -r $rate -c 1 -b 16 rate$rate.wav synth 10 sine 0.2 vol 0.5; done
sox -q -n -r 1000 -c 1 -b 16 rate1000.wav synth 1.5 sine 200 vol 0.5
for rate in 2047 2048; do sox -q -n -r $rate -c 1 -b 16 rate$rate.wav synth 1.5 sine 300 vol 0.5; done
sox -q -n -r 44100 -c 2 -b 16 vorbis.ogg synth 1.6 sine 620 vol 0.5
sox -q -n -r 48000 -c 2 -b 16 opus_src.wav synth 1.4 sine 680 vol 0.5
opusenc --quiet opus_src.wav opus48.opus
rm -f opus_src.wav
sox -q -n -r 44100 -c 6 -b 16 six_channels.wav synth 1.0 sine 300 vol 0.5
head -c "$(( $(stat -c %s wav44_stereo.wav) / 2 ))" wav44_stereo.wav >truncated.wav
# A FLAC file with a run of its frames overwritten.
cp flac44_stereo.flac corrupted.flac
printf '%*s' 3000 '' | tr ' ' '\125' | dd of=corrupted.flac bs=1 seek=30000 conv=notrunc status=none
# Loudness: mono pink noise at about -12, -24 and -36 LUFS (the loud one clips a little), one
# that a single loud click keeps from being raised far (its true peak is above 0 dBTP), digital
# silence, and a file shorter than one 400 ms gating block.
sox -q -n -r 44100 -c 1 -b 16 pink12.wav synth 3 pinknoise vol 1.2 2>/dev/null
sox -q -n -r 44100 -c 1 -b 16 pink24.wav synth 3 pinknoise vol 0.305
sox -q -n -r 44100 -c 1 -b 16 pink36.wav synth 3 pinknoise vol 0.0766
sox -q -n -r 44100 -c 2 -b 16 pink24_stereo.wav synth 3 pinknoise vol 0.305
sox -q -n -r 44100 -c 1 -b 16 click.wav synth 0.005 square 200 vol 0.98
sox -q pink36.wav click.wav pink36.wav peaky.wav 2>/dev/null
rm -f click.wav
sox -q -n -r 44100 -c 1 -b 16 silence.wav trim 0 2
sox -q -n -r 44100 -c 1 -b 16 too_short.wav synth 0.3 pinknoise vol 0.3
# Cart trims and loops: three 2 s tones in a row (400, 800, 1200 Hz), as WAV, FLAC and mp3; a
# 441 Hz tone (100 frames a period at 44.1 kHz, so a loop of whole hundredths has whole periods);
# and a tone peaking at -3 dBFS.
for f in 400 800 1200; do sox -q -n -r 44100 -c 1 -b 16 "part$f.wav" synth 2 sine "$f" vol 0.5; done
sox -q part400.wav part800.wav part1200.wav three_tones.wav
sox -q three_tones.wav three_tones.flac
lame --quiet -b 192 three_tones.wav three_tones.mp3
rm -f part400.wav part800.wav part1200.wav
sox -q -n -r 44100 -c 2 -b 16 loop441.wav synth 6 sine 441 vol 0.5
sox -q -n -r 44100 -c 1 -b 16 peak3.wav synth 2 sine 997 vol 0.7079
echo "$stamp" >.done
