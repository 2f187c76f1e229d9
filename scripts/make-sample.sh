#!/usr/bin/env bash
# Makes samples/sample.mp3: four seconds of synthesized sound (a chord that
# swells, a rising sweep and a few noise bursts), MPEG-1 Layer III at 44.1 kHz,
# 128 kbit/s joint stereo, with an ID3v1 tag.  Needs sox and lame; the result
# is committed so a fresh machine needs neither.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/samples/sample.mp3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 44100 -c 2 -b 16 "$work/chord.wav" synth 4 sine 220 sine 277.18 remix 1 2 fade q 0.5 4 0.8 gain -8
sox -n -r 44100 -c 2 -b 16 "$work/sweep.wav" synth 4 sine 300-5000 sine 5000-300 gain -14
sox -n -r 44100 -c 2 -b 16 "$work/noise.wav" synth 0.15 pinknoise gain -18 pad 0.6 0.25 repeat 4 trim 0 4
sox -m "$work/chord.wav" "$work/sweep.wav" "$work/noise.wav" "$work/mix.wav"

# -t: no VBR-header frame, so every frame carries audio.
lame --quiet -t -b 128 -m j --id3v1-only \
  --tt "Quillwave Sample" --ta "Quillwave" --tl "Samples" --ty 2026 --tc "synthesized" --tg "Electronic" \
  "$work/mix.wav" "$out"
echo "wrote $out"
