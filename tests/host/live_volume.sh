#!/usr/bin/env bash
# A volume change applied through the real page mid-play shows in the
# recording at the level an offline render with that volume gives: the
# recording must follow the render at the stored settings up to a point and
# the render at the new volume after it (tools/match_recording.py --switch);
# clearing Enable later silences it from that apply on.
#
# The input is a tune that writes every channel's attenuation each 1/60 s
# (tools/make_vgm.py pulsing), so the new level reaches all channels at once.
# Everything plays --exact: sample for sample, a change of level is the
# module's alone, while the clean path's high-pass would take a second to
# settle on the new offset.
#
#   live_volume.sh PULSE_DIR WORK_DIR WINE_RUN LIVE_VOLUME_TEST J27HOST QUARIX_J27
set -eu
pulse=$1 work=$2 winerun=$3 tester=$4 host=$5 module=$6
top=$(cd "$(dirname "$0")/../.." && pwd)
volume=-20
PULSE_SERVER=$(cat "$pulse/server")
export PULSE_SERVER
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
wineserver -w || true
parec -d quarix_null.monitor --format=s16le --rate=44100 --channels=2 --raw "$work/recording.raw" &
recorder=$!
trap 'kill "$recorder" 2>/dev/null || true; wineserver -w || true' EXIT
sleep 0.5
xvfb-run -a "$winerun" "$work/live/$(basename "$tester")" "$input" "$work/live.wav" "$volume" 5 | tee "$work/live.txt"
sleep 0.5
kill "$recorder"
wait "$recorder" || true

# The page applied what was asked, and the module kept it.
grep -q "Volume=$stored" "$work/live/J27.INI"
grep -q "Enable=0" "$work/live/J27.INI"
# Channels take the new level at their next attenuation write: for up to
# 1/60 s the recording may follow neither render.
python3 "$top/tools/match_recording.py" "$work/before.wav" "$work/recording.raw" --switch "$work/after.wav" \
  --min-share 0.4 --max-unexplained 735 | tee "$work/match.txt"
# And the move comes at the moment of the apply, not before it, and within
# the next attenuation write (a dropped block may hide a little more).
applied=$(sed -n 's/.* at frame \([0-9]*\),.*/\1/p' "$work/live.txt")
switched=$(sed -n 's/.*switched at reference frame \([0-9]*\).*/\1/p' "$work/match.txt")
if [ -z "$applied" ] || [ -z "$switched" ] || [ "$switched" -lt "$applied" ] || [ "$switched" -gt $((applied + 44100)) ]; then
  echo "FAIL: applied at frame ${applied:-?}, the recording moved at frame ${switched:-?}"
  exit 1
fi
# Clearing Enable silences the sound from the frame of that apply on: the
# recording follows the render up to that frame (within a second, for a
# dropped block) and not past it.
off=$(sed -n 's/.*sound off from frame \([0-9]*\).*/\1/p' "$work/live.txt")
last=$(sed -n 's/.*last matched reference frame \([0-9]*\).*/\1/p' "$work/match.txt")
if [ -z "$off" ] || [ -z "$last" ] || [ "$last" -gt "$off" ] || [ "$last" -lt $((off - 44100)) ]; then
  echo "FAIL: Enable cleared at frame ${off:-?}, the recording followed the render to frame ${last:-?}"
  exit 1
fi
