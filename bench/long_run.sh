#!/usr/bin/env bash
# A day of emulated audio through the real library in one run of j27host.exe
# under Wine: the frame count must come out exact and the process's memory
# must stay flat. The port script is generated here (about 9 MB), never kept.
#
#   bench/long_run.sh [HOURS]        default 24; the win32 preset's build
#
# Prints the wall time, the frames, and the host process's resident memory
# (VmRSS of the emulator running it, sampled every second): its first
# sample after the first fifth of the run, its last, and the largest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
hours=${1:-24}
rate=44100
bin=$top/build/win32/bin
[ -f "$bin/j27host.exe" ] && [ -f "$bin/Quarix.j27" ] || {
  echo "build the win32 preset first (j27host.exe and Quarix.j27 in $bin)" >&2
  exit 2
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
script=$work/day.ports

# Every second: a new pitch on one tone channel of each chip, a volume step,
# and every fourth second a noise change, written between two half-second
# mixes so that writes land inside the audio. Bytes are written to the ports
# bit-reversed, as the device takes them.
python3 - "$hours" "$rate" "$script" <<'PY'
import sys
hours, rate, path = float(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
seconds = int(hours * 3600)
rev = [int(f"{b:08b}"[::-1], 2) for b in range(256)]
periods = [254, 190, 127, 339, 285, 226, 169, 113, 1016, 761]
with open(path, "w") as f:
    f.write(f"rate {rate}\n")
    first = rate // 2
    for s in range(seconds):
        for port, chip in ((0xAC, 0), (0xAF, 1)):
            ch = (s + chip) % 3
            p = periods[(s * 7 + chip * 3) % len(periods)]
            for b in (0x80 | ch << 5 | (p & 0xF), (p >> 4) & 0x3F, 0x90 | ch << 5 | (4 + (s + chip) % 12)):
                f.write(f"out 0x{port:X} {rev[b]}\n")
        f.write(f"mix {first}\n")
        if s % 4 == 0:
            f.write(f"out 0xAC {rev[0xE0 | (s // 4) % 8]}\nout 0xAC {rev[0xF0 | (s // 4) % 16]}\n")
        f.write(f"mix {rate - first}\n")
PY
expected=$(python3 -c "print(int($hours * 3600) * $rate)")
echo "script: $(du -h "$script" | cut -f1), $expected frames expected"

# Wine runs the host in an emulator process whose command line names the
# script; its VmRSS is sampled until the run ends.
tag=$(basename "$work")
start=$(date +%s)
"$top/tools/wine-run" "$bin/j27host.exe" "Z:$script" >"$work/out" 2>"$work/err" &
runner=$!
: >"$work/rss"
pid=
while kill -0 "$runner" 2>/dev/null; do
  if [ -z "$pid" ]; then
    for candidate in $(pgrep -f "j27host.exe .*$tag"); do
      [ "$(cat "/proc/$candidate/comm" 2>/dev/null)" = bash ] || pid=$candidate
    done
  fi
  if [ -n "$pid" ]; then
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$rss" ] && echo "$(($(date +%s) - start)) $rss" >>"$work/rss"
  fi
  sleep 1
done
status=0
wait "$runner" || status=$?
wall=$(($(date +%s) - start))
cat "$work/err"
[ "$status" = 0 ] || { echo "j27host failed ($status)" >&2; exit 1; }

# The summary goes to standard error.
frames=$(tr -d '\r' <"$work/err" | sed -n 's/^ *\([0-9]*\) frames$/\1/p')
samples=$(wc -l <"$work/rss")
# Memory after the first fifth of the run (the script parsed, buffers
# grown) against the end: flat means the last sample is no larger than the
# first, give or take a few pages.
read -r first last peak < <(awk -v skip="$((samples / 5))" 'NR > skip { if (!f) f = $2; l = $2; if ($2 > p) p = $2 } END { print f + 0, l + 0, p + 0 }' "$work/rss")
echo "wall time: ${wall} s for ${hours} h of audio"
echo "frames: ${frames:-none} (expected $expected)"
echo "host VmRSS after warm-up: first ${first} KiB, last ${last} KiB, peak ${peak} KiB ($samples samples)"
fail=0
[ "$frames" = "$expected" ] || { echo "FAIL: frame count" >&2; fail=1; }
[ "$samples" -ge 10 ] || { echo "FAIL: too few memory samples" >&2; fail=1; }
[ $((last - first)) -le 1024 ] || { echo "FAIL: memory grew by $((last - first)) KiB" >&2; fail=1; }
exit $fail
