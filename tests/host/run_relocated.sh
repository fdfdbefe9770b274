#!/usr/bin/env bash
# Copies a Win32 test program and the files it needs into a scratch
# directory and runs it there, so that what it writes beside itself
# (J27.INI) never touches the build tree's programs.
#
#   run_relocated.sh SCRATCH WINE_RUN [FILE...] PROGRAM
set -euo pipefail
scratch=$1 winerun=$2
shift 2
program=${!#}
rm -rf "$scratch"
mkdir -p "$scratch"
cp "$@" "$scratch/"
exec "$winerun" --wait "$scratch/$(basename "$program")"
