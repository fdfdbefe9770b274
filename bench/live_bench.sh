#!/usr/bin/env bash
# Live playback figures on this machine, against a private PulseAudio null
# sink (tools/pulse-sink): CPU use while playing as a share of one core, for
# each corpus file and both front ends, and underruns at several latencies.
# Measures; asserts nothing.
#
#   bench/live_bench.sh QUARIX_RENDER J27HOST_EXE CORPUS_DIR [LATENCIES_MS...]
# J27HOST_EXE may be "-" to skip Wine. Default latencies: 20 50 100.
set -euo pipefail
render=$1 host=$2 corpus=$3
shift 3
[ $# -gt 0 ] && latencies=("$@") || latencies=(20 50 100)
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'bash "$top/tools/pulse-sink" stop "$work/pulse"; rm -rf "$work"' EXIT
export PULSE_SERVER=$(bash "$top/tools/pulse-sink" start "$work/pulse")

# user+system seconds, wall seconds and the underrun line of one live run.
measure() {
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" --play -q 2> "$work/err" >/dev/null || true
  end=$(date +%s.%N)
  local cpu underruns
  cpu=$(awk '{print $1 + $2}' "$work/time")
  underruns=$(sed -n 's/.*played live.*, \([0-9]*\) underruns.*/\1/p' "$work/err")
  awk -v c="$cpu" -v s="$start" -v e="$end" -v u="${underruns:-?}" \
    'BEGIN { w = e - s; printf "%7.2f s wall %7.2f s cpu %6.1f%% of a core  %s underruns\n", w, c, 100 * c / w, u }'
}

echo "== CPU while playing live (latency 75 ms)"
for f in "$corpus"/*.vg[mz]; do
  printf '%-42s native ' "$(basename "$f")"
  measure "$render" "$f"
  if [ "$host" != "-" ]; then
    printf '%-42s wine   ' ""
    measure "$top/tools/wine-run" "$host" "$f"
  fi
done

echo "== underruns of the demo by latency"
for ms in "${latencies[@]}"; do
  printf 'native %4s ms  ' "$ms"
  measure "$render" "$top/demo/demo.vgm" --latency "$ms"
  if [ "$host" != "-" ]; then
    printf 'wine   %4s ms  ' "$ms"
    measure "$top/tools/wine-run" "$host" "$top/demo/demo.vgm" --latency "$ms"
  fi
done
