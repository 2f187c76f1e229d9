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
#      and works it from another process through the window system;
#   5. the shipped 32-bit module and host code at work under 32-bit Wine (run
#      through qemu's user-mode emulation): quillwave_hostcheck.exe runs a
#      list of host commands in one process, and the Linux build of the same
#      program runs the same list; every file they leave must be the same.
# The 64-bit steps start wine64 directly: the `wine` launcher would start
# every program through the emulated 32-bit loader, which takes minutes.
# Usage: test-windows.sh [LINUX_BUILD_DIR]   (default: build, made if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=${1:-build}
vectors=$root/tests/vectors
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
started=$SECONDS
section() { echo; echo "== $* ($((SECONDS - started)) s)"; }

# ---- Tools ---------------------------------------------------------------------
scripts/install-deps.sh full
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine

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
# The plain build: the module, the host and the host's check program (the
# compiler's win32 thread model leaves the test suite out).
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build build-win32 -j"$jobs"
scripts/check-dll.sh build-win32/SQqw4.sqp $(scripts/module-exports.sh)
grep -q 'Magic.*010b' <<<"$(i686-w64-mingw32-objdump -p build-win32/quillwave.exe)" ||
  { echo "build-win32/quillwave.exe: not a PE32 image"; exit 1; }
check_imports build-win32/quillwave.exe
check_imports build-win32/quillwave_hostcheck.exe
scripts/check-records.sh

# ---- 64-bit twin with the tests --------------------------------------------------
section "Windows twin with tests (x86_64)"
cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake >/dev/null
cmake --build build-win64 -j"$jobs"
check_imports build-win64/SQqw4.sqp
check_imports build-win64/quillwave.exe
check_imports build-win64/quillwave_tests.exe

# ---- Linux reference -----------------------------------------------------------------
section "Linux reference ($linux_build)"
if [ ! -x "$linux_build/quillwave" ] || [ ! -f "$linux_build/SQqw4.sqp" ]; then
  cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$linux_build" -j"$jobs" --target quillwave_module quillwave quillwave_hostcheck

# ---- Wine --------------------------------------------------------------------------
# A private prefix, no debug output, no Mono or Gecko installers, and the
# headless display driver: windows exist, nothing is shown.  The prefixes
# live in the user's cache, not the build folder: making one runs Wine's
# set-up through the emulation (minutes), and a later run, or a fresh clone
# on the same machine, takes up the one made before.  One run at a time uses
# them: a second waits for the first's Wine part to end.
wine_cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillwave
mkdir -p "$wine_cache"
exec {wine_lock}>"$wine_cache/lock"
flock -n "$wine_lock" || { echo "waiting for another run's Wine part to end"; flock "$wine_lock"; }
export WINEPREFIX=$wine_cache/wineprefix-win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
wine_started=$SECONDS
trap 'wineserver -k 2>/dev/null || true' EXIT

# Making a prefix: `wineboot -i` runs Wine's set-up, in a wineboot process of
# its own that the first process waits for only 5 minutes (the end of that
# one tells nothing).  The set-up is over when no wineboot.exe runs in the
# prefix any more; then `wineserver -k` ends what Wine leaves running
# (services, device drivers, the desktop), which could take minutes to go by
# itself under the emulation, and the registry is on disk.  The prefix is
# complete when system.reg, user.reg and userdef.reg are written, system.reg
# holds the user's profile (the set-up's last entry), and kernel32.dll is in
# system32 (and syswow64 in a 64-bit prefix).  It is made beside its place
# and moved there when complete, so that a stopped run leaves no half-made
# prefix, and the set-up gets 40 minutes at most.
prefix_runs() {  # PREFIX [NAME]: whether a process (named NAME) runs in PREFIX
  local proc
  for proc in /proc/[0-9]*; do
    [ -z "${2:-}" ] || [ "$(cat "$proc/comm" 2>/dev/null)" = "$2" ] || continue
    grep -qzx "WINEPREFIX=$1" "$proc/environ" 2>/dev/null && return 0
  done
  return 1
}
prefix_complete() {  # PREFIX
  local file
  for file in system.reg user.reg userdef.reg drive_c/windows/system32/kernel32.dll; do
    [ -s "$1/$file" ] || return 1
  done
  [ "$WINEARCH" != win64 ] || [ -s "$1/drive_c/windows/syswow64/kernel32.dll" ] || return 1
  grep -q '^"ProfileImagePath"=' "$1/system.reg"
}
make_prefix() {  # LOADER: makes $WINEPREFIX unless it is complete
  local final=$WINEPREFIX partial=$WINEPREFIX.partial started=$SECONDS boot
  prefix_complete "$final" && return 0
  rm -rf "$final" "$partial"
  WINEPREFIX=$partial "$1" wineboot.exe -i >/dev/null 2>&1 &
  boot=$!
  while kill -0 "$boot" 2>/dev/null || prefix_runs "$partial" wineboot.exe; do
    if [ $((SECONDS - started)) -ge 2400 ]; then
      echo "Wine's set-up of $final did not end within 40 minutes"
      break
    fi
    sleep 2
  done
  WINEPREFIX=$partial wineserver -k 2>/dev/null || true
  for _ in $(seq 120); do prefix_runs "$partial" || break; sleep 0.5; done
  wait "$boot" 2>/dev/null || true
  if ! prefix_complete "$partial"; then
    echo "the Wine prefix $final was not made"
    rm -rf "$partial"
    return 1
  fi
  mv "$partial" "$final"
  echo "Wine prefix $final made in $((SECONDS - started)) s"
}

