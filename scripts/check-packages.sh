#!/usr/bin/env bash
# Makes the packages a user downloads and checks each as a user gets it:
#   - the Windows zip, from the shipped 32-bit build: exactly the module, the
#     host, the public headers and README.txt; its DLL byte for byte the one
#     the 32-bit Wine run exercised (scripts/test-windows.sh notes its digest);
#     both images with the project's version in their version resources;
#   - the Linux .tar.gz: exactly the installed tree; unpacked elsewhere, its
#     host finds its module by itself and decodes the sample to the same bytes
#     as the build;
#   - the .deb: its control fields and contents listed; it depends on exactly
#     the packages that hold the libraries its programs link; installed with
#     dpkg -i, the installed quillwave decodes the sample, and dpkg -r leaves
#     none of its files behind (dpkg -P then drops dpkg's record of it).
# Installing the .deb needs root (or sudo); a quillwave package that is
# already installed is left alone, and that check fails.
# Usage: check-packages.sh [LINUX_BUILD_DIR [WIN32_BUILD_DIR]]   (default: build build-win32)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=$(cd "${1:-build}" && pwd)
win32_build=$(cd "${2:-build-win32}" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux_build/CMakeCache.txt")
[ -n "$version" ] || { echo "$linux_build: no project version in CMakeCache.txt"; exit 1; }
headers=$(cd include && ls quillwave/*.h)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
# The files (not folders) of a listing, one a line, sorted.
files_of() { grep -v '/$' | sort; }
same_list() {  # what, expected, actual
  if [ "$2" != "$3" ]; then
    fail "$1 differs from what it must hold:"
    diff <(echo "$2") <(echo "$3") | sed -n 's/^[<>]/  &/p'
  fi
}

echo "== packages of version $version"
(cd "$win32_build" && cpack -G ZIP >/dev/null)
(cd "$linux_build" && cpack >/dev/null)
ls -l "$win32_build"/packages/*.zip "$linux_build"/packages/*.tar.gz "$linux_build"/packages/*.deb

# ---- Windows zip ----------------------------------------------------------------
top=quillwave-$version-win32
zip=$win32_build/packages/$top.zip
echo
echo "== $(basename "$zip")"
listing=$(cmake -E tar tf "$zip" | files_of)
echo "$listing"
expected=$({ printf '%s\n' "$top/SQqw4.sqp" "$top/quillwave.exe" "$top/README.txt"
             for h in $headers; do echo "$top/include/$h"; done; } | sort)
same_list "$(basename "$zip")" "$expected" "$listing"
(cd "$work" && cmake -E tar xf "$zip")
unpacked=$work/$top
ran=$win32_build/hostcheck/SQqw4.sqp.sha256
if [ ! -f "$ran" ]; then
  fail "no digest of the DLL the 32-bit Wine run exercised ($ran): run scripts/test-windows.sh first"
elif [ "$(sha256sum <"$unpacked/SQqw4.sqp")" != "$(cat "$ran")" ]; then
  fail "the zip's SQqw4.sqp is not the DLL the 32-bit Wine run exercised"
else
  echo "SQqw4.sqp: the DLL the 32-bit Wine run exercised ($(cut -c1-16 "$ran")...)"
fi
scripts/check-dll.sh "$unpacked/SQqw4.sqp" $(scripts/module-exports.sh) || fail "the zip's SQqw4.sqp"
tr -d '\r' <"$unpacked/README.txt" | cmp -s - README.md || fail "README.txt is not README.md with Windows line ends"
# The version resource (type 16), and its texts as Windows shows them.
for image in SQqw4.sqp quillwave.exe; do
  file=$unpacked/$image
  i686-w64-mingw32-objdump -p "$file" | grep -q 'Entry: ID: 0x000010,' || fail "$image has no version resource"
  fields=$(strings -el "$file" | paste -sd'|')
  for field in "FileVersion|$version" "ProductVersion|$version" "OriginalFilename|$image"; do
    [[ "|$fields|" == *"|$field|"* ]] || fail "$image: version resource lacks ${field/|/ = }"
  done
  echo "$image: $(strings -el "$file" | grep -A1 -x 'FileDescription' | tail -1), version $version"
done

# ---- Linux .tar.gz ------------------------------------------------------------------
tarball=$(ls "$linux_build"/packages/quillwave-"$version"-*.tar.gz)
top=$(basename "$tarball" .tar.gz)
echo
echo "== $(basename "$tarball")"
listing=$(tar tzf "$tarball" | files_of)
echo "$listing"
expected=$({ printf '%s\n' "$top/bin/quillwave" "$top/lib/quillwave/SQqw4.sqp" "$top/share/doc/quillwave/README.md"
             for h in $headers; do echo "$top/include/$h"; done; } | sort)
same_list "$(basename "$tarball")" "$expected" "$listing"
"$linux_build/quillwave" decode samples/sample.mp3 "$work/build.pcm" >/dev/null
mkdir "$work/elsewhere"
tar xzf "$tarball" -C "$work/elsewhere"
if "$work/elsewhere/$top/bin/quillwave" decode samples/sample.mp3 "$work/unpacked.pcm" >/dev/null &&
  cmp -s "$work/build.pcm" "$work/unpacked.pcm"; then
  echo "unpacked elsewhere, bin/quillwave decodes the sample as the build does"
else
  fail "the unpacked bin/quillwave did not decode the sample as the build does"
fi

# ---- Debian package ---------------------------------------------------------------------
deb=$linux_build/packages/quillwave_${version}_$(dpkg --print-architecture).deb
echo
echo "== $(basename "$deb")"
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"
listing=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | files_of)
expected=$({ printf '%s\n' ./usr/bin/quillwave ./usr/lib/quillwave/SQqw4.sqp ./usr/share/doc/quillwave/README.md
             for h in $headers; do echo "./usr/include/$h"; done; } | sort)
same_list "$(basename "$deb")" "$expected" "$listing"
# Its dependencies: the packages holding what the programs link, no more.
dpkg-deb -x "$deb" "$work/deb"
linked=$(for program in "$work/deb/usr/bin/quillwave" "$work/deb/usr/lib/quillwave/SQqw4.sqp"; do
           ldd "$program" | awk '$2 == "=>" { print $3 } $1 ~ /^\// { print $1 }'
         done | sort -u | while read -r library; do
           dpkg -S "$library" 2>/dev/null || dpkg -S "$(realpath "$library")"
         done | sed 's/:.*//' | sort -u)
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*//; s/[[:space:]]//g' | sort -u)
same_list "Depends of $(basename "$deb") (against the packages of the libraries ldd lists)" "$linked" "$depends"
echo "depends on: $(echo $depends) (what ldd lists: $(echo $linked))"

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
if dpkg-query -W -f='${Status}' quillwave 2>/dev/null | grep -q "ok installed"; then
  fail "a quillwave package is installed already: remove it to check the .deb"
else
  trap '$sudo dpkg -P quillwave >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  $sudo dpkg -i "$deb"
  installed=$(dpkg -L quillwave)
  echo "installed: $(command -v quillwave), which says: $(/usr/bin/quillwave --version)"
  [ "$(/usr/bin/quillwave --version)" = "quillwave $version" ] || fail "quillwave --version does not say $version"
  if (cd "$work" && /usr/bin/quillwave decode "$root/samples/sample.mp3" installed.pcm) &&
    cmp -s "$work/build.pcm" "$work/installed.pcm"; then
    echo "the installed quillwave decodes the sample as the build does"
  else
    fail "the installed quillwave did not decode the sample as the build does"
  fi
  $sudo dpkg -r quillwave
  trap 'rm -rf "$work"' EXIT
  left=$(while read -r path; do
           case "$path" in /usr/lib/quillwave*|/usr/include/quillwave*|/usr/share/doc/quillwave*|/usr/bin/quillwave) ;;
             *) continue ;; esac
           [ -e "$path" ] && echo "$path"
         done <<<"$installed" || true)
  dpkg-query -W -f='${Status}' quillwave 2>/dev/null | grep -q "ok installed" && fail "dpkg -r left quillwave installed"
  if [ -n "$left" ]; then fail "dpkg -r left these behind: $(echo $left)"; else echo "dpkg -r removed every file"; fi
  # dpkg keeps a record of a removed package that has a removal script (CPack
  # gives the package an ldconfig call); purging drops it, as it was before.
  $sudo dpkg -P quillwave >/dev/null
fi

echo
[ "$failures" -eq 0 ] || { echo "$failures package checks failed"; exit 1; }
echo "packages: every check passed"
