#!/usr/bin/env bash
# Fold-back and offset, the exact path against the clean one: single tones at
# full volume (period registers 1, 4, 16 and 254) and white noise at shift
# rates 0 to 3, logged at the chips' own 3993600 Hz, rendered to 44100 Hz WAVs
# and measured from the first second on (wav_bands, Kaiser window, power
# averaged). For a tone: the largest component from 20 Hz to 20 kHz that is
# not one of its harmonics. For noise, whose own spectrum fills the band,
# the largest level at the nulls of its sinc^2 spectrum (the multiples of its
# shift rate, within 2 bins of 0.17 Hz over 30 s), where only fold-back lies. Offset: the mean,
# in 16-bit steps. Measures; asserts nothing.
#
#   bench/clean_foldback.sh QUARIX_RENDER WAV_BANDS
set -eu
render=$1 spectrum=$2
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clock=3993600
tick=$((clock / 16))

# measure NAME OPTIONS...: "level at frequency | offset" of one render
measure() {
  local vgm=$1 path=$2
  shift 2
  local flag
  flag=$([ "$path" = exact ] && echo --exact || true)
  "$render" "$vgm" -o "$work/$path.wav" -q $flag
  "$spectrum" "$work/$path.wav" --from 1 "$@" |
    sed -n 's/^[a-z]* \(.*\) dBFS at \([0-9.]*\) Hz; mean \(.*\)$/\1 dBFS at \2 Hz | \3/p'
}

row() {
  local what=$1 hz=$2 vgm=$3
  shift 3
  printf '| %s | %s Hz | %s | %s |\n' "$what" "$hz" "$(measure "$vgm" exact "$@")" "$(measure "$vgm" clean "$@")"
}

echo '| input | frequency | exact: fold-back | exact: offset | clean: fold-back | clean: offset |'
echo '|---|---|---|---|---|---|'
for register in 1 4 16 254; do
  python3 "$top/tools/make_vgm.py" tone "$work/tone.vgm" --clock $clock --register $register --seconds 3
  hz=$(awk -v c=$clock -v r=$register 'BEGIN { printf "%.1f", c / (32 * r) }')
  row "tone register $register" "$hz" "$work/tone.vgm" --tone "$hz"
done
for shift in 0 1 2 3; do
  # Shift rate 3 follows tone 2, here at register 10: 12480 shifts a second.
  python3 "$top/tools/make_vgm.py" noise "$work/noise.vgm" --clock $clock --shift $shift --tone2 10 --seconds 31
  hz=$([ $shift -lt 3 ] && echo $((tick / (32 << shift))) || echo $((tick / 20)))
  row "white noise, shift rate $shift" "$hz" "$work/noise.vgm" --nulls "$hz" --size 262144
done
