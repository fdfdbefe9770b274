#!/usr/bin/env bash
# The main job: renders the demo tune through the real Quarix.j27, loaded by
# j27host.exe under Wine, into demo.wav at the top of the tree, and draws
# its spectrogram into demo.png where sox is installed.
#
#   tools/demo.sh            installs what it needs, builds the win32 preset's
#                            j27host and Quarix, then renders
#   tools/demo.sh --play     plays it through the sound system as well (the
#                            default PulseAudio server, or PULSE_SERVER's)
#
# QUARIX_WIN32_BUILD names another Win32 build tree (default build/win32).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARIX_WIN32_BUILD:-$top/build/win32}

bash "$top/tools/setup.sh"
bash "$top/tools/win32-deps.sh"

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$top" && cmake --preset win32 -B "$build" >/dev/null)
fi
cmake --build "$build" --target j27host Quarix

rm -f "$top/demo.wav"
"$top/tools/wine-run" "$build/bin/j27host.exe" "$top/demo/demo.vgm" -o "$top/demo.wav" "$@"
echo "wrote $top/demo.wav"
if command -v sox >/dev/null 2>&1; then
  sox "$top/demo.wav" -n spectrogram -t "Quarix demo" -o "$top/demo.png"
  echo "wrote $top/demo.png"
fi
