#!/usr/bin/env bash
# Captures j27host's settings sheet, with the Quarix page as the library
# shows it, into a PNG, on a private Xvfb display. The sheet is closed
# without applying, so J27.INI stays as it was.
#
#   tools/settings_screenshot.sh [OUT.png]     default: demo/settings.png
#
# QUARIX_WIN32_BUILD names another Win32 build tree (default build/win32).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARIX_WIN32_BUILD:-$top/build/win32}
out=$(realpath -m "${1:-$top/demo/settings.png}")

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$top" && cmake --preset win32 -B "$build" >/dev/null)
fi
cmake --build "$build" --target j27host Quarix >/dev/null

export SHOT_OUT="$out" SHOT_HOST="$build/bin/j27host.exe" SHOT_WINE="$top/tools/wine-run"
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  "$SHOT_WINE" "$SHOT_HOST" settings & host=$!
  shot=0
  for i in $(seq 1 300); do   # Wine under emulation can take minutes to start
    sleep 1
    if import -window "J27 host settings" "$SHOT_OUT" 2>/dev/null; then shot=1; break; fi
  done
  if [ $shot = 1 ]; then
    sleep 3   # let it finish painting, then take the picture again
    import -window "J27 host settings" "$SHOT_OUT"
  fi
  kill $host 2>/dev/null; wait $host 2>/dev/null || true
  [ $shot = 1 ]
'
echo "wrote $out"
