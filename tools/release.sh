#!/usr/bin/env bash
# Builds the release from a clean tree into dist/:
#   quarix-VERSION-win32.zip         Quarix.j27 for Windows users, with j27host.exe,
#                                    libsoxr.dll, the demo tune, README.txt, licences
#   quarix-render_VERSION_amd64.deb  the optimised native player
#   SHA256SUMS
# Every build tree is made afresh under build/dist/, and the artefacts are the
# same bytes wherever, whenever and under whatever umask they are built: the
# time is the last commit's (SOURCE_DATE_EPOCH), the compilers map the tree's
# paths away, PE files carry no link time, archives hold sorted entries with
# fixed times, owners and modes.
#
# A git checkout must have no uncommitted changes (a release is a commit); an
# exported tree without .git needs SOURCE_DATE_EPOCH set.
#   QUARIX_RELEASE_JOBS=N   compile jobs (default 2)
#   QUARIX_RELEASE_LINT=0   skip lintian on the .deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

die() { echo "release: $*" >&2; exit 1; }

if [ -e .git ]; then
  [ -z "$(git status --porcelain)" ] || die "uncommitted changes in $top: a release is built from a commit"
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
fi
[ -n "${SOURCE_DATE_EPOCH:-}" ] || die "not a git checkout: set SOURCE_DATE_EPOCH"
export SOURCE_DATE_EPOCH
# Tools that print dates or sort names do it the same way everywhere.
export LC_ALL=C.UTF-8 TZ=UTC

version=$(head -n 1 VERSION)
jobs=${QUARIX_RELEASE_JOBS:-2}
out=$top/build/dist
dist=$top/dist

bash tools/setup.sh
rm -rf "$out" "$dist"
mkdir -p "$out" "$dist"

build_programs() {
  echo "== release: Win32 libraries, Quarix.j27 and j27host.exe"
  bash tools/win32-deps.sh "$out/win32-deps"
  # j27host.exe without its symbol table, like the library: users need none.
  cmake --preset win32 -B "$out/win32" -DQUARIX_TESTS=OFF -DQUARIX_WIN32_DEPS="$out/win32-deps/prefix" \
    -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
  cmake --build "$out/win32" -j "$jobs" --target Quarix j27host soxr_dll
  echo "== release: quarix-render"
  cmake --preset release -B "$out/native" -DQUARIX_BENCH=OFF >/dev/null
  cmake --build "$out/native" -j "$jobs" --target quarix-render
}

# Text for Windows users: CRLF line ends.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$@"; }

# licence NAME TITLE FILE...: licenses/NAME.txt, the title, then each file
# under a heading of its own.
licence() {
  local name=$1 title=$2 file
  shift 2
  {
    printf '%s\n' "$title"
    for file in "$@"; do
      [ -f "$file" ] || die "licence text $file not found"
      printf '\n==== %s\n\n' "${file#"$out"/win32-deps/src/}"
      cat "$file"
    done
  } | crlf > "$zipdir/licenses/$name.txt"
}

make_zip() {
  echo "== release: quarix-$version-win32.zip"
  local root=$out/zip
  zipdir=$root/quarix-$version-win32
  mkdir -p "$zipdir/licenses"
  cp "$out/win32/bin/Quarix.j27" "$out/win32/bin/j27host.exe" "$out/win32/bin/libsoxr.dll" demo/demo.vgm "$zipdir/"
  sed "s/@VERSION@/$version/" packaging/win32/README.txt | crlf > "$zipdir/README.txt"
  crlf LICENSE > "$zipdir/LICENSE.txt"

  local soxr flac soxr_src flac_src
  soxr=$(dpkg-query -W -f='${source:Version}' libsoxr-dev)
  flac=$(dpkg-query -W -f='${source:Version}' libflac-dev)
  soxr_src=$(echo "$out"/win32-deps/src/libsoxr-*/)
  soxr_src=${soxr_src%/}
  flac_src=$(echo "$out"/win32-deps/src/flac-*/)
  flac_src=${flac_src%/}
  licence zlib "zlib, linked into j27host.exe (it unpacks .vgz files). Debian's copyright file of
libz-mingw-w64-dev, from which it comes:" /usr/share/doc/libz-mingw-w64-dev/copyright
  licence libsoxr "libsoxr.dll is libsoxr, the SoX Resampler library, under the GNU Lesser
General Public License, version 2.1 or later; its text ends this file.

Its source is Debian's source package libsoxr, version $soxr (on Debian:
apt-get source libsoxr=$soxr), built as Debian ships it, its patches applied,
by tools/win32-deps.sh in Quarix's source, which names every build option.
It is a DLL of its own, so you may replace it with another build of libsoxr
with the same interface." "$soxr_src/debian/copyright" "$soxr_src/COPYING.LGPL"
  licence libFLAC "libFLAC, for j27host.exe, from Debian's source package flac, version $flac
