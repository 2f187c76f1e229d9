#!/usr/bin/env bash
# Installs, only what is missing, what runs the Windows builds here:
#   - 64-bit Wine (wine64), with Xvfb and the X libraries its X11 display
#     driver loads, for the 64-bit twin and its tests;
#   - 32-bit Wine (wine32:i386) for the shipped 32-bit module and host.  This
#     kernel runs no 32-bit code of its own, so 32-bit programs go through
#     qemu's user-mode emulation (qemu-user-static), registered with
#     binfmt_misc for 32-bit x86 ELF files when it is not already.
# Needs root (or sudo) only when something is missing.  Run by
# install-deps.sh full.
set -euo pipefail

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# ---- What is missing -----------------------------------------------------------
native=()
for p in wine wine64 xvfb qemu-user-static libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 \
  libxcomposite1 libxinerama1; do
  installed "$p" || native+=("$p")
done
need_wine32=0
installed wine32:i386 || need_wine32=1
binfmt=/proc/sys/fs/binfmt_misc
need_binfmt=0
[ -e "$binfmt/qemu-i386" ] && grep -q '^enabled' "$binfmt/qemu-i386" || need_binfmt=1

[ ${#native[@]} -eq 0 ] && [ "$need_wine32" -eq 0 ] && [ "$need_binfmt" -eq 0 ] && exit 0

# ---- Package lists -----------------------------------------------------------------
# The i386 index of the security suite is at times out of step with the amd64
# one, and apt-get update then fails on it.  Nothing 32-bit is taken from that
# suite: it is limited to amd64, and every 32-bit package comes from the main
# suite.
limit_security_suite() {
  local sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ] && ! awk 'BEGIN { RS = "" } /Suites:[^\n]*-security/ && /Architectures:/ { found = 1 }
                                   END { exit !found }' "$sources"; then
    echo "limiting the security suite in $sources to amd64"
    $sudo sed -i '/^Suites:.*-security/a Architectures: amd64' "$sources"
  fi
  if [ -f /etc/apt/sources.list ] && grep -qE '^deb +[^[]*security' /etc/apt/sources.list; then
    echo "limiting the security suite in /etc/apt/sources.list to amd64"
    $sudo sed -i -E 's/^deb +([^[][^ ]*security)/deb [arch=amd64] \1/' /etc/apt/sources.list
  fi
}

apt_update() {
  # A failing index (one suite, one architecture) must not stop the packages
  # the others provide: the installation below tells what is really missing.
  $sudo apt-get update -q || echo "apt-get update reported errors; going on with the lists it has"
}


if [ "$need_wine32" -eq 1 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "adding the i386 architecture"
    $sudo dpkg --add-architecture i386
  fi
  limit_security_suite
fi
if [ ${#native[@]} -gt 0 ] || [ "$need_wine32" -eq 1 ]; then
  apt_update

fi

apt_install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@"; }

if [ ${#native[@]} -gt 0 ]; then
  echo "installing: ${native[*]}"
  apt_install "${native[@]}"
fi

# ---- binfmt_misc -----------------------------------------------------------------
# Registered before 32-bit Wine is installed, so that its packages' scripts,
# which run 32-bit helpers, work too.
register_binfmt() {
  if [ ! -e "$binfmt/qemu-i386" ] || ! grep -q '^enabled' "$binfmt/qemu-i386"; then
    [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ -e "$binfmt/qemu-i386" ]; then
      echo 1 | $sudo tee "$binfmt/qemu-i386" >/dev/null
    else
      echo "registering /usr/bin/qemu-i386-static for 32-bit x86 programs"
      # The F flag opens the interpreter now, so it works inside any mount
      # namespace or chroot later.
      printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
        $sudo tee "$binfmt/register" >/dev/null
    fi
  fi
  grep -q '^enabled' "$binfmt/qemu-i386" || { echo "qemu-i386 is not registered with binfmt_misc"; exit 1; }
}
register_binfmt

if [ "$need_wine32" -eq 1 ]; then
  # Both architectures of a multi-arch library must have the same version; the
  # gstreamer base plug-ins library is the one whose amd64 version may come
  # from the security suite, so both are pinned to the main suite's version.
  gst=libgstreamer-plugins-base1.0-0
  version=$(apt-cache policy "$gst:i386" | awk '/Candidate:/ { print $2 }')
  pins=()
  if [ -n "$version" ] && [ "$version" != "(none)" ]; then
    pins=("$gst=$version" "$gst:i386=$version")
  fi
  echo "installing: wine32:i386 ${pins[*]}"
  apt_install -t bookworm --allow-downgrades wine32:i386 wine64 libwine "${pins[@]}"
fi

