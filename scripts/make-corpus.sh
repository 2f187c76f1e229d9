#!/usr/bin/env bash
# Builds the Layer III comparison corpus in OUTDIR: a short synthetic stereo
# signal (a chord and a sweep with noise bursts that force block switching),
# encoded at every sample rate of the three MPEG versions, in mono, stereo and
# joint stereo, at constant and variable bitrates.  Beside each NAME.mp3 it
# writes NAME.mp3.pcm, the reference decoder's output as raw signed 16-bit
# little-endian PCM with the stream's own channel count and sample rate, and
# finally OUTDIR/corpus.list with one file name per line.
#
# Files that already exist are kept, so a second run costs nothing.
# Exit status: 0 done, 2 usage, 3 a required tool (sox, lame, mpg123) missing.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
out=$1

for tool in sox lame mpg123; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "make-corpus: $tool not found" >&2
        exit 3
    fi
done

# name  sample-rate  encoder options
# (lame -t: no information frame in front, so every frame carries audio and
# frame counts agree between decoders.)
corpus=(
    "m1-44100-stereo-cbr128      44100 -m s -b 128"
    "m1-44100-joint-cbr320       44100 -m j -b 320"
    "m1-44100-mono-cbr64         44100 -m m -b 64"
    "m1-44100-joint-vbr2         44100 -m j -V 2"
    "m1-44100-joint-cbr112-crc   44100 -m j -b 112 -p"
    "m1-48000-joint-cbr160       48000 -m j -b 160"
    "m1-48000-mono-vbr5          48000 -m m -V 5"
    "m1-32000-stereo-cbr96       32000 -m s -b 96"
    "m1-32000-joint-vbr4         32000 -m j -V 4"
    "m1-32000-joint-cbr48        32000 -m j -b 48"
    "m2-22050-joint-cbr64        22050 -m j -b 64"
    "m2-22050-mono-cbr32-crc     22050 -m m -b 32 -p"
    "m2-22050-stereo-vbr3        22050 -m s -V 3"
    "m2-24000-joint-vbr4         24000 -m j -V 4"
    "m2-24000-stereo-cbr96       24000 -m s -b 96"
    "m2-16000-joint-cbr48        16000 -m j -b 48"
    "m2-16000-mono-vbr7          16000 -m m -V 7"
    "m25-11025-joint-cbr32       11025 -m j -b 32"
    "m25-11025-mono-cbr16        11025 -m m -b 16"
    "m25-12000-stereo-cbr40      12000 -m s -b 40"
    "m25-12000-joint-vbr6        12000 -m j -V 6"
    "m25-8000-mono-cbr8          8000 -m m -b 8"
    "m25-8000-joint-cbr24        8000 -m j -b 24"
    "m25-8000-stereo-vbr9        8000 -m s -V 9"
)

mkdir -p "$out"
out=$(cd "$out" && pwd)

# Concurrent runs (parallel test processes) build one corpus, one at a time.
if command -v flock >/dev/null 2>&1; then
    exec 9>"$out/.lock"
    flock 9
fi

missing=()
for entry in "${corpus[@]}"; do
    read -r name _ <<<"$entry"
    if [ ! -s "$out/$name.mp3" ] || [ ! -s "$out/$name.mp3.pcm" ]; then
        missing+=("$entry")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    work=$(mktemp -d "$out/.work.XXXXXX")
    trap 'rm -rf "$work"' EXIT

    # The source: 2.5 s at 48 kHz.  Left: a C major chord; right: an
    # exponential sweep; both with short white-noise bursts (offset between
    # the channels) whose attacks make the encoder switch to short blocks.
    # -R keeps the noise the same from run to run.
    sox -R -n -r 48000 -b 16 -c 1 "$work/chord.wav" synth 2.5 sine 261.63 synth 2.5 sine mix 329.63 \
        synth 2.5 sine mix 392 synth 2.5 sine mix 523.25 gain -n -9
    sox -R -n -r 48000 -b 16 -c 1 "$work/sweep.wav" synth 2.5 sine 40/20000 gain -n -8
    sox -R -n -r 48000 -b 16 -c 1 "$work/burst.wav" synth 0.04 whitenoise gain -4 pad 0.26 0.2 repeat 4 trim 0 2.5
    sox -R "$work/burst.wav" "$work/burst-late.wav" delay 0.13 trim 0 2.5
    sox -R -m "$work/chord.wav" "$work/burst.wav" "$work/left.wav"
    sox -R -m "$work/sweep.wav" "$work/burst-late.wav" "$work/right.wav"
    sox -R -M "$work/left.wav" "$work/right.wav" "$work/source.wav" gain -n -3 trim 0 2.5

    # One resampled copy per sample rate, made on demand.
    source_at() {
        local rate=$1 wav="$work/source-$1.wav"
        if [ ! -s "$wav" ]; then
            sox -R "$work/source.wav" -r "$rate" "$wav.tmp.wav"
            mv "$wav.tmp.wav" "$wav"
        fi
        echo "$wav"
    }

    # Encodes one entry and decodes it with the reference decoder; writes
    # under temporary names and renames, so no half-written file survives.
    encode() {
        local name=$1 rate=$2
        shift 2
        local wav khz
        wav=$(source_at "$rate")
        khz=$(awk -v r="$rate" 'BEGIN { printf "%g", r / 1000 }')
        lame --quiet -t --resample "$khz" "$@" "$wav" "$work/$name.mp3"
        mpg123 --quiet --no-gapless -s "$work/$name.mp3" >"$work/$name.mp3.pcm"
        mv "$work/$name.mp3" "$out/$name.mp3"
        mv "$work/$name.mp3.pcm" "$out/$name.mp3.pcm"
    }

    # Resample first (sequentially: shared files), then encode two at a time.
    for entry in "${missing[@]}"; do
        read -r _ rate _ <<<"$entry"
        source_at "$rate" >/dev/null
    done
    running=0
    for entry in "${missing[@]}"; do
        # shellcheck disable=SC2086
        encode $entry &
        running=$((running + 1))
        if [ $running -ge 2 ]; then
            wait -n
            running=$((running - 1))
        fi
    done
    while [ $running -gt 0 ]; do
        wait -n
        running=$((running - 1))
    done
fi

list="$out/corpus.list"
: >"$list.tmp"
for entry in "${corpus[@]}"; do
    read -r name _ <<<"$entry"
    echo "$name.mp3" >>"$list.tmp"
done
mv "$list.tmp" "$list"