(on Debian: apt-get source flac=$flac). The library is under the Xiph.org BSD
licence; the rest of the package's terms follow for completeness." \
    "$flac_src/debian/copyright" "$flac_src/COPYING.Xiph"
  licence mingw-w64-runtime "The compiler's runtime, linked into Quarix.j27, j27host.exe and libsoxr.dll:
the mingw-w64 C runtime and winpthreads (Debian's mingw-w64-i686-dev), and
GCC's libgcc and libstdc++ (Debian's g++-mingw-w64-i686-posix), which the GCC
Runtime Library Exception lets programs carry under terms of their own." \
    /usr/share/doc/mingw-w64-i686-dev/copyright /usr/share/doc/g++-mingw-w64-i686-posix/copyright

  python3 tools/make_zip.py "$dist/quarix-$version-win32.zip" "$root"
}

# The Debian changelog of this release, dated by the last commit.
changelog() {
  local maintainer
  maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control)
  printf 'quarix (%s) unstable; urgency=medium\n\n  * Quarix %s.\n\n -- %s  %s\n' \
    "$version" "$version" "$maintainer" "$(date -u -R -d "@$SOURCE_DATE_EPOCH")"
}

make_deb() {
  echo "== release: quarix-render_${version}_amd64.deb"
  local work=$out/deb
  local stage=$work/debian/quarix-render
  local doc=$stage/usr/share/doc/quarix-render
  mkdir -p "$stage/DEBIAN" "$doc"
  DESTDIR=$stage cmake --install "$out/native" --prefix /usr >/dev/null
  # As Debian's own packages are stripped (dh_strip).
  strip --remove-section=.comment --remove-section=.note "$stage/usr/bin/quarix-render"
  gzip -9n "$stage/usr/share/man/man1/quarix-render.1"
  cp README.md "$doc/README.md"
  cp packaging/debian/copyright "$doc/copyright"
  changelog > "$work/debian/changelog"
  gzip -9n -c "$work/debian/changelog" > "$doc/changelog.gz"
  cp packaging/debian/control "$work/debian/control"
  # Dependencies from the libraries the binary links, as a Debian build
  # finds them.
  (cd "$work" && dpkg-shlibdeps -Tdebian/substvars debian/quarix-render/usr/bin/quarix-render &&
    dpkg-gencontrol -pquarix-render -Pdebian/quarix-render -Tdebian/substvars -fdebian/files)
  (cd "$stage" && find usr -type f | sort | xargs md5sum > DEBIAN/md5sums)
  # Modes and times from here, not from the umask and the clock.
  find "$stage" -type d -exec chmod 0755 {} +
  find "$stage" -type f -exec chmod 0644 {} +
  chmod 0755 "$stage/usr/bin/quarix-render"
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$stage" "$dist/quarix-render_${version}_amd64.deb" >/dev/null
}

build_programs
make_zip
make_deb
(cd "$dist" && sha256sum -- *.zip *.deb > SHA256SUMS)

if [ "${QUARIX_RELEASE_LINT:-1}" != 0 ]; then
  echo "== release: lintian"
  lintian --fail-on error --info "$dist/quarix-render_${version}_amd64.deb"
fi
echo "release: $dist"
cat "$dist/SHA256SUMS"
