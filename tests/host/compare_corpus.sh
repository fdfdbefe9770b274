#!/usr/bin/env bash
# Renders every file of the VGM corpus with quarix-render (the device linked
# in) and with j27host.exe under Wine (the real Quarix.j27), and compares the
# exact path's raw 32-bit output and the clean path's WAV byte for byte.
# Looped files play on with a short fade, which follows the unfaded render
# and is integer arithmetic on both sides.
#
#   compare_corpus.sh QUARIX_RENDER J27HOST_EXE CORPUS_DIR WORK_DIR WINE_RUN
#
# A missing corpus or front end fails the test: it never skips.
set -euo pipefail
render=$1 host=$2 corpus=$3 work=$4 winerun=$5
module=$(dirname "$host")/Quarix.j27
for program in "$render" "$host" "$module"; do
  [ -f "$program" ] || { echo "FAIL: no $program (build the native and the win32 preset)"; exit 1; }
done
[ -d "$corpus" ] || { echo "FAIL: no corpus directory $corpus (the clone's sibling shared/corpus)"; exit 1; }
files=$(find "$corpus" -maxdepth 1 -type f \( -name '*.vgm' -o -name '*.vgz' \) | sort)
[ -n "$files" ] || { echo "FAIL: no VGM files in $corpus"; exit 1; }
rm -rf "$work"
mkdir -p "$work"

speed() {  # the speed figure from a summary (on standard error)
  sed -n 's/.*: \([0-9.]*\) x real time.*/\1/p' "$1"
}

status=0
for f in $files; do
  name=$(basename "$f")
  if ! "$render" "$f" --fade 2 --raw "$work/$name.native.bin" --exact > "$work/$name.native.txt" \
       2> "$work/$name.native.err" ||
     ! "$render" "$f" --fade 2 -o "$work/$name.native.wav" 2> "$work/$name.native.clean.err"; then
    echo "FAIL native: $name"; cat "$work/$name.native.err" "$work/$name.native.clean.err"; status=1
  fi
done
[ $status -eq 0 ] || exit 1
echo "native: all $(echo "$files" | wc -l) files rendered"

# A private copy, so the module's J27.INI is fresh: default volume and enabled.
mkdir -p "$work/j27"
cp "$host" "$module" "$(dirname "$host")/libsoxr.dll" "$work/j27/"
printf '%-40s %10s %12s %12s %12s %12s\n' file seconds native_x wine_x clean_native clean_wine
for f in $files; do
  name=$(basename "$f")
  if ! "$winerun" "$work/j27/$(basename "$host")" "$f" --fade 2 --raw "$work/$name.wine.bin" --exact \
       > "$work/$name.wine.txt" 2> "$work/$name.wine.err" ||
     ! "$winerun" "$work/j27/$(basename "$host")" "$f" --fade 2 -o "$work/$name.wine.wav" \
       2> "$work/$name.wine.clean.err"; then
    echo "FAIL wine: $name"; cat "$work/$name.wine.err" "$work/$name.wine.clean.err"; status=1; continue
  fi
  for kind in bin wav; do
    if ! cmp -s "$work/$name.native.$kind" "$work/$name.wine.$kind"; then
      echo "FAIL differ: $name.$kind ($(cmp "$work/$name.native.$kind" "$work/$name.wine.$kind" 2>&1 | head -1))"
      status=1
    fi
  done
  seconds=$(sed -n 's/.*: \([0-9.]*\) s at .*/\1/p' "$work/$name.native.err")
  printf '%-40s %10s %12s %12s %12s %12s\n' "$name" "$seconds" "$(speed "$work/$name.native.err")" \
    "$(speed "$work/$name.wine.err")" "$(speed "$work/$name.native.clean.err")" "$(speed "$work/$name.wine.clean.err")"
done
if [ $status -eq 0 ]; then echo "corpus: native and Win32 outputs identical, exact and clean"; fi
exit $status
