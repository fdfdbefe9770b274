#!/usr/bin/env bash
# The live keys on a terminal of its own (a pty): 2 and 5 mute two channels
# and the status line says so, the right arrow seeks on, the left one twice
# back (the second to the top), 0 unmutes and q stops. The WAV written
# meanwhile holds every frame once, in order: a prefix of the render of the
# same channels muted offline, but for the end, where the stop flushed what
# the resampler held back (up to about 1200 frames).
#
#   live_keys.sh WORK_DIR INPUT FRONTEND [ARGS...]
set -euo pipefail
work=$1 input=$2
shift 2
top=$(cd "$(dirname "$0")/../.." && pwd)
for tool in pulseaudio python3; do
  command -v "$tool" >/dev/null || { echo "$tool not installed (tools/setup.sh installs it): skipped"; exit 77; }
done
rm -rf "$work"
mkdir -p "$work"
trap 'bash "$top/tools/pulse-sink" stop "$work/pulse"' EXIT
PULSE_SERVER=$(bash "$top/tools/pulse-sink" start "$work/pulse")
export PULSE_SERVER
"$@" "$input" --mute 2,5 -o "$work/offline.wav" -q
python3 - "$work" "$@" "$input" --mute 2,5 --play -o "$work/live.wav" <<'PY'
import os, pty, select, sys, time
work, command = sys.argv[1], sys.argv[2:]

def play(keys):
    """Runs command on a pty, pressing keys; gives its exit status and what it showed."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    seen = b''
    def read(seconds):
        nonlocal seen
        end = time.time() + seconds
        while time.time() < end:
            try:
                if select.select([fd], [], [], 0.05)[0]:
                    seen += os.read(fd, 4096)
            except OSError:
                return
    read(1.5)
    for key in keys + [b'q']:
        os.write(fd, key)
        read(0.7)
    _, status = os.waitpid(pid, 0)
    return os.WEXITSTATUS(status), seen.decode(errors='replace').replace('\r', '\n')

checks = {}
status, text = play([b'\x1b[C', b'\x1b[D', b'\x1b[D'])  # on, back, back to the top
offline = open(f'{work}/offline.wav', 'rb').read()[44:]
live = open(f'{work}/live.wav', 'rb').read()[44:]
checks['seeks: exit 0'] = status == 0
flushed = 2048 * 4
checks['seeks: the live WAV a prefix of the offline one'] = (len(live) > 2 * flushed and
                                                              offline[:len(live) - flushed] == live[:-flushed])
status, text = play([b'2', b'0', b'7'])
lines = [line for line in text.split('\n') if ' / ' in line]
shown = [line.split('[muted ')[1].split(']')[0] if '[muted ' in line else '' for line in lines]
order = [m for i, m in enumerate(shown) if i == 0 or m != shown[i - 1]]
checks['keys: exit 0'] = status == 0
checks['keys: 2,5 then 5, none, 7 shown'] = order == ['2,5', '5', '', '7']
failed = [name for name, ok in checks.items() if not ok]
if failed:
    sys.exit('live keys: ' + ', '.join(failed) + f' (shown: {order})')
PY
echo "live keys: all cases pass"
