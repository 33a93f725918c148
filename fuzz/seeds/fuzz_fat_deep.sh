#!/bin/sh
# Seeds for fuzz_fat_deep: one control byte, then the first 256 sectors of small FAT12/16 images
# made with mkfs.fat and filled with mtools (nested folders, long names, deleted files and a
# deleted folder), with and without their boot sector.
set -eu
out="$1"
mkdir -p "$out"
PATH="$PATH:/usr/sbin:/sbin"
command -v mkfs.fat >/dev/null 2>&1 || { echo "mkfs.fat missing" >&2; exit 1; }
command -v mcopy >/dev/null 2>&1 || { echo "mcopy missing" >&2; exit 1; }
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "seed file content" >"$work/note.txt"
# A file of several clusters, so previews follow its chain through the table.
head -c 3000 /dev/zero | tr '\0' 'k' >"$work/chain.bin"
for geometry in "12 1 1" "12 1 2" "16 9 1"; do
  set -- $geometry
  img="$work/fat$1-$3.img"
  truncate -s "$2M" "$img"
  mkfs.fat -F "$1" -s "$3" "$img" >/dev/null 2>&1
  mmd -i "$img" ::/DCIM "::/DCIM/Summer holiday" "::/Old folder"
  for i in 1 2 3 4 5 6; do
    mcopy -i "$img" "$work/note.txt" "::/DCIM/Summer holiday/A long picture name number $i.jpeg"
  done
  mcopy -i "$img" "$work/note.txt" "::/Old folder/Letter to keep.txt"
  mcopy -i "$img" "$work/chain.bin" "::/DCIM/chain.bin"
  mdel -i "$img" "::/DCIM/Summer holiday/A long picture name number 2.jpeg"
  mdeltree -i "$img" "::/Old folder"
  /usr/bin/python3 - "$img" "$out/fat$1-$3" <<'PY'
import sys
data = open(sys.argv[1], "rb").read(256 * 512)
# The control byte picks the mode; the second seed has its boot sector zeroed.
open(sys.argv[2] + "-boot", "wb").write(b"\x00" + data)
open(sys.argv[2] + "-noboot", "wb").write(b"\x01" + b"\x00" * 512 + data[512:])
PY
done
