#!/usr/bin/env bash
# A picture of the file-information dialog as Wine draws it: the Windows host
# opens it for samples/sample.mp3 with `info --show` on a private X server,
# and the dialog's window is saved as a PNG.
# Usage: dialog-screenshot.sh [OUTPUT.png]   (default: docs/file-information-dialog.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
output=${1:-docs/file-information-dialog.png}

# Tools: Wine, the X server, xwd and xwininfo, and netpbm for the PNG.
missing=()
command -v wine >/dev/null || missing+=(wine)
[ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xwd >/dev/null || missing+=(x11-apps)
command -v xwininfo >/dev/null || missing+=(x11-utils)
command -v pnmtopng >/dev/null || missing+=(netpbm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ ! -f build-win64/quillwave.exe ] || [ ! -f build-win64/SQqw4.sqp ]; then
  cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake -DQW_BUILD_BENCH=OFF >/dev/null
  cmake --build build-win64 -j2 --target quillwave_module quillwave
fi

export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/quillwave/wineprefix-win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")

[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w

wine build-win64/quillwave.exe --plugin build-win64/SQqw4.sqp --ini "$work/quillwave.ini" \
  info --show samples/sample.mp3 >/dev/null 2>&1 &
window=""
for _ in $(seq 300); do
  window=$(xwininfo -root -tree | awk '/"Quillwave File Information"/ {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the dialog did not appear"; exit 1; }
sleep 2  # let every control finish drawing
mkdir -p "$(dirname "$output")"
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$output"
echo "$output: $(pngtopnm "$output" | head -2 | tail -1 | tr ' ' 'x') pixels"

wineserver -k 2>/dev/null || true
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
