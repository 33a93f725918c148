#!/usr/bin/env bash
# Everything CI checks: installs what is missing, checks that includes point only down the layers,
# builds with warnings as errors, runs every test,
# runs them again under AddressSanitizer + UndefinedBehaviorSanitizer, and runs each fuzz target briefly.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/install-deps.sh"

echo "== layers"
"$root/scripts/check-layers.sh"

echo "== build and test"
cmake -S "$root" -B "$root/build" -DKORVALO_WERROR=ON >/dev/null
cmake --build "$root/build" -j"$jobs"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

echo "== sanitizer build and test"
cmake -S "$root" -B "$root/build-asan" -DKORVALO_WERROR=ON -DKORVALO_SANITIZE=ON -DKORVALO_BENCH=OFF >/dev/null
cmake --build "$root/build-asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

echo "== fuzz targets"
"$root/scripts/fuzz.sh" "${KORVALO_FUZZ_SECONDS:-15}"