section "Wine prefix"
# The prefix's 32-bit half is set up through the emulation, which needs the
# guest address space reserved (see the 32-bit part below).
QEMU_RESERVED_VA=0xf7000000 make_prefix "$wine64"
"$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

section "test suite under wine64"
# One process for the whole suite: starting Wine once per test would cost
# minutes.  A hung test (e.g. a message box nobody answers) ends the run.
suite=0
(cd build-win64 && timeout 1200 "$wine64" ./quillwave_tests.exe --gtest_brief=1) 2>&1 | tr -d '\r' || suite=$?
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
    # Both exit statuses must agree too: 0, or 2 where no PCM comes out at all.
    rm -f "$work/linux.pcm" "$work/windows.pcm"
    linux_status=0 windows_status=0
    "$linux_build/quillwave" decode --decoder "$decoder" "$input" "$work/linux.pcm" >/dev/null 2>&1 || linux_status=$?
    timeout 120 "$wine64" build-win64/quillwave.exe decode --decoder "$decoder" "$input" "$work/windows.pcm" \
      >/dev/null 2>&1 || windows_status=$?
    if [ "$linux_status" -ne "$windows_status" ] || { [ "$linux_status" -ne 0 ] && [ "$linux_status" -ne 2 ]; }; then
      echo "$name: exit status $linux_status on Linux, $windows_status on Windows"
      failures=$((failures + 1))
      continue
    fi
    # A decode without PCM leaves no output file: both count as empty.
    for pcm in "$work/linux.pcm" "$work/windows.pcm"; do [ -f "$pcm" ] || : >"$pcm"; done
    if cmp -s "$work/linux.pcm" "$work/windows.pcm"; then
      result=identical
      [ -s "$work/windows.pcm" ] || result="identical (no PCM from either)"
    else
      result="DIFFERENT: $(cmp "$work/linux.pcm" "$work/windows.pcm" 2>&1 | head -1 || true)"
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
  "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
  "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w  # the next process starts a desktop with the X11 driver
  (cd build-win64 && timeout 300 "$wine64" ./quillwave_tests.exe --gtest_brief=1 --gtest_filter='FileInfoWindow.*') 2>&1 |
    tr -d '\r' || dialog=$?
  wineserver -k 2>/dev/null || true  # ends a host that a failed test left waiting
  "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
else
  echo "Xvfb did not start"
  dialog=1
fi
kill $xvfb 2>/dev/null || true
unset DISPLAY
[ "$dialog" -eq 0 ] || echo "dialog test on Xvfb failed (status $dialog)"

# ---- 32-bit Wine: the shipped module and host ------------------------------------
# quillwave_hostcheck runs the reference host's commands from a list in one
# process; the Linux build of it runs the same list; every file the two leave
# must be the same, byte for byte.  The list: every Layer I and Layer III
# conformance vector decoded with both decoders; two recordings through the
# recorder object (one in odd-sized chunks); a Layer II file, refused with a
# message box a frame, which the program closes and counts; the settings page
# choosing a decoder in an INI file, which the next decode reads; the
# file-information dialog, a tag saved and read back; and one file played
# through the decoding thread with the records read at their fixed 32-bit
# offsets, a seek, a stop and a new start.  Each 32-bit Wine process costs
# minutes of emulated start-up: one process does it all.
section "shipped module and host under 32-bit Wine (i686)"
part32_started=$SECONDS
run32=$root/build-win32/hostcheck
list=$run32/list.txt
rm -rf "$run32"
mkdir -p "$run32/linux" "$run32/win32"
{
  for input in "$vectors"/l1-*.bit "$vectors"/l3-*.bit "$vectors"/M2L3_*.bit; do
    [ -f "$input" ] || continue
    name=$(basename "$input" .bit)
    for decoder in performance quality; do
      printf 'decode-%s-%s\tdecode\t--decoder\t%s\t%s\tdecode-%s-%s.pcm\n' \
        "$decoder" "$name" "$decoder" "$input" "$decoder" "$name"
    done
  done
  if [ -f "$vectors/l3-compl.bit" ] && [ -f "$vectors/l1-fl2.bit" ]; then
    printf 'record-l3-compl\trecord\t%s\trecord-l3-compl.pcm\n' "$vectors/l3-compl.bit"
    printf 'record-l1-fl2\trecord\t--chunk\t1001\t%s\trecord-l1-fl2.pcm\n' "$vectors/l1-fl2.bit"
  fi
  if [ -f "$vectors/l2-fl13.bit" ]; then
    # Its first frame: every box costs seconds under the emulation.
    printf 'layer2\tdecode\tlayer2.mp2\tlayer2.pcm\n'
  fi
  printf 'playback\tplayback\tsample.mp3\tplayback\t1000\n'
  # ./ keeps the settings file here: Windows puts one named without a
  # folder in the Windows folder.
  printf 'config\t--ini\t./config.ini\tconfig\tquality\n'
  if [ -f "$vectors/M2L3_compl24.bit" ]; then
    printf 'decode-config-ini\t--ini\t./config.ini\tdecode\t%s\tdecode-config-ini.pcm\n' "$vectors/M2L3_compl24.bit"
  fi
  printf 'info\tinfo\tsample.mp3\n'
  printf 'tag-save\ttag\ttag-save.mp3\t--artist\tQuillwave\t--title\tThirty-two bits\t--year\t2024\t--genre\tJazz\n'
  printf 'tag-show\ttag\ttag-save.mp3\n'
} >"$list"
for side in linux win32; do
  cp samples/sample.mp3 "$run32/$side/sample.mp3"
  cp samples/sample.mp3 "$run32/$side/tag-save.mp3"
  [ -f "$vectors/l2-fl13.bit" ] && head -c 144 "$vectors/l2-fl13.bit" >"$run32/$side/layer2.mp2"
