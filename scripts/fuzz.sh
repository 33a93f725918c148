#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds, from the
# seeds its script makes and the corpus kept in fuzz/corpus/.
# Usage: scripts/fuzz.sh [seconds] [target ...]   (default 60 seconds, every target)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$root/build-fuzz"

cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVALO_FUZZ=ON -DKORVALO_TESTS=OFF -DKORVALO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
  echo "== $target: ${seconds}s"
  corpus="$work/$target"
  mkdir -p "$corpus"
  # Seeds made at run time by the target's own script, when it has one (no binary is committed).
  if [ -f "$root/fuzz/seeds/$target.sh" ]; then
    # Without its seeds a short run reaches little: a failing seed script fails the run.
    bash "$root/fuzz/seeds/$target.sh" "$corpus" || { echo "$target: seed script failed" >&2; exit 1; }
  fi
  # The kept corpus (inputs a long campaign reached) is replayed first, then mutated further.
  if [ -d "$root/fuzz/corpus/$target" ]; then cp "$root/fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true; fi
  log="$work/$target.log"
  if ! (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
          -artifact_prefix="$work/$target-" "$corpus" >"$log" 2>&1); then
    tail -n 60 "$log"
    echo "$target failed"
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|Done )' "$log" || true
done
echo "fuzz targets ran clean: ${targets[*]}"
