#!/usr/bin/env bash
# The clean path end to end: a tone at full volume, 3 s, rendered to WAV by
# default, must hold nothing from 20 Hz to 20 kHz above -100 dBFS but its own
# harmonics, and no offset after the first second (its mean within 1 LSB of
# zero). Tone register 4 is ultrasonic (28 kHz for the usual 3579545 Hz
# clock), 16 lies at 7 kHz with its third harmonic above the band. The same
# renders with --exact must fail the check, or the check proves nothing.
#
#   clean_foldback.sh QUARIX_RENDER WAV_BANDS MAKE_VGM WORK_DIR
set -u
render=$1 spectrum=$2 make_vgm=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
status=0
clock=3579545
for register in 4 16; do
  vgm=$work/tone$register.vgm
  python3 "$make_vgm" tone "$vgm" --clock $clock --register $register --seconds 3
  tone=$(awk -v c=$clock -v r=$register 'BEGIN { printf "%.6f", c / (32 * r) }')
  for path in clean exact; do
    flag=$([ $path = exact ] && echo --exact)
    "$render" "$vgm" -o "$work/$path$register.wav" -q $flag || { echo "FAIL: render $path $register"; status=1; }
    result=$("$spectrum" "$work/$path$register.wav" --from 1 --tone "$tone" --max-db -100 --max-mean 1)
    verdict=$?
    echo "tone register $register, $path: $result"
    if [ $path = clean ] && [ $verdict -ne 0 ]; then
      echo "FAIL: the clean path leaves fold-back or an offset"; status=1
    elif [ $path = exact ] && [ $verdict -ne 1 ]; then
      echo "FAIL: the exact path passes the check, which then cannot see fold-back"; status=1
    fi
  done
done
exit $status
