#!/usr/bin/env bash
# The recall benchmark: how many files `korvalo recover` gives back byte-exact and under their
# names, on FAT12/16/32 and NTFS images built with the real tools (bare and behind an MBR,
# files deleted, a reformatted copy, a copy with its boot sector zeroed, a fragmented card),
# beside PhotoRec and tsk_recover when those are installed. Prints tables; fails only when it
# cannot run. Not part of CI: a full run takes several minutes.
#
#   bench/recall/run.sh [KORVALO_BINARY] [WORK_DIR] [--only card32,ntfs] [--verbose] [--no-peers]
#
# KORVALO_BINARY defaults to build/korvalo; WORK_DIR (kept afterwards, with results.json)
# defaults to a temporary folder. Installs the tools that build the images with apt-get when
# missing, but never testdisk or sleuthkit: the peers are measured only when already installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# command (or Python module) -> Debian package
declare -A needs=(
  [ffmpeg]=ffmpeg [mcopy]=mtools [mkfs.fat]=dosfstools [sfdisk]=fdisk [mkntfs]=ntfs-3g
  [ntfs-3g]=ntfs-3g [7z]=p7zip-full [zip]=zip [gzip]=gzip [PIL]=python3-pil
  [heif-enc]=libheif-examples [avifenc]=libavif-bin [cwebp]=webp [flac]=flac [oggenc]=vorbis-tools
  [opusenc]=opus-tools
)
missing=()
for cmd in "${!needs[@]}"; do
  if [ "$cmd" = PIL ]; then
    /usr/bin/python3 -c "import PIL" 2>/dev/null || missing+=("${needs[$cmd]}")
  elif ! command -v "$cmd" >/dev/null && [ ! -x "/usr/sbin/$cmd" ] && [ ! -x "/sbin/$cmd" ]; then
    missing+=("${needs[$cmd]}")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "installing ${missing[*]}" >&2
  [ "$(id -u)" -eq 0 ] || { echo "needs root to install ${missing[*]} (and to mount NTFS through FUSE)" >&2; exit 1; }
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "${missing[@]}" >/dev/null ||
    { apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null; }
fi
[ "$(id -u)" -eq 0 ] || { echo "needs root: the NTFS images are written through an ntfs-3g mount" >&2; exit 1; }

# -B: no __pycache__ folder in the source tree.
exec /usr/bin/python3 -B "$here/recall.py" "$@"
