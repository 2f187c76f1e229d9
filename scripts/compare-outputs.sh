#!/usr/bin/env bash
# Compares what quillwave_hostcheck left in two folders, one row per command
# of its list: every file the command made (PCM, standard output and error
# with its status, tagged copies, settings files) must be the same, byte for
# byte.  Settings files are compared without carriage returns: Windows writes
# them with CR LF line ends, the Linux build with LF.
# Usage: compare-outputs.sh LIST REFERENCE_DIR OTHER_DIR
# Exits 1 on any difference or missing file.
set -euo pipefail
list=$1
reference=$2
other=$3

differences=0
rows=0
total=0
printf '%-40s %6s %5s %10s  %s\n' command status files bytes result
while IFS=$'\t' read -r name _; do
  case "$name" in '' | '#'*) continue ;; esac
  result=identical
  files=0
  bytes=0
  for file in "$reference/$name".*; do
    [ -e "$file" ] || continue
    base=$(basename "$file")
    files=$((files + 1))
    bytes=$((bytes + $(stat -c %s "$file")))
    if [ ! -e "$other/$base" ]; then
      result="MISSING: $base"
    elif [[ "$base" == *.ini ]]; then
      cmp -s <(tr -d '\r' <"$file") <(tr -d '\r' <"$other/$base") || result="DIFFERENT: $base"
    elif ! cmp -s "$file" "$other/$base"; then
      result="DIFFERENT: $base, $(cmp "$file" "$other/$base" 2>&1 | head -1 | sed 's/.*differ: //' || true)"
    fi
    [ "$result" = identical ] || break
  done
  # Files the other side made and the reference did not.
  for file in "$other/$name".*; do
    [ -e "$file" ] && [ ! -e "$reference/$(basename "$file")" ] && result="EXTRA: $(basename "$file")"
  done
  [ "$files" -gt 0 ] || result="NO OUTPUT"
  status=$(tail -1 "$reference/$name.err" 2>/dev/null | sed -n 's/^status //p')
  printf '%-40s %6s %5d %10d  %s\n' "$name" "${status:-?}" "$files" "$bytes" "$result"
  rows=$((rows + 1))
  total=$((total + bytes))
  [ "$result" = identical ] || differences=$((differences + 1))
done <"$list"
echo "$rows commands, $total bytes compared, $differences differing"
[ "$rows" -gt 0 ] && [ "$differences" -eq 0 ]
