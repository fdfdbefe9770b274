#!/usr/bin/env bash
# Builds the Win32 host's libraries from Debian's own source packages with
# the mingw-w64 i686 toolchain, into DIR/prefix (default build/win32-deps):
#   libsoxr  a DLL beside j27host.exe, libgcc linked in (LGPL: a user may
#            replace it); only its plain C engines, so the CPU cannot pick one
#   libFLAC  a static library linked into j27host.exe, without Ogg
# The sources are the versions of the native -dev packages, so both front
# ends run the same code. Adds deb-src entries for the machine's Debian
# suites once (as root). A stamp makes a second run instant.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deps=${1:-$top/build/win32-deps}
prefix=$deps/prefix
toolchain=$top/cmake/toolchain-i686-w64-mingw32.cmake

die() { echo "win32-deps: $*" >&2; exit 1; }

source_version() {
  dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || die "$1 is not installed: run tools/setup.sh"
}
soxr_version=$(source_version libsoxr-dev)
flac_version=$(source_version libflac-dev)
key="$(cat "$0" "$toolchain" | sha256sum | cut -c1-16) libsoxr=$soxr_version flac=$flac_version"
if [ -f "$deps/stamp" ] && [ "$(cat "$deps/stamp")" = "$key" ]; then
  exit 0
fi

# SSE2 doubles, no x87 and no fused multiply-add: the same rounding as
# x86-64's baseline, where Debian's native libraries are built.
# The prefix map keeps this directory's path out of the objects, so a
# release built elsewhere is the same bytes.
cflags="-O2 -msse2 -mfpmath=sse -ffp-contract=off -ffile-prefix-map=$deps/="
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

# Debian's source index, for the suites the machine already installs from.
ensure_deb_src() {
  if apt-cache showsrc --only-source libsoxr 2>/dev/null | grep -qx "Version: $soxr_version"; then
    return
  fi
  [ "$(id -u)" = 0 ] || die "no deb-src entries for Debian's suites: run this once as root"
  local list=/etc/apt/sources.list.d/debian.sources
  [ -f "$list" ] || die "$list not found: add deb-src entries for libsoxr and flac by hand"
  sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$list"
  "$top/tools/apt-update"
}

# Debian's source, patches applied, unpacked afresh into $deps/src/NAME-VERSION.
fetch() {
  local name=$1 version=$2 dsc
  dsc=$deps/src/${name}_${version#*:}.dsc
  if [ ! -f "$dsc" ]; then
    ensure_deb_src
    (cd "$deps/src" && apt-get source -qq --download-only "$name=$version" 2>&1 \
      | grep -v 'unsandboxed as root' >&2 || true)
    [ -f "$dsc" ] || die "apt-get source $name=$version failed"
  fi
  local upstream=${version#*:}
  upstream=${upstream%-*}
  rm -rf "$deps/src/$name-$upstream"
  dpkg-source -q -x "$dsc" "$deps/src/$name-$upstream" >/dev/null 2>&1 \
    || die "cannot unpack $dsc"
  echo "$deps/src/$name-$upstream"
}

# Configures, builds and installs one CMake project into the prefix.
build() {
  local name=$1 src=$2 defines=$3
  shift 3
  rm -rf "$deps/build/$name"
  cmake -S "$src" -B "$deps/build/$name" -G Ninja --toolchain "$toolchain" \
    -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="$cflags $defines" -DCMAKE_INSTALL_PREFIX="$prefix" \
    "$@" >"$deps/build/$name.log" 2>&1 || die "configuring $name failed: see $deps/build/$name.log"
  { cmake --build "$deps/build/$name" -j "$jobs" && cmake --install "$deps/build/$name"; } \
    >>"$deps/build/$name.log" 2>&1 || die "building $name failed: see $deps/build/$name.log"
}

mkdir -p "$deps/src" "$deps/build"
rm -f "$deps/stamp"
rm -rf "$prefix"
soxr_src=$(fetch libsoxr "$soxr_version")
flac_src=$(fetch flac "$flac_version")

# SOXR_DLL: only the API is exported. No SIMD engines, no OpenMP.
build soxr "$soxr_src" -DSOXR_DLL \
  -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc -s -Wl,--no-insert-timestamp" \
  -DBUILD_SHARED_LIBS=ON -DVISIBILITY_HIDDEN=OFF \
  -DWITH_CR32S=OFF -DWITH_CR64S=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF \
  -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
# NDEBUG as in Debian's build: no assertions, no CPU report on stderr.
build flac "$flac_src" -DNDEBUG \
  -DBUILD_SHARED_LIBS=OFF -DWITH_OGG=OFF -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF \
  -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF

echo "$key" > "$deps/stamp"
echo "win32-deps: libsoxr $soxr_version and flac $flac_version in $prefix"
