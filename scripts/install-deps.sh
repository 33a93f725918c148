#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the project. Safe to run again:
# it asks apt only for packages that are missing.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  clang libclang-rt-14-dev          # libFuzzer and the sanitizer runtimes for clang
  libgtest-dev libbenchmark-dev
  dosfstools mtools ntfs-3g e2fsprogs util-linux   # real file systems for test images
  btrfs-progs                       # a btrfs destination for the same-device check
  zip unzip p7zip-full              # real archives for the carving tests
  zlib1g-dev                        # inflating gzip members to find their end
  ffmpeg python3-pil                # real videos, audio and pictures for the carving tests
  libimage-exiftool-perl            # exiftool: the camera RAW fixtures parse as their kind
  libheif-examples libavif-bin webp # heif-enc, avifenc, cwebp: HEIF, AVIF and WebP pictures
  flac vorbis-tools opus-tools      # flac, oggenc, opusenc: FLAC and Ogg audio
  python3                           # /usr/bin/python3: the fuzz seed scripts and benchmarks
  fdisk gdisk                       # sfdisk and sgdisk: real partition tables for test images
  nbdkit libnbd-bin fuse3           # an image with failing sectors behind the kernel's read path
  qt6-base-dev                      # the window program (Qt 6 Widgets, Qt Test)
  fonts-liberation                  # a metric-compatible face where the window asks for Arial
  xvfb xdotool x11-apps imagemagick # a real X display, real input events and screenshots for the window's tests
)

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
