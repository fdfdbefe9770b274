#!/usr/bin/env bash
# Runs a GoogleTest program (under Wine: the rest of the command line) once,
# its output kept in LOG; a run that skipped a case exits 77, so that ctest
# shows it as a skip.
#
#   wine_gtest.sh LOG COMMAND...
set -uo pipefail
log=$1
shift
"$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" = 0 ] && grep -q '^\[  SKIPPED \]' "$log"; then
  exit 77
fi
exit "$status"
