#!/usr/bin/env bash
# A long fuzz run of one target under AddressSanitizer + UndefinedBehaviorSanitizer: seeds from
# the target's seed script and its kept corpus, a run of the given length on a working corpus
# that survives between runs, then a merge of what it reached into the kept corpus
# fuzz/corpus/TARGET: only inputs of at most KEPT_MAX_BYTES (default 8400: 16 sectors and a
# control byte or two) that reach new edges, so the repository keeps a small corpus CI replays.
# Usage: [RECALL_IMAGES=DIR] scripts/fuzz-campaign.sh TARGET SECONDS [WORK_DIR]   (SECONDS 0: merge only)
# (needs scripts/fuzz.sh's build; DIR: the images a recall benchmark run kept)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
seconds=$2
work=${3:-/var/tmp/korvalo-fuzz}/$target
binary="$root/build-fuzz/fuzz/$target"
[ -x "$binary" ] || { echo "missing $binary: run scripts/fuzz.sh first" >&2; exit 1; }
kept="$root/fuzz/corpus/$target"
mkdir -p "$work/corpus" "$work/artifacts" "$kept"
if [ -f "$root/fuzz/seeds/$target.sh" ]; then
  bash "$root/fuzz/seeds/$target.sh" "$work/corpus" || { echo "$target: seed script failed" >&2; exit 1; }
fi
# Slices of the recall benchmark's images (RECALL_IMAGES: its WORK_DIR/images), for the targets
# that take whole sectors of a volume.
if [ -n "${RECALL_IMAGES:-}" ]; then
  /usr/bin/python3 -B "$root/fuzz/seeds/recall_slices.py" "$target" "$RECALL_IMAGES" "$work/corpus" ||
    { echo "$target: cutting seeds from $RECALL_IMAGES failed" >&2; exit 1; }
fi
cp -n "$kept"/* "$work/corpus/" 2>/dev/null || true
# SECONDS 0 only merges what an earlier run of the working corpus reached.
if [ "$seconds" -gt 0 ]; then
  echo "== $target: ${seconds}s from $(ls "$work/corpus" | wc -l) inputs"
  status=0
  (cd "$work" && "$binary" -max_total_time="$seconds" -print_final_stats=1 \
     -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/run.log" 2>&1) || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$work/run.log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/run.log"
    echo "$target: finding kept in $work/artifacts/" >&2
    exit 1
  fi
fi
# Only small inputs that reach new edges go into the kept corpus (hit counts do not count).
max_bytes=${KEPT_MAX_BYTES:-8400}
mkdir -p "$work/merged" "$work/small"
rm -f "$work/merged"/* "$work/small"/*
# The working corpus already holds the kept one (copied in above).
find "$work/corpus" -type f -size -"$((max_bytes + 1))"c -exec cp -t "$work/small" {} +
"$binary" -merge=1 -use_counters=0 "$work/merged" "$work/small" >"$work/merge.log" 2>&1
rm -f "$kept"/*
cp "$work/merged"/* "$kept"/ 2>/dev/null || true
echo "$target: kept corpus $(ls "$kept" | wc -l) inputs, $(du -sk --apparent-size "$kept" | cut -f1) KiB"
