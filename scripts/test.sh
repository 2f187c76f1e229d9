#!/usr/bin/env bash
# Builds everything and runs every test: the release build with its tests,
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# 32-bit record layouts, the Windows module's exports and imports, and a
# short fuzzing run.  Installs what it needs when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
started=$SECONDS
section() { echo; echo "== $* ($((SECONDS - started)) s)"; }

scripts/install-deps.sh full

section "format"
scripts/check-format.sh

section "host records on 32-bit targets"
scripts/check-records.sh

section "release build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"

section "sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQW_SANITIZE=ON -DQW_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"

section "Windows module (i686)"
cmake -S . -B build-mingw32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
  -DQW_BUILD_TESTS=OFF -DQW_BUILD_BENCH=OFF >/dev/null
cmake --build build-mingw32 -j"$jobs" --target quillwave_module quillwave
scripts/check-dll.sh build-mingw32/SQqw4.sqp $(scripts/module-exports.sh)

if [ -f fuzz/CMakeLists.txt ]; then
  section "fuzzing"
  scripts/fuzz.sh 60
fi

section "sanitizer tests"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --timeout 600)

section "release tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)
