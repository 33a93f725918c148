#!/usr/bin/env bash
# Seeds for the volume tests: the first 16 KiB of real FAT, NTFS and ext images made here.
set -eu
out=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
make_seed() {  # name, command that formats $tmp/img
  rm -f "$tmp/img"
  if eval "$2" >/dev/null 2>&1; then head -c 16384 "$tmp/img" >"$out/$1"; fi
}
make_seed fat12 "/usr/sbin/mkfs.vfat -F 12 -C $tmp/img 4096"
make_seed fat16 "/usr/sbin/mkfs.vfat -F 16 -C $tmp/img 32768"
make_seed fat32 "/usr/sbin/mkfs.vfat -F 32 -C $tmp/img 65536"
make_seed ntfs "truncate -s 16M $tmp/img && /usr/sbin/mkntfs -F -Q -q $tmp/img"
make_seed ext4 "truncate -s 16M $tmp/img && /usr/sbin/mkfs.ext4 -F -q $tmp/img"
make_seed ext2 "truncate -s 8M $tmp/img && /usr/sbin/mkfs.ext2 -F -q -b 1024 $tmp/img"
