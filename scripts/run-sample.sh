#!/usr/bin/env bash
# The sample recovery: builds a small memory card image (an MBR and a FAT32 partition with
# photos, music and videos in folders), deletes some of them and a whole folder, makes a copy of
# the card that was then quick-formatted again, and recovers both with korvalo into
# sample-output/. Everything is generated here; nothing is downloaded.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -DKORVALO_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target korvalo make_sample_files
# The window program too, so the same card can be opened in it (see the README).
cmake --build "$build" -j"$(nproc)" --target korvalo-gui >/dev/null 2>&1 || echo "(korvalo-gui not built: no Qt 6)"

out="$root/sample-output"
work="$out/work"
rm -rf "$out"
mkdir -p "$work/files"
"$build/tests/make_sample_files" "$work/files"

card="$work/card.img"
part_start=2048
truncate -s 96M "$card"
echo "label: dos
start=$part_start, type=c" | /usr/sbin/sfdisk --quiet "$card"
/usr/sbin/mkfs.fat -F 32 -s 1 -n SAMPLECARD --offset $part_start "$card" >/dev/null

export MTOOLS_SKIP_CHECK=1
fat="$card@@$((part_start * 512))"
f="$work/files"
mmd -i "$fat" ::/DCIM ::/DCIM/100TRAVL ::/Music ::/Video ::/Old
mcopy -i "$fat" "$f/Beach day.jpg" "$f/IMG_0002.JPG" "$f/Sunset over the lake.png" ::/DCIM/100TRAVL/
mcopy -i "$fat" "$f/Family portrait.bmp" ::/Old/
mcopy -i "$fat" "$f/Summer song.mp3" "$f/Voice memo.wav" ::/Music/
mcopy -i "$fat" "$f/Birthday clip.avi" "$f/Holiday trailer.mp4" ::/Video/
# What the user lost: two photos, a song and a whole folder.
mdel -i "$fat" "::/DCIM/100TRAVL/Beach day.jpg" "::/DCIM/100TRAVL/Sunset over the lake.png"
mdel -i "$fat" "::/Music/Summer song.mp3"
mdeltree -i "$fat" ::/Old

reformatted="$work/card-reformatted.img"
cp --sparse=always "$card" "$reformatted"
/usr/sbin/mkfs.fat -F 32 -s 1 -n NEWCARD --offset $part_start "$reformatted" >/dev/null

# The scan's working files stay with the sample rather than in the user's application folder.
export KORVALO_HOME="$work/korvalo-home"
echo "== Sample card: deleted photos, a deleted song and a deleted folder"
"$build/korvalo" recover "$card" --to "$out/card" --tree --quiet
echo
echo "== The same card after a quick format"
"$build/korvalo" recover "$reformatted" --to "$out/reformatted" --quiet
echo
echo "Recovered files, compared with the originals:"
same=0
total=0
while IFS= read -r -d '' recovered; do
  name=$(basename "$recovered")
  original=$(find "$f" -iname "$name" -print -quit)
  total=$((total + 1))
  if [ -n "$original" ] && cmp -s "$recovered" "$original"; then
    same=$((same + 1)); echo "  identical  ${recovered#$out/}"
  else
    echo "  differs    ${recovered#$out/}"
  fi
done < <(find "$out/card" "$out/reformatted" -type f -print0 | sort -z)
echo "$same of $total recovered files are byte-identical to the originals (in $f)."
if [ -x "$build/korvalo-gui" ]; then
  echo
  echo "Open the same card in the window program:"
  echo "  KORVALO_DISKS=$card $build/korvalo-gui"
fi
