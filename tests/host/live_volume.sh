#!/usr/bin/env bash
# A volume change applied through the real page mid-play shows in the
# recording at the level an offline render with that volume gives: the
# recording must follow the render at the stored settings up to a point and
# the render at the new volume after it (tools/match_recording.py --switch);
# clearing Enable later silences it from that apply on.
#
# The share of matched frames counts the audible part, up to that second
# apply, and the move must come within one attenuation write (1/60 s) of
# the first. Wine's audio layer drops frames where the player cannot see
# it (tests/host/live_play.sh): beyond the move and the underrun count, up
# to ten more gaps per second of sound, and the share counts from after
# its start-up skip.
#
# The input is a tune that writes every channel's attenuation each 1/60 s
# (tools/make_vgm.py pulsing), so the new level reaches all channels at once.
# Everything plays --exact: sample for sample, a change of level is the
# module's alone, while the clean path's high-pass would take a second to
# settle on the new offset.
#
#   live_volume.sh WORK_DIR WINE_RUN LIVE_VOLUME_TEST J27HOST QUARIX_J27
set -euo pipefail
work=$1 winerun=$2 tester=$3 host=$4 module=$5
top=$(cd "$(dirname "$0")/../.." && pwd)
for tool in parec pactl pulseaudio python3 xvfb-run; do
  command -v "$tool" >/dev/null || { echo "$tool not installed (tools/setup.sh installs it): skipped"; exit 77; }
done
volume=-20
write_gap=735  # frames between the tune's attenuation writes: 44100 / 60
rm -rf "$work"
mkdir -p "$work/before" "$work/after" "$work/live"
input=$work/pulsing.vgm
python3 "$top/tools/make_vgm.py" pulsing "$input" --seconds 16
soxr=$(dirname "$host")/libsoxr.dll
cp "$host" "$module" "$soxr" "$work/before/"
cp "$host" "$module" "$soxr" "$work/after/"
cp "$tester" "$module" "$soxr" "$work/live/"
# The file keeps the slider's offset plus 100.
stored=$((volume + 100))
printf '[QUARIX_SOUND]\r\nVolume=%s\r\nEnable=1\r\n' "$stored" > "$work/after/J27.INI"

"$winerun" "$work/before/$(basename "$host")" "$input" -o "$work/before.wav" -q --exact
"$winerun" "$work/after/$(basename "$host")" "$input" -o "$work/after.wav" -q --exact

# The GUI run starts its own Wine server, on its own display.
timeout 60 wineserver -w
trap 'kill "${recorder:-}" 2>/dev/null || true; bash "$top/tools/pulse-sink" stop "$work/pulse"
      timeout 60 wineserver -w || true' EXIT
PULSE_SERVER=$(bash "$top/tools/pulse-sink" start "$work/pulse")
export PULSE_SERVER
parec -d quarix_null.monitor --format=s16le --rate=44100 --channels=2 --raw "$work/recording.raw" &
recorder=$!
sleep 0.5
status=0
xvfb-run -a "$winerun" --wait "$work/live/$(basename "$tester")" "$input" "$work/live.wav" "$volume" 5 \
  > "$work/live.txt" 2> "$work/live.err" || status=$?
sleep 0.5
kill "$recorder"
wait "$recorder" || true
cat "$work/live.txt" "$work/live.err"
[ "$status" = 0 ] || { echo "FAIL: live_volume_test exited with $status"; exit 1; }

# The page applied what was asked, and the module kept it.
grep -q "Volume=$stored" "$work/live/J27.INI"
grep -q "Enable=0" "$work/live/J27.INI"
applied=$(sed -n 's/.* at frame \([0-9]*\),.*/\1/p' "$work/live.txt")
off=$(sed -n 's/.*sound off from frame \([0-9]*\).*/\1/p' "$work/live.txt")
underruns=$(tr -d '\r' < "$work/live.err" | sed -n 's/.*played live.*, \([0-9]*\) underruns$/\1/p')
if [ -z "$applied" ] || [ -z "$off" ] || [ -z "$underruns" ]; then
  echo "FAIL: no apply frame, sound-off frame or underrun count from live_volume_test"
  exit 1
fi
stretches=$((2 + underruns + 10 * off / 44100))
echo "under Wine: up to $stretches stretches ($underruns underruns, $((off / 44100)) s of sound)," \
  "a share of 0.95 after a start-up skip within the first 4410 frames"
# Channels take the new level at their next attenuation write: for up to
# one write gap the recording may follow neither render.
python3 "$top/tools/match_recording.py" "$work/before.wav" "$work/recording.raw" --switch "$work/after.wav" \
  --min-share 0.95 --audible-until "$off" --max-unexplained "$write_gap" --max-stretches "$stretches" \
  --start-skip 4410 \
  | tee "$work/match.txt"
# And the move comes at the moment of the apply, not before it, and by the
# next attenuation write.
switched=$(sed -n 's/.*switched at reference frame \([0-9]*\).*/\1/p' "$work/match.txt")
if [ -z "$switched" ] || [ "$switched" -lt "$applied" ] || [ "$switched" -gt $((applied + write_gap)) ]; then
  echo "FAIL: applied at frame $applied, the recording moved at frame ${switched:-?}"
  exit 1
fi
# Clearing Enable silences the sound from the frame of that apply on: the
# recording follows the render up to that frame (within a write gap, where
# the render may be silent anyway) and not past it.
last=$(sed -n 's/.*last matched reference frame \([0-9]*\).*/\1/p' "$work/match.txt")
if [ -z "$last" ] || [ "$last" -gt "$off" ] || [ "$last" -lt $((off - write_gap)) ]; then
  echo "FAIL: Enable cleared at frame $off, the recording followed the render to frame ${last:-?}"
  exit 1
fi
