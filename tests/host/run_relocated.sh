#!/usr/bin/env bash
# Copies a Win32 test program and the files it needs into a scratch
# directory and runs it there on its own display, so that what it writes
# beside itself (J27.INI) never touches the build tree's programs.
#
#   run_relocated.sh SCRATCH WINE_RUN PROGRAM [FILE...]
set -euo pipefail
scratch=$1 winerun=$2 program=$3
shift 3
rm -rf "$scratch"
mkdir -p "$scratch"
cp "$program" "$@" "$scratch/"
exec xvfb-run -a "$winerun" --wait "$scratch/$(basename "$program")"
