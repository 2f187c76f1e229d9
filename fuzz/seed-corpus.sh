#!/usr/bin/env bash
# Collects the fuzzers' seed inputs into OUTDIR: the first 4 KB of every
# conformance bitstream found in VECTORDIR, the first 4 KB of a few
# generated Layer III files (from CORPUSDIR when it holds them, else made
# with scripts/make-corpus.sh when its tools are installed), and the first or
# last 16 KB of a few files as everyday tools make them (from USERFILESDIR,
# else made with scripts/make-user-files.sh): ID3v2 tags, an information
# frame, an ID3v1 tag.  Missing sources are skipped; existing seeds are kept.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 4 ]; then
    echo "usage: $0 OUTDIR [VECTORDIR] [CORPUSDIR] [USERFILESDIR]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$1
vectors=${2:-$here/../tests/vectors}
corpus=${3:-$out/generated}
userfiles=${4:-$out/user-files}
mkdir -p "$out"

cut() {  # cut head|tail BYTES SOURCE NAME: the first or last BYTES of SOURCE as seed NAME
    if [ ! -s "$out/$4" ]; then
        "$1" -c "$2" "$3" >"$out/$4.tmp"
        mv "$out/$4.tmp" "$out/$4"
    fi
}
prefix() { cut head 4096 "$@"; }

if [ -d "$vectors" ]; then
    for bit in "$vectors"/*.bit; do
        [ -e "$bit" ] || continue
        prefix "$bit" "vector-$(basename "$bit" .bit)"
    done
fi

generated=(m1-44100-joint-vbr2 m1-48000-mono-vbr5 m1-44100-joint-cbr112-crc m2-22050-mono-cbr32-crc
    m2-24000-joint-vbr4 m25-8000-stereo-vbr9)
if [ ! -s "$corpus/${generated[0]}.mp3" ]; then
    bash "$here/../scripts/make-corpus.sh" "$corpus" >/dev/null 2>&1 || true
fi
for name in "${generated[@]}"; do
    if [ -s "$corpus/$name.mp3" ]; then
        prefix "$corpus/$name.mp3" "generated-$name"
    fi
done

if [ ! -s "$userfiles/lame-id3v1.mp3" ]; then
    bash "$here/../scripts/make-user-files.sh" "$userfiles" >/dev/null 2>&1 || true
fi
for name in lame-id3v2 lame-vbr ffmpeg-shine ffmpeg-lame-22050-mono; do
    if [ -s "$userfiles/$name.mp3" ]; then cut head 16384 "$userfiles/$name.mp3" "user-$name"; fi
done
if [ -s "$userfiles/lame-id3v1.mp3" ]; then
    cut tail 16384 "$userfiles/lame-id3v1.mp3" "user-lame-id3v1-end"
fi

count=$(find "$out" -maxdepth 1 -type f ! -name '*.tmp' | wc -l)
echo "seed-corpus: $count seeds in $out"
