#!/usr/bin/env bash
# Collects the fuzzer's seed inputs into OUTDIR: the first 4 KB of every
# conformance bitstream found in VECTORDIR, and the first 4 KB of a few
# generated Layer III files (from CORPUSDIR when it holds them, else made
# with scripts/make-corpus.sh when its tools are installed).  Missing sources
# are skipped; existing seeds are kept.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
    echo "usage: $0 OUTDIR [VECTORDIR] [CORPUSDIR]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$1
vectors=${2:-$here/../../shared/vectors}
corpus=${3:-$out/generated}
mkdir -p "$out"

prefix() {  # prefix SOURCE NAME: the first 4 KB of SOURCE as seed NAME
    if [ ! -s "$out/$2" ]; then
        head -c 4096 "$1" >"$out/$2.tmp"
        mv "$out/$2.tmp" "$out/$2"
    fi
}

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

count=$(find "$out" -maxdepth 1 -type f ! -name '*.tmp' | wc -l)
echo "seed-corpus: $count seeds in $out"
