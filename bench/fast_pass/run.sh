#!/usr/bin/env bash
# How much the fast pass saves on full volumes: see fast_pass.py. Not part of CI (several
# minutes). Needs root (the NTFS volume is filled through an ntfs-3g mount) and the tools the
# recall benchmark installs (bench/recall/run.sh installs them).
#
#   bench/fast_pass/run.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
[ "$(id -u)" -eq 0 ] || { echo "needs root: the NTFS volume is written through an ntfs-3g mount" >&2; exit 1; }
for bin in "$build/korvalo" "$build/bench/korvalo_without_fast_engines"; do
  [ -x "$bin" ] || { echo "missing $bin: build the project (with benchmarks) first" >&2; exit 1; }
done
exec /usr/bin/python3 -B "$here/fast_pass.py" "$build/korvalo" "$build/bench/korvalo_without_fast_engines" ${2:+"$2"}
