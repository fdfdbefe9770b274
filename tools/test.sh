#!/usr/bin/env bash
# Builds everything and runs every test: native (with ASan and UBSan), the
# fuzz targets over their seed corpora and briefly beyond, and the Win32
# library and host under Wine (GUI tests on their own Xvfb display).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash tools/setup.sh

jobs=$(nproc)

echo "== native: build and test"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

echo "== fuzz: libFuzzer targets, seed corpora and a short run each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
for fuzzer in build/fuzz/bin/*_fuzz; do
  name=$(basename "$fuzzer")
  scratch=$(mktemp -d)
  "$fuzzer" -max_total_time="${QUARIX_FUZZ_SECONDS:-20}" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$scratch/" "$scratch" "fuzz/corpus/$name" 2>&1 | grep -E '^(stat::number_of_executed_units|Done|==.*ERROR)' || true
  if ls "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-* >/dev/null 2>&1; then
    echo "fuzzer $name found a failing input: $(ls "$scratch")" >&2
    exit 1
  fi
  rm -rf "$scratch"
done

echo "== win32: build, and test under Wine"
bash tools/win32-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
export WINEPREFIX="$top/build/win32/wineprefix"
ctest --preset win32 -j "$jobs"

echo "== win32-debug: the chip, device and module tests under Wine with asserts on"
cmake --preset win32-debug >/dev/null
cmake --build --preset win32-debug -j "$jobs" --target psg_tests device_tests device_abi_tests module_test Quarix
WINEPREFIX="$top/build/win32-debug/wineprefix" \
  ctest --preset win32-debug -j "$jobs" -R '^(wine_prefix|psg_tests|device_tests|device_abi_tests|module_test)$'

echo "== release: tools/release.sh twice, compared; the zip under Wine, the .deb installed"
bash tests/release/release_test.sh "$top/build/win32"
