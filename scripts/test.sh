#!/usr/bin/env bash
# Builds everything and runs every test: the release build with its tests,
# the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# 32-bit record layouts, the Windows builds (the shipped 32-bit DLL by its
# exports and imports and at work under 32-bit Wine, the 64-bit twin's tests
# and decodes under Wine), a short fuzzing run, and the decoding tests on an
# emulated processor without AVX; then makes the packages and checks them.
# Installs what it needs when it is missing.
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

section "Windows builds and tests under Wine"
scripts/test-windows.sh build

if [ -f fuzz/CMakeLists.txt ]; then
  section "fuzzing"
  scripts/fuzz.sh 60
fi

section "sanitizer tests"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" --timeout 600)

section "release tests"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)

section "decoding on a processor without AVX (emulated)"
# qemu's user-mode emulation of a Nehalem processor (SSE4.2, no AVX, AVX2 or
# FMA): run-time dispatch must choose the SSE2 kernels, and every level must
# still decode the conformance streams to the same bytes.  The reserved
# guest address space of the 32-bit Wine runs must not reach this qemu.
(cd build && env -u QEMU_RESERVED_VA QW_EXPECT_SIMD=sse2 qemu-x86_64-static -cpu Nehalem ./quillwave_tests \
  --gtest_brief=1 --gtest_filter='SimdPaths.*:*Layer3Conformance.*:Layer1Decoder.*:Layer3Decoder.*:FastSynthesis.*')

section "packages"
# Made from the builds just tested: the Windows zip holds the DLL the 32-bit
# Wine run exercised, and the .deb is installed, run and removed here.
scripts/check-packages.sh build build-win32

section "done: every check passed"
