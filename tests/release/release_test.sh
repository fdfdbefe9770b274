#!/usr/bin/env bash
# tools/release.sh, end to end: two runs in two directories, at different
# times, under different umasks and time zones, give the same bytes; the zip
# holds exactly its files, and its j27host.exe renders the demo in a fresh
# Wine prefix as the tested build tree's does; the .deb installs (apt as root,
# else unpacked into a scratch root), its quarix-render runs and renders the
# same frames; lintian passes it (in the first run).
#
#   release_test.sh WIN32_BUILD   the tested Win32 build tree (default build/win32)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
reference=$(cd "${1:-$top/build/win32}" && pwd)
version=$(head -n 1 "$top/VERSION")
zip=quarix-$version-win32.zip
deb=quarix-render_${version}_amd64.deb
work=$(mktemp -d)
installed=
cleanup() {
  if [ -n "$installed" ]; then dpkg --purge quarix-render >/dev/null || true; fi
  WINEPREFIX=$work/wineprefix wineserver -w 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "release test: $*" >&2; exit 1; }

# The tree to release: a clone of the last commit when nothing is changed
# (as on CI: release.sh dates it by the commit), else the files as they
# stand, dated by the last commit here.
dated=()
if [ -n "$(git -C "$top" status --porcelain)" ]; then
  dated=(SOURCE_DATE_EPOCH="$(git -C "$top" log -1 --format=%ct)")
fi
copy_tree() {
  local to=$1
  mkdir -p "$(dirname "$to")"
  if [ ${#dated[@]} = 0 ]; then
    git clone -q "$top" "$to"
  else
    mkdir -p "$to"
    (cd "$top" && git ls-files -z -co --exclude-standard |
      while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done | tar --null -T - -cf -) |
      tar -xf - -C "$to"
  fi
}

first=$work/a/quarix
second=$work/second-place/deeper/quarix
copy_tree "$first"
copy_tree "$second"
# The first run's log without the compile lines; lintian's report is at its end.
(umask 022 && cd "$first" && env TZ=UTC "${dated[@]}" bash tools/release.sh 2>&1) | grep -v '^\[[0-9]*/[0-9]*\] '
(umask 077 && cd "$second" && env TZ=Pacific/Kiritimati "${dated[@]}" QUARIX_RELEASE_LINT=0 \
  bash tools/release.sh >"$work/second.log" 2>&1) || { cat "$work/second.log" >&2; fail "second run failed"; }

echo "-- the same bytes from both runs"
for f in dist/$zip dist/$deb dist/SHA256SUMS build/dist/win32/bin/Quarix.j27 build/dist/win32/bin/j27host.exe \
         build/dist/win32/bin/libsoxr.dll build/dist/deb/debian/quarix-render/usr/bin/quarix-render; do
  cmp "$first/$f" "$second/$f" || fail "$f differs between the two runs"
  echo "  same: $(sha256sum <"$first/$f" | cut -c1-64)  $f"
done
(cd "$first/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"

echo "-- the zip's files"
python3 - "$first/dist/$zip" "quarix-$version-win32" <<'EOF' || fail "the zip's entries are not the listed files"
import struct, sys, zipfile
folder = sys.argv[2]
want = sorted(folder + "/" + n for n in [
    "Quarix.j27", "j27host.exe", "libsoxr.dll", "demo.vgm", "README.txt", "LICENSE.txt",
    "licenses/zlib.txt", "licenses/libsoxr.txt", "licenses/libFLAC.txt", "licenses/mingw-w64-runtime.txt"])
archive = zipfile.ZipFile(sys.argv[1])
got = archive.namelist()
if got != want:
    sys.exit(f"entries {got}, expected {want}")
readme = archive.read(folder + "/README.txt")
if b"\r\n" not in readme or readme.replace(b"\r\n", b"").count(b"\n") != 0:
    sys.exit("README.txt does not have CRLF line ends throughout")

def pe_stamps(data):
    """The COFF header's stamp and those of the export and resource directories."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional
    def offset(rva):
        for i in range(sections):
            size, va, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if va <= rva < va + size:
                return raw + rva - va
    stamps = {"header": struct.unpack_from("<I", data, pe + 8)[0]}
    for name, index in (("exports", 0), ("resources", 2)):
        rva, size = struct.unpack_from("<II", data, pe + 24 + 96 + 8 * index)
        if size:
            stamps[name] = struct.unpack_from("<I", data, offset(rva) + 4)[0]
    return stamps

for program in ("Quarix.j27", "j27host.exe", "libsoxr.dll"):
    stamps = pe_stamps(archive.read(folder + "/" + program))
    if any(stamps.values()):
        sys.exit(f"{program} has time stamps: {stamps}")
EOF

echo "-- the zip's j27host.exe in a fresh Wine prefix"
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$first/dist/$zip")
host=$work/unpacked/quarix-$version-win32
[ "$(WINEPREFIX=$work/wineprefix "$top/tools/wine-run" "$host/j27host.exe" --version | tr -d '\r')" = "j27host $version" ] ||
  fail "j27host.exe --version is not 'j27host $version'"
(cd "$host" && WINEPREFIX=$work/wineprefix "$top/tools/wine-run" j27host.exe demo.vgm -q --raw "$work/zip.bin" -o "$work/zip.wav")
env -u WINEPREFIX "$top/tools/wine-run" "$reference/bin/j27host.exe" "$top/demo/demo.vgm" -q \
  --raw "$work/tree.bin" -o "$work/tree.wav"
cmp "$work/zip.bin" "$work/tree.bin" || fail "the zip's j27host renders other frames than $reference's"
cmp "$work/zip.wav" "$work/tree.wav" || fail "the zip's j27host writes another WAV than $reference's"
echo "  demo: $(stat -c %s "$work/zip.bin") bytes of frames, as the build tree's"

echo "-- the .deb"
want_files="/usr/bin/quarix-render
/usr/share/bash-completion/completions/quarix-render
/usr/share/doc/quarix-render/README.md
/usr/share/doc/quarix-render/changelog.gz
/usr/share/doc/quarix-render/copyright
/usr/share/man/man1/quarix-render.1.gz"
[ "$(dpkg-deb --fsys-tarfile "$first/dist/$deb" | tar -t | grep -v '/$' | sed 's|^\.||' | sort)" = "$want_files" ] ||
  fail "the .deb does not hold exactly: $want_files"
if [ "$(id -u)" = 0 ] && ! dpkg-query -W quarix-render >/dev/null 2>&1; then
  installed=yes
  apt-get install -y -qq --no-install-recommends "$first/dist/$deb" >/dev/null 2>&1 || fail "apt-get install failed"
  render=$(command -v quarix-render)
  [ "$render" = /usr/bin/quarix-render ] || fail "quarix-render is at $render"
else
  dpkg -x "$first/dist/$deb" "$work/root"
  render=$work/root/usr/bin/quarix-render
fi
bash -n "$(dirname "$render")/../share/bash-completion/completions/quarix-render" || fail "completion: syntax"
[ "$("$render" --version)" = "quarix-render $version" ] || fail "quarix-render --version is not 'quarix-render $version'"
"$render" "$top/demo/demo.vgm" -q --raw "$work/deb.bin" -o "$work/deb.wav"
cmp "$work/deb.bin" "$work/tree.bin" || fail "the packaged quarix-render renders other frames than j27host"
cmp "$work/deb.wav" "$work/tree.wav" || fail "the packaged quarix-render writes another WAV than j27host"
echo "  installed ${installed:+with apt }and rendered the demo: the same frames and WAV as j27host"
echo "release test: passed"
