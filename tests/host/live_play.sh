#!/usr/bin/env bash
# Plays INPUT live into a private PulseAudio null sink while parec records
# the sink's monitor. The file written while playing must equal the offline
# render, and the recording must hold that render sample for sample, in
# order (tools/match_recording.py; it reports the frames lost on the way).
#
# Natively every gap in the recording is an underrun the player counted:
# at most one stretch more than its underruns, and 99 % of the frames.
# Under Wine, Wine's own audio layer drops frames where the player cannot
# see it: after a stall it skips what fell due, now and then a few frames,
# and, a few ms after the device starts, up to a second (more on a loaded
# machine); and the sound server's stream behind it runs dry, which puts
# silence in. Eight runs of the demo (31 s) on a quiet 2-core VM had 6 to
# 219 such gaps, most with no frame lost, the rest with up to a few hundred,
# while the player's own queue never ran dry. There up to ten more gaps per
# second of audio, and 95 % of the frames after that start-up skip; losing
# a frame in every block would still fail (about a hundred gaps a second).
#
#   live_play.sh WORK_DIR native|wine INPUT FRONTEND [ARGS...]
# FRONTEND ARGS is the command that renders, e.g. quarix-render or
# "wine-run j27host.exe".
set -euo pipefail
work=$1 platform=$2 input=$3
shift 3
top=$(cd "$(dirname "$0")/../.." && pwd)
for tool in parec pactl pulseaudio python3; do
  command -v "$tool" >/dev/null || { echo "$tool not installed (tools/setup.sh installs it): skipped"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"

"$@" "$input" -o "$work/offline.wav" -q

# Under Wine the prefix's server is gone, too, before the next test starts.
trap 'kill "${recorder:-}" 2>/dev/null || true; bash "$top/tools/pulse-sink" stop "$work/pulse"
      if [ -n "${WINEPREFIX:-}" ]; then timeout 60 wineserver -w || true; fi' EXIT
PULSE_SERVER=$(bash "$top/tools/pulse-sink" start "$work/pulse")
export PULSE_SERVER
parec -d quarix_null.monitor --format=s16le --rate=44100 --channels=2 --raw "$work/recording.raw" &
recorder=$!
sleep 0.5
"$@" "$input" -o "$work/live.wav" --play 2> "$work/live.err" || { cat "$work/live.err"; exit 1; }
sleep 0.5
kill "$recorder"
wait "$recorder" || true
cat "$work/live.err"

cmp "$work/offline.wav" "$work/live.wav"
underruns=$(tr -d '\r' < "$work/live.err" | sed -n 's/.*played live.*, \([0-9]*\) underruns$/\1/p')
[ -n "$underruns" ] || { echo "FAIL: no underrun count from the player"; exit 1; }
case "$platform" in
native) stretches=$((1 + underruns)) share=0.99 start_skip=0 ;;
wine)
  seconds=$(( ($(stat -c %s "$work/offline.wav") - 44) / 4 / 44100 ))
  stretches=$((1 + underruns + 10 * seconds)) share=0.95 start_skip=4410
  echo "under Wine: up to $stretches stretches ($underruns underruns, $seconds s), a share of $share" \
    "after a start-up skip within the first $start_skip frames"
  ;;
*) echo "usage: $0 WORK_DIR native|wine INPUT FRONTEND [ARGS...]"; exit 2 ;;
esac
python3 "$top/tools/match_recording.py" "$work/offline.wav" "$work/recording.raw" \
  --min-share "$share" --max-stretches "$stretches" --start-skip "$start_skip"
