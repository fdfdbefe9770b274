#!/usr/bin/env bash
# What a whole run costs, VGM reader to WAV writer, over a directory of VGMs:
# instructions per output frame by callgrind (RenderOne inclusive, so the
# program's start-up is left out), for the exact path and the clean one, and
# the device's share of them (its Mix, both chips); then the clean path's
# speed in times real time, from the summaries' own timing (the sum of the
# audio over the sum of the render times). Measures; asserts nothing.
#
#   bench/pipeline_cost.sh QUARIX_RENDER CORPUS_DIR [RATE]
# QUARIX_RENDER: a release build (cmake --preset release). RATE: 44100.
set -eu
render=$1 corpus=$2 rate=${3:-44100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# glibc's rep stosb would be charged one instruction per byte.
export GLIBC_TUNABLES=glibc.cpu.x86_rep_stosb_threshold=4294967295

# inclusive Ir of the function matching $2 in callgrind output $1
ir() {
  callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v f="$2" 'index($0, f) { gsub(",", "", $1); print $1; exit }'
}

printf '%-40s %10s %10s %8s %10s %8s\n' file frames exact device clean device
total_frames=0 total_exact=0 total_clean=0 total_chips_exact=0 total_chips_clean=0
for f in "$corpus"/*.vg[mz]; do
  name=$(basename "$f")
  for path in exact clean; do
    flag=$([ $path = exact ] && echo --exact || true)
    valgrind --tool=callgrind --callgrind-out-file="$work/$path.out" \
      "$render" "$f" -o "$work/out.wav" --rate "$rate" -q $flag > /dev/null 2>&1
    eval "${path}_ir=$(ir "$work/$path.out" 'RenderOne(')"
    eval "${path}_chips=$(ir "$work/$path.out" 'Quarix::Mix(')"
  done
  frames=$(( ($(stat -c %s "$work/out.wav") - 44) / 4 ))
  awk -v n="$name" -v fr="$frames" -v e="$exact_ir" -v ec="$exact_chips" -v c="$clean_ir" -v cc="$clean_chips" \
    'BEGIN { printf "%-40s %10d %10.1f %8.1f %10.1f %8.1f\n", n, fr, e / fr, ec / fr, c / fr, cc / fr }'
  total_frames=$((total_frames + frames))
  total_exact=$((total_exact + exact_ir)) total_clean=$((total_clean + clean_ir))
  total_chips_exact=$((total_chips_exact + exact_chips)) total_chips_clean=$((total_chips_clean + clean_chips))
done
awk -v fr="$total_frames" -v e="$total_exact" -v ec="$total_chips_exact" -v c="$total_clean" \
  -v cc="$total_chips_clean" 'BEGIN { printf "%-40s %10d %10.1f %8.1f %10.1f %8.1f\n", "all", fr, e / fr, ec / fr, c / fr, cc / fr }'

echo "== the clean path's speed (three rounds, the median): audio over render time, and over CPU time"
for round in 1 2 3; do
  audio=0 wall=0 cpu=0
  for f in "$corpus"/*.vg[mz]; do
    /usr/bin/time -f '%U %S' -o "$work/time" "$render" "$f" -o "$work/out.wav" --rate "$rate" 2> "$work/err" > /dev/null
    line=$(sed -n 's/.*rendered in \([0-9.]*\) s: \([0-9.]*\) x real time.*/\1 \2/p' "$work/err")
    read -r seconds speed <<< "$line"
    audio=$(awk -v a="$audio" -v s="$seconds" -v x="$speed" 'BEGIN { print a + s * x }')
    wall=$(awk -v w="$wall" -v s="$seconds" 'BEGIN { print w + s }')
    cpu=$(awk -v c="$cpu" -v t="$(cat "$work/time")" 'BEGIN { split(t, v, " "); print c + v[1] + v[2] }')
  done
  awk -v a="$audio" -v w="$wall" -v c="$cpu" 'BEGIN { printf "%.1f %.1f %.1f\n", a / w, a / c, a }'
done | sort -n | awk '{ x[NR] = $1; y[NR] = $2; a = $3 } END {
  printf "%.1f s of audio: %s x real time (rounds %s, %s, %s); %s x over CPU time\n", a, x[2], x[1], x[2], x[3], y[2] }'
