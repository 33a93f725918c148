#!/usr/bin/env bash
# Includes point only down the layers: util, device, engine, carving, fat, ntfs, session, then the
# front ends (ui with app above it, and cli). Prints every include that points up or sideways and
# fails when there is one. Tests, benchmarks and fuzz targets may include anything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
declare -A rank=([util]=0 [device]=1 [engine]=2 [carving]=3 [fat]=4 [ntfs]=5 [session]=6 [ui]=7 [cli]=7 [app]=8)
bad=0
for dir in "${!rank[@]}"; do
  [ -d "$root/$dir" ] || continue
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$text")
    [ -n "${rank[$target]+x}" ] || continue
    if [ "$target" != "$dir" ] && [ "${rank[$target]}" -ge "${rank[$dir]}" ]; then
      echo "$file:$line: $dir/ includes $target/, which is not below it"
      bad=1
    fi
  done < <(grep -Hn '^#include "[a-z]*/' "$root/$dir"/*.cpp "$root/$dir"/*.h 2>/dev/null | sed "s|^$root/||")
done
exit $bad
