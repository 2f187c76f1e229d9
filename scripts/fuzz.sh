#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for the given seconds (default
# 60) over seeds taken from the conformance streams and generated files.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQW_FUZZ=ON -DQW_BUILD_TESTS=OFF -DQW_BUILD_BENCH=OFF -DQW_FUZZ_TIME="$seconds" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target quillwave_fuzz quillwave_fuzz_stream
for fuzzer in quillwave_fuzz quillwave_fuzz_stream; do
  echo "-- $fuzzer, $seconds s"
  cmake --build build-fuzz --target "$fuzzer-run" 2>&1 | tail -n 5
done
