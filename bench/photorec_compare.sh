#!/usr/bin/env bash
# korvalo beside PhotoRec on the same memory card: a 512 MiB image with an MBR and a FAT32
# partition, the eight sample files in each of eight folders, five folders deleted; then the same
# card quick-formatted. Both tools recover everything they find from the page-cached image; the
# script prints the best and median wall time of each and how many recovered files are
# byte-identical to an original.
#
#   bench/photorec_compare.sh [BUILD_DIR] [RUNS]
#
# Needs photorec (Debian package testdisk), mtools, fdisk and dosfstools.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
runs=${2:-7}
for tool in photorec mcopy sfdisk; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "needs $tool (apt-get install testdisk mtools fdisk dosfstools)" >&2; exit 1; }
done
[ -x "$build/korvalo" ] || { echo "no $build/korvalo: build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/files"
"$build/tests/make_sample_files" "$work/files" >/dev/null
part_start=2048
card="$work/card.img"
truncate -s 512M "$card"
echo "start=$part_start, type=c" | /usr/sbin/sfdisk --quiet "$card"
/usr/sbin/mkfs.fat -F 32 --offset $part_start "$card" >/dev/null
export MTOOLS_SKIP_CHECK=1
export KORVALO_HOME="$work/korvalo-home"  # korvalo's working files stay in the comparison's folder
fat="$card@@$((part_start * 512))"
for d in 1 2 3 4 5 6 7 8; do
  mmd -i "$fat" "::/folder$d"
  mcopy -i "$fat" "$work"/files/* "::/folder$d/"
done
for d in 2 3 5 6 8; do mdeltree -i "$fat" "::/folder$d"; done
reformatted="$work/card-reformatted.img"
cp --sparse=always "$card" "$reformatted"
/usr/sbin/mkfs.fat -F 32 --offset $part_start "$reformatted" >/dev/null
(cd "$work/files" && md5sum -- * | awk '{print $1}') >"$work/originals.md5"

# Prints "best median" of the wall times of running "$@" $runs times, the output folder emptied each time.
time_runs() {
  local out=$1
  shift
  for _ in $(seq "$runs"); do
    rm -rf "$out"
    mkdir -p "$out"
    /usr/bin/time -f "%e" "$@" >/dev/null 2>"$work/time.err" || { cat "$work/time.err" >&2; exit 1; }
    tail -n 1 "$work/time.err"
  done | sort -n | awk '{t[NR] = $1} END {printf "%s %s\n", t[1], t[int((NR + 1) / 2)]}'
}
exact() {
  find "$1" -type f ! -name report.xml -exec md5sum {} + | awk '{print $1}' | grep -cFf "$work/originals.md5" || true
}

cd "$work"  # photorec writes its photorec.log into the current folder
for image in "$card" "$reformatted"; do
  name=$(basename "$image")
  cat "$image" >/dev/null  # into the page cache
  read -r pr_best pr_median < <(time_runs "$work/photorec" photorec /log /d "$work/photorec/recup" /cmd "$image" \
    partition_none,options,mode_ext2,fileopt,everything,enable,wholespace,search)
  pr_exact=$(exact "$work/photorec")
  read -r ko_best ko_median < <(time_runs "$work/korvalo" "$build/korvalo" recover "$image" --to "$work/korvalo" --quiet)
  ko_exact=$(exact "$work/korvalo")
  echo "$name: photorec best $pr_best s median $pr_median s, $pr_exact byte-exact files"
  echo "$name: korvalo  best $ko_best s median $ko_median s, $ko_exact byte-exact files"
  awk -v p="$pr_median" -v k="$ko_median" -v n="$name" 'BEGIN {if (k > 0) printf "%s: photorec / korvalo (medians) %.2f\n", n, p / k}'
done
