#!/usr/bin/env bash
# Installs, with apt-get and only when missing, the Debian packages a build
# needs; full also installs what runs the Windows builds (install-wine.sh:
# 64-bit and 32-bit Wine, and the emulation 32-bit programs need here).
# Usage: install-deps.sh [minimal|full]
set -euo pipefail
level=${1:-full}

packages=(cmake g++ make)
if [ "$level" = full ]; then
  packages+=(libgtest-dev libbenchmark-dev gcc-multilib g++-multilib mingw-w64 sox lame ffmpeg mpg123 libmpg123-dev
             pkg-config clang libclang-rt-14-dev clang-format binutils-mingw-w64-i686 e2fsprogs dpkg-dev file)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$level" = full ]; then
  "$(dirname "$0")/install-wine.sh"
fi
