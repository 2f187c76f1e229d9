#!/usr/bin/env bash
# Checks a Windows build of the module: a PE DLL exporting the entry points
# by their plain names and importing system DLLs only.
# Usage: check-dll.sh SQqw4.sqp EXPORT...
set -euo pipefail
dll=$1
shift
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump
info=$("$objdump" -p "$dll")
echo "$info" | grep -q 'Magic.*010b' || { echo "$dll: not a PE32 image"; exit 1; }
exports=$(echo "$info" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^\s*\[/{print $NF} on && /^$/{on=0}' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$exports" != "$expected" ]; then
  echo "$dll exports:"; echo "$exports"; echo "expected:"; echo "$expected"; exit 1
fi
imports=$(echo "$info" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
for dllname in $imports; do
  case "$dllname" in
    kernel32.dll|user32.dll|msvcrt.dll|advapi32.dll|gdi32.dll) ;;
    *) echo "$dll imports $dllname, which is not a system DLL"; exit 1 ;;
  esac
done
echo "$dll: PE32 DLL; exports: $(echo $exports); imports: $(echo $imports)"
