#!/usr/bin/env bash
# Plays INPUT live into the private PulseAudio null sink while parec records
# the sink's monitor. The file written while playing must equal the offline
# render, and the recording must hold that render sample for sample, in
# order (tools/match_recording.py; it reports the frames lost on the way).
#
#   live_play.sh PULSE_DIR WORK_DIR INPUT FRONTEND [ARGS...]
# FRONTEND ARGS is the command that renders, e.g. quarix-render or
# "wine-run j27host.exe".
set -eu
pulse=$1 work=$2 input=$3
shift 3
top=$(cd "$(dirname "$0")/../.." && pwd)
PULSE_SERVER=$(cat "$pulse/server")
export PULSE_SERVER
rm -rf "$work"
mkdir -p "$work"

"$@" "$input" -o "$work/offline.wav" -q

parec -d quarix_null.monitor --format=s16le --rate=44100 --channels=2 --raw "$work/recording.raw" &
recorder=$!
# Under Wine the prefix's server is gone, too, before the next test starts.
trap 'kill "$recorder" 2>/dev/null || true; if [ -n "${WINEPREFIX:-}" ]; then wineserver -w || true; fi' EXIT
sleep 0.5
"$@" "$input" -o "$work/live.wav" --play 2> "$work/live.err" || { cat "$work/live.err"; exit 1; }
sleep 0.5
kill "$recorder"
wait "$recorder" || true
cat "$work/live.err"

cmp "$work/offline.wav" "$work/live.wav"
python3 "$top/tools/match_recording.py" "$work/offline.wav" "$work/recording.raw" --min-share 0.5
