#!/usr/bin/env bash
# Live playback's failures: no sound server gives one message naming what
# was tried and what to do, and a non-zero exit; a server that goes away
# while playing stops playback with a message and a non-zero exit, and the
# files written so far are complete (a WAV whose header counts its data).
#
#   live_failures.sh WORK_DIR INPUT FRONTEND [ARGS...]
set -euo pipefail
work=$1 input=$2
shift 2
top=$(cd "$(dirname "$0")/../.." && pwd)
for tool in pactl pulseaudio python3; do
  command -v "$tool" >/dev/null || { echo "$tool not installed (tools/setup.sh installs it): skipped"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
status=0

# No server at all.
if PULSE_SERVER="unix:$work/no-such-socket" "$@" "$input" --play 2> "$work/none.err" >/dev/null; then
  echo "FAIL: --play without a server succeeded"; status=1
fi
cat "$work/none.err"
grep -q "no-such-socket" "$work/none.err" || { echo "FAIL: the message does not name the server tried"; status=1; }
grep -q -- "write a file with -o instead of --play" "$work/none.err" ||
  { echo "FAIL: the message does not say what to do"; status=1; }

# A server that goes away two seconds into playback.
# Under Wine the prefix's server is gone, too, before the next test starts.
trap 'bash "$top/tools/pulse-sink" stop "$work/pulse"; if [ -n "${WINEPREFIX:-}" ]; then timeout 60 wineserver -w || true; fi' EXIT
server=$(bash "$top/tools/pulse-sink" start "$work/pulse")
PULSE_SERVER=$server "$@" "$input" --play -o "$work/cut.wav" 2> "$work/cut.err" >/dev/null &
player=$!
# Wait until the stream is playing, then stop the server.
for _ in $(seq 600); do
  PULSE_SERVER=$server pactl list short sink-inputs 2>/dev/null | grep -q . && break
  sleep 0.1
done
sleep 2
bash "$top/tools/pulse-sink" stop "$work/pulse"
if wait "$player"; then
  echo "FAIL: playback went on as if the server were there"; status=1
fi
cat "$work/cut.err"
grep -q "stopped" "$work/cut.err" || { echo "FAIL: no message that playback stopped"; status=1; }
python3 - "$work/cut.wav" <<'PY' || status=1
import struct, sys
data = open(sys.argv[1], 'rb').read()
riff, = struct.unpack_from('<I', data, 4)
size, = struct.unpack_from('<I', data, 40)
# Tags, if any, follow the samples in a LIST chunk.
tail = data[44 + size:]
ok = data[:4] == b'RIFF' and riff == len(data) - 8 and size > 0 and size % 4 == 0 and (not tail or tail[:4] == b'LIST')
print(f'{sys.argv[1]}: {size} bytes of samples, header {"consistent" if ok else "BROKEN"}')
sys.exit(0 if ok else 1)
PY
exit $status
