#!/usr/bin/env bash
# CPU time (user + system) of whole-process decodes of 15 minutes of audio,
# as ratios to mpg123 measured in the same run: quillwave with each Layer III
# decoder, and for reference FFmpeg on one thread and, where its test program
# has been built, minimp3 (the program decodes a whole file given as its only
# argument).  Each figure is the median of RUNS (default 5) runs, the
# programs alternated within each round so that a busy machine weighs on all
# alike.  The PCM goes to /dev/null (through a .pcm name for quillwave).
# Usage: compare-speed.sh [BUILD_DIR [RUNS [MINIMP3]]]   (default: build, 5)
#   MINIMP3, or the variable of that name: the path of minimp3's test
#   program; without it that column is left out.
# The long files are made once, into BUILD_DIR/speed (needs sox and lame).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
minimp3=${3:-${MINIMP3:-}}
dir=$build/speed
mkdir -p "$dir"
for tool in sox lame mpg123; do
  command -v "$tool" >/dev/null || { echo "compare-speed: $tool not found" >&2; exit 3; }
done
if [ -n "$minimp3" ] && [ ! -x "$minimp3" ]; then
  echo "compare-speed: minimp3 program $minimp3 not found or not executable" >&2
  exit 3
fi

# 15 minutes of stereo music-like signal: a chord, a slow sweep and noise
# bursts, so both long and short blocks occur.
if [ ! -s "$dir/long-320.mp3" ]; then
  sox -R -n -r 44100 -b 16 -c 2 "$dir/source.wav" synth 900 sine 220 sine 330 synth 900 sine mix 40/8000 \
    synth 900 pinknoise mix tremolo 3 60 gain -n -6
  lame --quiet -b 128 "$dir/source.wav" "$dir/long-128.mp3.tmp" && mv "$dir/long-128.mp3.tmp" "$dir/long-128.mp3"
  lame --quiet -b 320 "$dir/source.wav" "$dir/long-320.mp3.tmp" && mv "$dir/long-320.mp3.tmp" "$dir/long-320.mp3"
  rm -f "$dir/source.wav"
fi
ln -sf /dev/null "$dir/null.pcm"

# CPU seconds of one command, user plus system.
cpu() {
  local TIMEFORMAT='%U %S' t
  t=$({ time "$@" >/dev/null 2>&1; } 2>&1)
  awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f", a[1] + a[2] }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

have_ffmpeg=0
command -v ffmpeg >/dev/null && have_ffmpeg=1
processor=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)
echo "processor: ${processor:-unknown} ($(nproc) cores); medians of $runs runs"
printf '%-10s %10s %10s %10s %10s %10s %12s %15s %14s %15s\n' bitrate "mpg123 s" "perf s" "quality s" "ffmpeg s" \
  "minimp3 s" "perf/mpg123" "quality/mpg123" "ffmpeg/mpg123" "minimp3/mpg123"
for rate in 128 320; do
  file=$dir/long-$rate.mp3
  m=() p=() q=() f=() n=()
  for ((i = 0; i < runs; i++)); do
    m+=("$(cpu mpg123 -q -s "$file")")
    p+=("$(cpu "$build/quillwave" --plugin "$build/SQqw4.sqp" decode --decoder performance "$file" "$dir/null.pcm")")
    q+=("$(cpu "$build/quillwave" --plugin "$build/SQqw4.sqp" decode --decoder quality "$file" "$dir/null.pcm")")
    [ $have_ffmpeg = 1 ] && f+=("$(cpu ffmpeg -v error -threads 1 -i "$file" -f s16le -y /dev/null)")
    [ -n "$minimp3" ] && n+=("$(cpu "$minimp3" "$file")")
  done
  mm=$(median "${m[@]}") pm=$(median "${p[@]}") qm=$(median "${q[@]}")
  fm=- nm=-
  [ $have_ffmpeg = 1 ] && fm=$(median "${f[@]}")
  [ -n "$minimp3" ] && nm=$(median "${n[@]}")
  awk -v r="$rate" -v m="$mm" -v p="$pm" -v q="$qm" -v f="$fm" -v n="$nm" '
    function ratio(x) { return x == "-" ? "-" : sprintf("%.2f", x / m) }
    BEGIN {
      printf "%-10s %10.3f %10.3f %10.3f %10s %10s %12.2f %15.2f %14s %15s\n", r " kbit/s", m, p, q, f, n, p / m, q / m,
        ratio(f), ratio(n)
    }'
done
