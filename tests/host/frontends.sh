#!/usr/bin/env bash
# The command line of both front ends end to end: '-' as standard output, a
# batch with a bad input, muted channels, --start, stems, a playlist with a
# missing entry, FLAC and WAV files with the song's tags, and a port script
# that changes rate mid-stream,
# which must come out of quarix-render (device linked in) and j27host.exe
# (the real Quarix.j27 under Wine) bit for bit alike; so must the demo's
# clean WAV and the chips' frames beside it. Also j27host settings without a
# display.
#
#   frontends.sh QUARIX_RENDER J27HOST_EXE DEMO_VGM WORK_DIR WINE_RUN
#
# Both halves always run: a missing front end fails the test.
set -euo pipefail
render=$1 host=$2 demo=$3 work=$4 winerun=$5
module=$(dirname "$host")/Quarix.j27
for program in "$render" "$host" "$module"; do
  [ -f "$program" ] || { echo "FAIL: no $program (build the native and the win32 preset)"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
status=0
fail() { echo "FAIL: $*"; status=1; }

# Both chips, tone and noise, three rates: every rate line after the first
# mix resets both chips, so the voices are set up again after each.
voices='out 0xAC 0x71
out 0xAC 0xF0
out 0xAC 0x09
out 0xAF 0x31
out 0xAF 0x00
out 0xAF 0x0D
out 0xAF 0x27
out 0xAF 0x0F'
{
  echo "rate 44100"; echo "$voices"; echo "mix 1000"; echo "mix 37"
  echo "rate 22050"; echo "mix 5"; echo "$voices"; echo "mix 700"
  echo "out 0x108 0"; echo "rate 48000"; echo "$voices"; echo "mix 1200"
} > "$work/rates.qps"
printf 'rate 8000\nout 0xAC 0x71\nout 0xAC 0xF0\nout 0xAC 0x09\nmix 800\n' > "$work/tone.qps"
printf 'mix 1\nplay 2\n' > "$work/bad.qps"
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/../../tools/make_vgm.py" tone "$work/tagged.vgm" --seconds 1.5 --tag track=$'Th\u00e9me' --tag game=Game \
  --tag author=Author --tag date=1990 --tag notes=$'Line 1\r\nLine 2' --tag system=System --tag ripper=Ripper
mkdir -p "$work/lists"
printf '#EXTM3U\n../tone.qps\n\n#EXTINF:1,gone\nnowhere.vgm\n%s\n' "$demo" > "$work/lists/set.m3u"

# The demo with every attenuation latch of channels 2 (chip 0) and 7 (chip 1)
# edited to 15: what --mute 2,7 must render.
python3 - "$demo" "$work/muted.vgm" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = 0x34 + struct.unpack_from('<I', data, 0x34)[0]
targets = {(0x50, 3), (0x30, 5)}  # (write command, register): channel 2 of chip 0, 7 of chip 1
while data[at] != 0x66:
    command = data[at]
    if command in (0x30, 0x50):
        value = data[at + 1]
        if value & 0x80 and (command, (value >> 4) & 7) in targets:
            data[at + 1] = value | 0x0F
        at += 2
    elif command == 0x61:
        at += 3
    elif command in (0x62, 0x63) or 0x70 <= command <= 0x7F:
        at += 1
    else:
        sys.exit(f'command {command:#x} at {at:#x}: not in the demo')
open(sys.argv[2], 'wb').write(data)
PY

# check NAME RUN...: RUN is the front end with its arguments; files land in $work/NAME.
check() {
  local name=$1; shift
  local out=$work/$name
  mkdir -p "$out"
  "$@" "$work/rates.qps" --raw "$out/rates.bin" 2> "$out/file.err" || fail "$name: --raw to a file"
  "$@" "$work/rates.qps" --raw - > "$out/stdout.bin" 2> "$out/stdout.err" || fail "$name: --raw -"
  cmp -s "$out/rates.bin" "$out/stdout.bin" || fail "$name: --raw - differs from the file"
  [ "$(stat -c %s "$out/stdout.bin")" -eq $(( (1037 + 705 + 1200) * 8 )) ] || fail "$name: raw length"
  grep -q "s at 44100 Hz" "$out/stdout.err" || fail "$name: no summary on standard error"
  if "$@" "$work/rates.qps" -o "$out/rates.wav" 2> "$out/wav.err"; then fail "$name: WAV of a rate change written"; fi
  grep -q "line 12: the rate changes after the first mix" "$out/wav.err" || fail "$name: $(cat "$out/wav.err")"
  [ ! -e "$out/rates.wav" ] || fail "$name: refused WAV left behind"

  # A link is written through and stays a link; a FIFO is written in place.
  echo old > "$out/target.bin"
  ln -s target.bin "$out/link.bin"
  mkfifo "$out/fifo"
  timeout 120 cat "$out/fifo" > "$out/fifo.bin" &  # bounded: a writer that never opens it must not hang the test
  local reader=$!
  "$@" "$work/tone.qps" --raw "$out/link.bin" -q || fail "$name: --raw through a link"
  "$@" "$work/tone.qps" --raw "$out/fifo" -q || fail "$name: --raw into a FIFO"
  wait $reader || fail "$name: the FIFO's reader"
  [ -L "$out/link.bin" ] && [ "$(stat -c %s "$out/target.bin")" -eq 6400 ] || fail "$name: link replaced"
  [ -p "$out/fifo" ] && [ "$(stat -c %s "$out/fifo.bin")" -eq 6400 ] || fail "$name: FIFO replaced"

  if "$@" "$work/tone.qps" "$work/bad.qps" "$demo" -d "$out/batch" --raw > "$out/batch.out" 2> "$out/batch.err"; then
    fail "$name: a batch with a bad input exited 0"
  fi
  for f in tone.wav tone.bin demo.wav demo.bin; do
    [ -s "$out/batch/$f" ] || fail "$name: batch did not write $f"
  done
  [ ! -e "$out/batch/bad.wav" ] || fail "$name: batch wrote the bad input"
  grep -q "bad.qps: line 2" "$out/batch.err" || fail "$name: bad input not named"
  grep -q "3 files: 2 written, 1 failed" "$out/batch.err" || fail "$name: no total"
  [ "$(wc -l < "$out/batch.err")" -eq 4 ] || fail "$name: batch lines: $(cat "$out/batch.err")"

  "$@" "$demo" --mute 2,7 -q -o "$out/mute.wav" --raw "$out/mute.bin" || fail "$name: --mute"
  "$@" "$work/muted.vgm" -q -o "$out/edited.wav" --raw "$out/edited.bin" || fail "$name: the edited demo"
  cmp -s "$out/mute.bin" "$out/edited.bin" && cmp -s "$out/mute.wav" "$out/edited.wav" ||
    fail "$name: --mute 2,7 differs from the demo with their attenuations edited to 15"

  # --start: the whole render's frames from there on, in the WAV and the chips' 249600 Hz frames.
  "$@" "$demo" --start 12.5 -q -o "$out/start.wav" --raw "$out/start.bin" || fail "$name: --start"
  cmp -s <(tail -c +$((44 + 1 + 551250 * 4)) "$out/batch/demo.wav") <(tail -c +45 "$out/start.wav") &&
    [ $(($(stat -c %s "$out/batch/demo.bin") - $(stat -c %s "$out/start.bin"))) -eq $((3120000 * 8)) ] &&
    cmp -s <(tail -c "$(stat -c %s "$out/start.bin")" "$out/batch/demo.bin") "$out/start.bin" ||
    fail "$name: --start 12.5 is not the whole render from 12.5 s"

  # --stems: one file per channel that sounds (all eight in the demo); the chips' frames add up to the mix.
  "$@" "$demo" --stems -q -o "$out/stem.wav" --raw "$out/stem.bin" || fail "$name: --stems"
  python3 - "$out/stem" <<'PY' || fail "$name: the stems do not add up to the mix"
import array, sys
def load(path):
    a = array.array('i'); a.frombytes(open(path, 'rb').read()); return a
mix = load(sys.argv[1] + '.bin')
stems = [load(f'{sys.argv[1]}-{k}.bin') for k in range(1, 9)]
sys.exit(any(sum(s[i] for s in stems) != mix[i] for i in range(0, len(mix), 7)))  # every 7th sample, for time
PY

  "$@" "$work/tagged.vgm" -o "$out/tagged.wav" -q || fail "$name: tagged WAV"
  "$@" "$work/tagged.vgm" -o "$out/tagged.flac" -q || fail "$name: FLAC"
  "$@" "$work/tagged.vgm" -o - --format flac -q > "$out/stream.flac" || fail "$name: FLAC to standard output"
  for f in tagged.flac stream.flac; do
    python3 "$here/sound_file.py" "$out/tagged.wav" "$out/$f" || fail "$name: $f"
  done

  # The entries that are there are written; the missing one is named and fails the run.
  if "$@" "$work/lists/set.m3u" -d "$out/list" --format flac > /dev/null 2> "$out/list.err"; then
    fail "$name: a playlist with a missing entry exited 0"
  fi
  for f in tone demo; do
    flac -t -s "$out/list/$f.flac" || fail "$name: playlist entry $f"
  done
  [ "$(ls "$out/list" | wc -l)" -eq 2 ] || fail "$name: playlist outputs: $(ls "$out/list")"
  grep -q "lists/nowhere.vgm: cannot open" "$out/list.err" || fail "$name: missing entry not named"
  grep -q "3 files: 2 written, 1 failed" "$out/list.err" || fail "$name: playlist: $(cat "$out/list.err")"
}

check native "$render"
check native-j1 "$render" -j 1
cmp -s "$work/native/batch/demo.bin" "$work/native-j1/batch/demo.bin" || fail "parallel and serial batches differ"
if [ $status -eq 0 ]; then echo "native: all cases pass"; fi

# A private copy, so the module's J27.INI is fresh: default volume and enabled.
mkdir -p "$work/j27"
cp "$host" "$module" "$(dirname "$host")/libsoxr.dll" "$work/j27/"
check wine "$winerun" "$work/j27/$(basename "$host")"
for f in rates.bin batch/demo.bin batch/demo.wav batch/tone.bin batch/tone.wav mute.bin mute.wav start.wav stem-3.wav \
    tagged.wav; do
  cmp -s "$work/native/$f" "$work/wine/$f" || fail "native and Win32 differ: $f"
done
# A prefix of its own: no Wine process of another test with a display is shared.
if WINEPREFIX="$work/nodisplay-prefix" timeout 300 env -u DISPLAY \
     "$winerun" "$work/j27/$(basename "$host")" settings > "$work/settings.out" 2>&1; then
  fail "j27host settings without a display exited 0"
fi
WINEPREFIX="$work/nodisplay-prefix" timeout 60 wineserver -w || true
grep -q "no display" "$work/settings.out" || fail "settings: $(cat "$work/settings.out")"
if [ $status -eq 0 ]; then echo "Win32: all cases pass, outputs identical to the native ones"; fi
exit $status
