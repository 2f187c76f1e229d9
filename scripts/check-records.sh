#!/usr/bin/env bash
# Compiles the host-facing header for the 32-bit targets, where its
# static_asserts check every offset and size a host fixes: as C and C++ with
# the 32-bit Linux compilers, and with the i686 MinGW compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#include "quillwave/quillwave.h"\nint main(void) { return 0; }\n' > "$work/records.c"
cp "$work/records.c" "$work/records.cpp"
gcc -m32 -std=c11 -Wall -Werror -Iinclude -c "$work/records.c" -o "$work/c32.o"
g++ -m32 -std=c++17 -Wall -Werror -Iinclude -c "$work/records.cpp" -o "$work/cxx32.o"
i686-w64-mingw32-gcc -std=c11 -Wall -Werror -Iinclude -c "$work/records.c" -o "$work/mingw32.o"
i686-w64-mingw32-g++ -std=c++17 -Wall -Werror -Iinclude -c "$work/records.cpp" -o "$work/mingw32pp.o"
echo "host records: 32-bit layouts checked (gcc -m32, g++ -m32, i686 MinGW)"
