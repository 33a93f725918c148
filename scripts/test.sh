#!/usr/bin/env bash
# Everything CI checks: installs what is missing, checks that includes point only down the layers,
# builds with warnings as errors, runs every test,
# runs them again under AddressSanitizer + UndefinedBehaviorSanitizer, runs the threaded suites
# under ThreadSanitizer, and runs each fuzz target briefly.
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

echo "== thread sanitizer: the read-ahead, session and window-job suites"
cmake -S "$root" -B "$root/build-tsan" -DKORVALO_WERROR=ON -DKORVALO_TSAN=ON -DKORVALO_BENCH=OFF >/dev/null
tsan_targets=(test_device test_session)
if grep -q "^Qt6Widgets_DIR:PATH=/" "$root/build-tsan/CMakeCache.txt"; then tsan_targets+=(test_app_session_jobs_test); fi
cmake --build "$root/build-tsan" -j"$jobs" --target "${tsan_targets[@]}"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp"
"$root/build-tsan/tests/test_device" --gtest_filter='*SweepPrefetcher*:*Unreadable*' --gtest_brief=1
"$root/build-tsan/tests/test_session" --gtest_brief=1
if [ -x "$root/build-tsan/tests/test_app_session_jobs_test" ]; then
  QT_QPA_PLATFORM=offscreen "$root/build-tsan/tests/test_app_session_jobs_test" -silent
fi
unset TSAN_OPTIONS

echo "== fuzz targets"
"$root/scripts/fuzz.sh" "${KORVALO_FUZZ_SECONDS:-15}"
