#!/usr/bin/env bash
# Builds the module and the reference host, then decodes the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh minimal
cmake -S . -B build -DQW_BUILD_TESTS=OFF -DQW_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quillwave quillwave_module
./build/quillwave decode samples/sample.mp3 build/sample.wav
echo "wrote build/sample.wav"
