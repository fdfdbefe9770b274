#!/usr/bin/env bash
# Installs every system dependency on a fresh Debian 12 machine (run as root).
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev llvm
  zlib1g-dev libsoxr-dev libflac-dev flac dpkg-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
  wine wine32:i386 wine64 xvfb xauth
  valgrind sox imagemagick locales
  e2fsprogs procps
  lintian unzip
  pulseaudio pulseaudio-utils libpulse-dev libpulse0:i386 time
)

have_i386() {
  dpkg --print-foreign-architectures | grep -qx i386
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || ! have_i386; then
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine needs the i386 architecture before the package lists are read.
  have_i386 || dpkg --add-architecture i386
  "$(dirname "$0")/apt-update"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A Japanese locale: a test runs the module from a path whose ANSI form
# (code page 932) is longer than its wide form.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# Some kernels (lean VMs) cannot execute 32-bit ELF programs, which 32-bit
# Wine is. There, qemu's user-mode emulator runs them through binfmt_misc.
# It must be qemu 8 or later: older versions treat MAP_FIXED_NOREPLACE as a
# hint and track pages one by one, so Wine's address-space reservation alone
# takes minutes per process instead of a second.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  qemu_major=$( (qemu-i386-static --version 2>/dev/null || true) | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  if [ -z "$qemu_major" ] || [ "$qemu_major" -lt 8 ]; then
    export DEBIAN_FRONTEND=noninteractive
    if ! apt-cache policy qemu-user-static | grep -q bookworm-backports; then
      cat > /etc/apt/sources.list.d/quarix-backports.sources <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
      "$(dirname "$0")/apt-update"
    fi
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  emulator=$(readlink -f /usr/bin/qemu-i386-static)
  if [ -e "$binfmt/qemu-i386" ] && ! grep -qx "interpreter $emulator" "$binfmt/qemu-i386"; then
    echo -1 > "$binfmt/qemu-i386"  # registered for an older emulator
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # ELF32 i386 executables and shared objects; F: the emulator is opened now.
    printf '%s' ":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$emulator:F" \
      > "$binfmt/register"
  fi
  /usr/lib/wine/wine --version >/dev/null
fi
