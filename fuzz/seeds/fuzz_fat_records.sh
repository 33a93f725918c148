#!/bin/sh
# Seeds for fuzz_fat_records: the non-empty sectors of small FAT12/16/32 images made with
# mkfs.fat and filled with mtools (folders, long names, deleted files), one sector per file.
# Without the tools no seed is written and the fuzzer starts from nothing.
set -eu
out="$1"
mkdir -p "$out"
command -v mkfs.fat >/dev/null 2>&1 || [ -x /usr/sbin/mkfs.fat ] || { echo "mkfs.fat missing" >&2; exit 1; }
command -v mcopy >/dev/null 2>&1 || { echo "mcopy missing" >&2; exit 1; }
PATH="$PATH:/usr/sbin:/sbin"
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "seed file content" >"$work/note.txt"
for geometry in "12 2" "16 16" "32 34"; do
  set -- $geometry
  img="$work/fat$1.img"
  truncate -s "$2M" "$img"
  mkfs.fat -F "$1" "$img" >/dev/null
  mmd -i "$img" ::/DCIM "::/DCIM/Summer holiday"
  for i in 1 2 3 4 5 6 7 8; do
    mcopy -i "$img" "$work/note.txt" "::/DCIM/A long picture name number $i.jpeg"
  done
  mcopy -i "$img" "$work/note.txt" ::/README.TXT
  mdel -i "$img" "::/DCIM/A long picture name number 3.jpeg" ::/README.TXT
  # Keep the sectors that hold anything; the directory sectors lie in the first 2 MiB.
  /usr/bin/python3 - "$img" "$out/fat$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read(2 << 20)
for i in range(0, len(data), 512):
    sector = data[i:i + 512]
    if any(sector):
        open("%s-%06d" % (sys.argv[2], i // 512), "wb").write(sector)
PY
done