done

linux_check=$(cd "$linux_build" && pwd)/quillwave_hostcheck
checks32=0
(cd "$run32/linux" && "$linux_check" "$list" >"$run32/linux.log" 2>&1) ||
  { echo "the Linux check program failed:"; cat "$run32/linux.log"; checks32=1; }

wineserver -k 2>/dev/null || true  # the 64-bit prefix is done with
run_win32() (
  # A prefix of its own, 32-bit only.  The emulation must reserve the guest
  # address space for 32-bit Wine; only here: qemu-x86_64 refuses to start
  # with that setting.
  export WINEPREFIX=$wine_cache/wineprefix-win32 WINEARCH=win32 QEMU_RESERVED_VA=0xf7000000
  make_prefix "$wine32" || return 1
  # The headless display driver, written into the registry file while no
  # Wine process runs (a `wine reg` process would cost minutes here).
  if ! grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg"; then
    printf '\n[Software\\\\Wine\\\\Drivers] %s\n"Graphics"="null"\n' "$(date +%s)" >>"$WINEPREFIX/user.reg"
  fi
  cd "$run32/win32"
  # The DLL this run exercises, by its digest: the Windows package must hold
  # these very bytes (scripts/check-packages.sh).
  sha256sum <"$root/build-win32/SQqw4.sqp" >"$run32/SQqw4.sqp.sha256"
  local status=0
  # To a file, not a pipe: Wine's own background processes inherit the
  # output and would hold a pipe open long after the program ends.
  timeout 1200 "$wine32" "$root/build-win32/quillwave_hostcheck.exe" "$list" >"$run32/win32.log" 2>&1 || status=$?
  tr -d '\r' <"$run32/win32.log"
  wineserver -k 2>/dev/null || true
  return "$status"
)
run_win32 || { echo "the 32-bit check program failed (status $?)"; checks32=1; }

echo
echo "32-bit Windows (quillwave_hostcheck.exe under 32-bit Wine) against Linux:"
scripts/compare-outputs.sh "$list" "$run32/linux" "$run32/win32" || checks32=1
# Both sides alike could still both be wrong: what the checks must show.
expect32() {
  grep -q -- "$2" "$run32/win32/$1" 2>/dev/null || { echo "$1 lacks \"$2\""; checks32=1; }
}
if [ -f "$vectors/l2-fl13.bit" ]; then
  expect32 layer2.err '^quillwave: closed [0-9]* message boxe*s* from the module: "Layer2 Unsupported"$'
fi
expect32 playback.out "host slots: untouched"
expect32 playback.out "stop at block 3: 3 blocks, output closed, playing 0, threadHandle 0"
expect32 tag-save.out "TAG Saved!"
expect32 config.ini "Decoder=1"
if grep -qE 'WRITTEN|CHANGED|^  plugin[A-Za-z]+ \+[0-9]+: 0$' "$run32/win32/playback.out" 2>/dev/null; then
  echo "playback.out: the module wrote where it must not"
  checks32=1
fi
boxes=$(sed -n 's/^quillwave: closed \([0-9]*\) message box.*/\1/p' "$run32/win32/layer2.err" 2>/dev/null || true)
echo "message boxes closed: ${boxes:-0}"
echo "32-bit part: $((SECONDS - part32_started)) s"
[ "$checks32" -eq 0 ] || echo "the 32-bit checks failed"

section "done"
echo "Wine part: $((SECONDS - wine_started)) s"
[ "$failures" -eq 0 ] || echo "$failures decodings differ or failed"
[ "$suite" -eq 0 ] && [ "$failures" -eq 0 ] && [ "$dialog" -eq 0 ] && [ "$checks32" -eq 0 ]
