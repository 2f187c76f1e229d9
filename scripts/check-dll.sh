#!/usr/bin/env bash
# Checks a Windows build of the module: a 32-bit PE DLL exporting exactly the
# entry points by their plain names and importing system DLLs only.
# Usage: check-dll.sh SQqw4.sqp EXPORT...
set -euo pipefail
dll=$1
shift
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump
info=$("$objdump" -p "$dll")
# Here-strings rather than pipes: with pipefail, "echo | grep -q" fails when
# grep stops reading early and echo is killed by SIGPIPE.
grep -q 'Magic.*010b' <<<"$info" || { echo "$dll: not a PE32 image"; exit 1; }
awk '/^Characteristics/{on=1; next} on && /^[[:space:]]+DLL$/{found=1} on && !/^[[:space:]]/{exit} END{exit !found}' \
  <<<"$info" || { echo "$dll: not a DLL"; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF} on && /^$/{on=0}' \
  <<<"$info" | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$exports" != "$expected" ]; then
  echo "$dll exports:"; echo "$exports"; echo "expected:"; echo "$expected"; exit 1
fi
imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$info" | sort -u)
for dllname in $imports; do
  case "$dllname" in
    kernel32.dll|user32.dll|msvcrt.dll|advapi32.dll|gdi32.dll) ;;
    *) echo "$dll imports $dllname, which is not a system DLL"; exit 1 ;;
  esac
done
echo "$dll: PE32 DLL; exports: $(echo $exports); imports: $(echo $imports)"
