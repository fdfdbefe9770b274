#!/usr/bin/env python3
"""Live keys in a list, on a terminal of its own (a pseudo-terminal): a
playlist of three tones plays from the first, n goes to the second, where 1
mutes its channel and the right arrow seeks 5 s on, the status line showing
the place in the list and the muted channel throughout; p goes back to the
first and q stops the list there.

  live_keys.py WORK_DIR FRONTEND [ARGS...]

It plays into a private PulseAudio daemon of its own, stopped by its process
id at the end (tools/pulse-sink).
"""
import atexit
import os
import pty
import re
import select
import subprocess
import sys
import time

work, frontend = sys.argv[1], sys.argv[2:]
os.makedirs(work, exist_ok=True)
tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools')
make_vgm = os.path.join(tools, 'make_vgm.py')
for n in (1, 2, 3):
    subprocess.run([sys.executable, make_vgm, 'tone', os.path.join(work, f's{n}.vgm'), '--seconds', '30',
                    '--register', str(100 * n)], check=True)
playlist = os.path.join(work, 'three.m3u')
with open(playlist, 'w') as f:
    f.write('#EXTM3U\ns1.vgm\ns2.vgm\ns3.vgm\n')
pulse = os.path.join(work, 'pulse')
os.environ['PULSE_SERVER'] = subprocess.run(['bash', os.path.join(tools, 'pulse-sink'), 'start', pulse], check=True,
                                            stdout=subprocess.PIPE, text=True).stdout.strip()
atexit.register(lambda: subprocess.run(['bash', os.path.join(tools, 'pulse-sink'), 'stop', pulse]))

pid, fd = pty.fork()
if pid == 0:
    os.execvp(frontend[0], frontend + [playlist, '--play'])
out = b''


def read_until(pattern, seconds):
    """Reads the terminal until pattern shows (after what was read so far) or time is up."""
    global out
    start, end = len(out), time.time() + seconds
    while time.time() < end:
        if re.search(pattern, out[start:]):
            return True
        if select.select([fd], [], [], 0.1)[0]:
            try:
                out += os.read(fd, 4096)
            except OSError:
                break
    return re.search(pattern, out[start:]) is not None


# Each key once what it follows shows on the status line.
muted = rb'\[2/3\][^\r]*\[muted 1\]'
steps = [(rb'\[1/3\]', b'n'), (rb'\[2/3\]', b'1'), (muted, b'\x1b[C'), (rb':0[5-9] / [^\r]*' + muted, b'p'),
         (rb'\[1/3\]', b'q')]
unseen = []
for shown, key in steps:
    if not read_until(shown, 60):
        unseen.append(shown.decode())
    time.sleep(0.5)
    os.write(fd, key)
read_until(rb'3 files: [^\n]*\n', 60)
_, status = os.waitpid(pid, 0)
lines = [line.split('\r')[-1] for line in out.decode(errors='replace').replace('\r\n', '\n').split('\n')]
played = [re.sub(r':.*', '', os.path.basename(line)) for line in lines if re.match(r'.*s\d\.vgm: ', line)]
total = [line for line in lines if line.startswith('3 files:')]
ok = played == ['s1.vgm', 's2.vgm', 's1.vgm'] and total == ['3 files: 2 played, 0 failed, 1 not played'] and not unseen
print(f'played {played}, {total}, not shown {unseen}, exit {os.waitstatus_to_exitcode(status)}')
sys.exit(0 if ok and os.waitstatus_to_exitcode(status) == 0 else 1)
