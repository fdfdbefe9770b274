#!/usr/bin/env bash
# Renders a fixed set of cases through one front end and writes one line per
# output: the case, its exit status and the sha256 of what it wrote (raw
# frames, WAV, --info text, and the messages without the timing line). Run it
# on two builds and diff the lists to show that a change kept every byte.
# The exact path's cases pass --exact wherever a VGM would otherwise play
# clean (a WAV, --info's lines on it); the clean path's come last.
#
#   raw-digests.sh LIST WORK_DIR CORPUS_DIR FRONT_END...
#
# FRONT_END is the program with any runner before it, e.g.
#   tools/raw-digests.sh before.txt /tmp/d /work/corpus build/native/bin/quarix-render
#   tools/raw-digests.sh wine.txt /tmp/w /work/corpus env WINEPREFIX=/tmp/w-prefix tools/wine-run /tmp/j27/j27host.exe
# For j27host, give a private copy beside Quarix.j27, so its J27.INI is fresh,
# and a prefix (a copy outside a build tree has none of its own).
set -euo pipefail
list=$1 work=$2 corpus=$3
shift 3
top=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$work"
mkdir -p "$work/in" "$work/out"
: > "$list"

sum() { if [ -e "$1" ]; then sha256sum < "$1" | cut -c1-64; else echo none; fi; }

fe=("$@")
# run NAME ARGS...: one run of the front end; outputs are named after the case.
run() {
  local name=$1; shift
  local raw=$work/out/$name.bin wav=$work/out/$name.wav info=$work/out/$name.txt err=$work/out/$name.err
  local rc=0
  "${fe[@]}" "$@" > "$info" 2> "$err.full" || rc=$?
  # Parallel renders of a batch finish in any order: their lines are sorted.
  grep -v -e 'rendered in .* real time' "$err.full" | sort > "$err" || true
  printf '%-44s rc=%s raw=%s wav=%s out=%s err=%s\n' "$name" "$rc" "$(sum "$raw")" "$(sum "$wav")" \
    "$(sum "$info")" "$(sum "$err")" >> "$list"
  rm -f "$raw" "$wav" "$err.full"
}
# render NAME INPUT ARGS...: the raw frames of one input.
render() {
  local name=$1 input=$2; shift 2
  run "$name" "$input" --raw "$work/out/$name.bin" "$@"
}

# Port scripts: every port the device lists and one it does not, rate lines
# before and after the first mix, the chip-rate extremes, long and empty mixes.
voices() {
  printf 'out 0xAC 0x%s\n' 71 F0 09 E4 3C 1F 8D 44
  printf 'out 0xAF 0x%s\n' 31 00 0D 27 0F A3 C0 E7
}
{ echo "rate 44100"; voices; echo "mix 1000"; echo "mix 37"
  echo "rate 22050"; echo "mix 5"; voices; echo "mix 700"
  echo "out 0x108 0"; echo "rate 48000"; voices; echo "mix 1200"; } > "$work/in/rates.qps"
{ echo "rate 32000"; voices; echo "out 0xAE 0x55"; echo "mix 300"; echo "out 0x10 0x99"; echo "mix 300"
  echo "out 0x108 0x12"; echo "mix 300"; voices; echo "out 0x1AC 0x80"; echo "mix 0"; echo "mix 16384"
  echo "mix 40000"; } > "$work/in/ports.qps"
{ echo "rate 4"; voices; echo "mix 50"; echo "rate 3997381"; voices; echo "mix 70000"
  echo "rate 1000"; voices; echo "mix 16383"; } > "$work/in/extremes.qps"
{ voices; echo "mix 4410"; } > "$work/in/norate.qps"
# Random writes to both chips between mixes of random length, rate lines now
# and then: a fixed linear congruential sequence, the same on every machine.
for seed in 1 2 3; do
  awk -v seed="$seed" 'BEGIN {
    s = seed; srand(0)
    for (i = 0; i < 400; ++i) {
      s = (s * 1103515245 + 12345) % 2147483648; r = int(s / 65536)
      k = r % 16
      if (k < 10) printf "out 0x%X 0x%02X\n", (r % 2 ? 175 : 172), int(r / 16) % 256
      else if (k < 14) printf "mix %d\n", int(r / 16) % 3000
      else if (k == 14) printf "out 0xAE 0x%02X\n", int(r / 16) % 256
      else if (i % 3 == 0) printf "rate %d\n", 8000 + int(r / 16) % 90000
      else printf "out 0x108 0\n"
    }
  }' > "$work/in/random$seed.qps"
done
printf 'mix 1\nplay 2\n' > "$work/in/bad.qps"

for f in "$work"/in/*.qps "$top"/fuzz/corpus/vgm_fuzz/*; do
  n=$(basename "$f")
  render "$n" "$f"
  run "$n.info" --info "$f" --exact
done
render norate.qps.768000 "$work/in/norate.qps" --rate 768000
render norate.qps.11025 "$work/in/norate.qps" --rate 11025
run rates.qps.wav "$work/in/rates.qps" -o "$work/out/rates.qps.wav.wav"
run norate.qps.both "$work/in/norate.qps" -o "$work/out/norate.qps.both.wav" --raw "$work/out/norate.qps.both.bin"

demo=$top/demo/demo.vgm
run demo.both "$demo" -o "$work/out/demo.both.wav" --raw "$work/out/demo.both.bin" --exact
for rate in 1000 8000 22050 48000 96000; do
  render "demo.$rate" "$demo" --rate "$rate"
done
render demo.nofix "$demo" --no-pitch-fix --rate 32000
run demo.stdout "$demo" --raw - --rate 768000 -q

for f in "$corpus"/*.vgm "$corpus"/*.vgz; do
  [ -e "$f" ] || continue
  n=$(basename "$f")
  run "$n.both" "$f" -o "$work/out/$n.both.wav" --raw "$work/out/$n.both.bin" --exact
  render "$n.fade" "$f" --loops 2 --fade 2.5
  render "$n.22050" "$f" --rate 22050 --fade 1
  render "$n.nofix" "$f" --rate 96000 --no-pitch-fix --loops 3
  run "$n.wav8000" "$f" -o "$work/out/$n.wav8000.wav" --rate 8000 --fade 0.5 --exact
  run "$n.info" --info "$f" --exact
done

# A batch into a directory, with a bad input among the good ones.
batch=$work/out/batch
run batch "$work/in/rates.qps" "$work/in/bad.qps" "$demo" "$corpus/coleco_sfx_jump_v101.vgm" \
  -d "$batch" --raw --exact
for f in "$batch"/*.wav "$batch"/*.bin; do
  [ -e "$f" ] || continue
  printf '%-44s %s\n' "batch/$(basename "$f")" "$(sum "$f")" >> "$list"
done

# The clean path: WAVs (with the chips' own frames beside them), --info.
run demo.clean "$demo" -o "$work/out/demo.clean.wav" --raw "$work/out/demo.clean.bin"
run demo.clean.48000 "$demo" -o "$work/out/demo.clean.48000.wav" --rate 48000 --no-pitch-fix
for f in "$corpus"/*.vgm "$corpus"/*.vgz; do
  [ -e "$f" ] || continue
  n=$(basename "$f")
  run "$n.clean" "$f" -o "$work/out/$n.clean.wav" --fade 1
  run "$n.clean.info" --info "$f"
done
echo "$(wc -l < "$list") digests in $list"
