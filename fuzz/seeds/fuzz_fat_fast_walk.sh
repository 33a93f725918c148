#!/bin/sh
# Seeds for fuzz_fat_fast_walk: the first 128 KiB of small FAT12 and FAT16 volumes made with
# mkfs.fat and filled with mtools (folders, long names, a deleted file and a deleted folder),
# after the control byte 3 that takes the input as the volume's start; plus one empty overlay for
# each of the built-in FAT12, FAT16 and FAT32 volumes.
set -eu
out="$1"
mkdir -p "$out"
printf '\000' >"$out/skeleton12"
printf '\001' >"$out/skeleton16"
printf '\002' >"$out/skeleton32"
PATH="$PATH:/usr/sbin:/sbin"
command -v mkfs.fat >/dev/null 2>&1 || { echo "mkfs.fat missing" >&2; exit 1; }
command -v mcopy >/dev/null 2>&1 || { echo "mcopy missing" >&2; exit 1; }
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "seed file content" >"$work/note.txt"
head -c 3000 /dev/zero | tr '\0' 'k' >"$work/chain.bin"
for geometry in "12 1024" "16 2200"; do
  set -- $geometry
  img="$work/fat$1.img"
  truncate -s "$2K" "$img"
  mkfs.fat -F "$1" -s 1 -r 64 -f 1 "$img" >/dev/null 2>&1
  mmd -i "$img" ::/DCIM "::/DCIM/Summer holiday" "::/Old folder"
  for i in 1 2 3; do
    mcopy -i "$img" "$work/note.txt" "::/DCIM/Summer holiday/A long picture name number $i.jpeg"
  done
  mcopy -i "$img" "$work/chain.bin" "::/DCIM/chain.bin"
  mcopy -i "$img" "$work/chain.bin" "::/Old folder/Letter to keep.txt"
  mdel -i "$img" "::/DCIM/Summer holiday/A long picture name number 2.jpeg"
  mdeltree -i "$img" "::/Old folder"
  { printf '\003'; head -c 131071 "$img"; } >"$out/fat$1"
done
