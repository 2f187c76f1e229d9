#!/usr/bin/env bash
# Prints one line per decode: the MD5 of the PCM, the Layer III decoder and
# the input, for every conformance bitstream (Layer I and III) and every MP3
# in the folders given, decoded by BUILD_DIR's quillwave with both Layer III
# decoders.  The PCM is every sample the module hands over (--no-gapless, where
# the host has it), so that builds with and without gapless output compare.
# Two builds give the same bits when their outputs are equal:
#   diff <(scripts/pcm-digests.sh old-build corpus) <(scripts/pcm-digests.sh build corpus)
# Usage: pcm-digests.sh BUILD_DIR [FOLDER...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "$1" && pwd)
shift
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
whole=()
case $("$build/quillwave" --help) in *--no-gapless*) whole=(--no-gapless) ;; esac
inputs=()
for f in tests/vectors/l1-*.bit tests/vectors/l3-*.bit tests/vectors/M2L3*.bit; do inputs+=("$f"); done
for dir in "$@"; do
  for f in "$dir"/*.mp3; do [ -e "$f" ] && inputs+=("$f"); done
done
for f in "${inputs[@]}"; do
  for decoder in performance quality; do
    "$build/quillwave" --plugin "$build/SQqw4.sqp" decode "${whole[@]}" --decoder "$decoder" "$f" "$out/pcm.pcm" \
      >/dev/null 2>&1 || true
    [ -f "$out/pcm.pcm" ] || : >"$out/pcm.pcm"
    echo "$(md5sum <"$out/pcm.pcm" | cut -c1-32) $decoder $(basename "$f")"
    rm -f "$out/pcm.pcm"
  done
done
