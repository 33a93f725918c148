#!/usr/bin/env bash
# The sample recovery: builds a small memory-card image with deleted and reformatted-away files,
# scans it and recovers what it finds into a folder.
set -euo pipefail
echo "The sample recovery needs the korvalo command line, which is not built yet." >&2
echo "Until then, scripts/test.sh builds and tests everything that exists." >&2
exit 1
