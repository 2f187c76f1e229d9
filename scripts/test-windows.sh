#!/usr/bin/env bash
# The Windows builds and their checks:
#   1. the shipped 32-bit module SQqw4.sqp and quillwave.exe (build-win32):
#      a PE32 DLL exporting exactly the entry points, importing system DLLs only;
#   2. the 64-bit twin with the test suite (build-win64), run under wine64;
#   3. quillwave.exe decoding every Layer I and Layer III conformance vector
#      under Wine with both Layer III decoders, byte for byte equal to the
#      Linux build's output;
#   4. the file-information dialog drawn for real on an X server (Xvfb):
#      `quillwave.exe info --show` keeps it up while the dialog test reads
#      and works it from another process through the window system.
# 32-bit Windows programs cannot run here (no 32-bit Wine), so the 32-bit
# build is checked by its exports, imports and record layouts only.
# Usage: test-windows.sh [LINUX_BUILD_DIR]   (default: build, made if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=${1:-build}
vectors=$(cd .. && pwd)/shared/vectors
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
started=$SECONDS
section() { echo; echo "== $* ($((SECONDS - started)) s)"; }

# ---- Tools ---------------------------------------------------------------------
scripts/install-deps.sh full
missing=()
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
command -v Xvfb >/dev/null || missing+=(xvfb)
# The libraries Wine's X11 display driver loads when it finds them (only
# recommended by the wine packages, which are installed without recommends).
for p in libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxcomposite1 libxinerama1; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Every file a 32-bit or 64-bit image imports must be a system DLL.
check_imports() {
  local image=$1 dllname
  for dllname in $(x86_64-w64-mingw32-objdump -p "$image" | awk '/DLL Name:/{print tolower($3)}' | sort -u); do
    case "$dllname" in
      kernel32.dll|user32.dll|msvcrt.dll|advapi32.dll|gdi32.dll) ;;
      *) echo "$image imports $dllname, which is not a system DLL"; return 1 ;;
    esac
  done
  echo "$image: imports system DLLs only"
}

# ---- 32-bit: the shipped module ------------------------------------------------
section "Windows module and host (i686)"
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
  -DQW_BUILD_TESTS=OFF -DQW_BUILD_BENCH=OFF >/dev/null
cmake --build build-win32 -j"$jobs" --target quillwave_module quillwave
scripts/check-dll.sh build-win32/SQqw4.sqp $(scripts/module-exports.sh)
grep -q 'Magic.*010b' <<<"$(i686-w64-mingw32-objdump -p build-win32/quillwave.exe)" ||
  { echo "build-win32/quillwave.exe: not a PE32 image"; exit 1; }
check_imports build-win32/quillwave.exe
scripts/check-records.sh

# ---- 64-bit twin with the tests --------------------------------------------------
section "Windows twin with tests (x86_64)"
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
  -DQW_BUILD_BENCH=OFF >/dev/null
cmake --build build-win64 -j"$jobs"
check_imports build-win64/SQqw4.sqp
check_imports build-win64/quillwave.exe
check_imports build-win64/quillwave_tests.exe

# ---- Linux reference -----------------------------------------------------------------
section "Linux reference ($linux_build)"
if [ ! -x "$linux_build/quillwave" ] || [ ! -f "$linux_build/SQqw4.sqp" ]; then
  cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$linux_build" -j"$jobs" --target quillwave_module quillwave

# ---- Wine --------------------------------------------------------------------------
# A private prefix in the build folder, no debug output, no Mono or Gecko
# installers, and the headless display driver: windows exist, nothing is shown.
export WINEPREFIX=$root/build-win64/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
wine_started=$SECONDS
trap 'wineserver -k 2>/dev/null || true' EXIT

section "Wine prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
fi
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

section "test suite under wine64"
# One process for the whole suite: starting Wine once per test would cost
# minutes.  A hung test (e.g. a message box nobody answers) ends the run.
suite=0
(cd build-win64 && timeout 1200 wine ./quillwave_tests.exe --gtest_brief=1) 2>&1 | tr -d '\r' || suite=$?
[ "$suite" -eq 0 ] || echo "test suite under Wine failed (status $suite)"

section "decoded PCM, Windows against Linux"
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0
decoded=0
printf '%-22s %-12s %10s  %s\n' vector decoder bytes result
for input in "$vectors"/l1-*.bit "$vectors"/l3-*.bit "$vectors"/M2L3_*.bit; do
  [ -f "$input" ] || continue
  name=$(basename "$input" .bit)
  for decoder in performance quality; do
    "$linux_build/quillwave" decode --decoder "$decoder" "$input" "$work/linux.pcm" >/dev/null 2>&1 ||
      { echo "$name: the Linux build failed to decode"; failures=$((failures + 1)); continue; }
    timeout 120 wine build-win64/quillwave.exe decode --decoder "$decoder" "$input" "$work/windows.pcm" \
      >/dev/null 2>&1 || { echo "$name: the Windows build failed to decode"; failures=$((failures + 1)); continue; }
    if cmp -s "$work/linux.pcm" "$work/windows.pcm"; then
      result=identical
      [ -s "$work/windows.pcm" ] || result="identical (no PCM from either)"
    else
      result="DIFFERENT: $(cmp "$work/linux.pcm" "$work/windows.pcm" 2>&1 | head -1)"
      failures=$((failures + 1))
    fi
    printf '%-22s %-12s %10s  %s\n' "$name" "$decoder" "$(stat -c %s "$work/windows.pcm")" "$result"
    decoded=$((decoded + 1))
  done
done
[ "$decoded" -gt 0 ] || echo "no conformance vectors in $vectors: nothing compared"

section "file-information dialog on Xvfb"
# The same prefix with the X11 display driver on a private X server.  Without
# a window manager Wine draws the dialog's frame and caption itself.
wineserver -k 2>/dev/null || true
wineserver -w
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
dialog=0
if [ -s "$work/display" ]; then
  export DISPLAY=:$(head -1 "$work/display")
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w  # the next process starts a desktop with the X11 driver
  (cd build-win64 && timeout 300 wine ./quillwave_tests.exe --gtest_brief=1 --gtest_filter='FileInfoWindow.*') 2>&1 |
    tr -d '\r' || dialog=$?
  wineserver -k 2>/dev/null || true  # ends a host that a failed test left waiting
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
else
  echo "Xvfb did not start"
  dialog=1
fi
kill $xvfb 2>/dev/null || true
unset DISPLAY
[ "$dialog" -eq 0 ] || echo "dialog test on Xvfb failed (status $dialog)"

section "done"
echo "Wine part: $((SECONDS - wine_started)) s"
[ "$failures" -eq 0 ] || echo "$failures decodings differ or failed"
[ "$suite" -eq 0 ] && [ "$failures" -eq 0 ] && [ "$dialog" -eq 0 ]
