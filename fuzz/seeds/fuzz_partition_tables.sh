#!/bin/sh
# Seeds for fuzz_partition_tables: small whole-disk images with an MBR and a chain of logical
# partitions (sfdisk), a GPT (sgdisk) and an Apple partition map (written here). Each image is
# kept short so the fuzzer's length limit covers every table in it. Missing tools skip a seed.
set -eu
out="$1"
mkdir -p "$out"
PATH="$PATH:/usr/sbin:/sbin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if command -v sfdisk >/dev/null 2>&1; then
  truncate -s 128K "$work/dos.img"
  printf 'label: dos\nstart=8, size=16, type=83\nstart=32, size=200, type=5\nstart=240, size=16, type=83\nstart=40, size=16, type=83\nstart=64, size=16, type=7\nstart=96, size=16, type=c\n' |
    sfdisk --no-reread --no-tell-kernel "$work/dos.img" >/dev/null 2>&1 && head -c 65536 "$work/dos.img" >"$out/dos"
fi

if command -v sgdisk >/dev/null 2>&1; then
  truncate -s 1M "$work/gpt.img"
  if sgdisk -a 1 -n 1:40:79 -c 1:boot -n 2:80:199 -c 2:data -n 5:200:299 -c 5:more "$work/gpt.img" >/dev/null 2>&1; then
    head -c 8192 "$work/gpt.img" >"$out/gpt"
  fi
fi

/usr/bin/python3 - "$out/apm" <<'PY'
import struct, sys
img = bytearray(8 * 512)
img[0:4] = b"ER" + struct.pack(">H", 512)
entries = [(1, 0, 3, b"Apple_partition_map", b"Apple_partition_map"),
           (64, 0, 100, b"Macintosh HD", b"Apple_HFS"),
           (200, 8, 50, b"Extra", b"Apple_Free")]
for i, (start, logical, count, name, kind) in enumerate(entries):
    e = bytearray(512)
    e[0:2] = b"PM"
    struct.pack_into(">III", e, 4, len(entries), start, logical + count)
    e[16:16 + len(name)] = name
    e[48:48 + len(kind)] = kind
    struct.pack_into(">II", e, 80, logical, count)
    img[512 * (i + 1):512 * (i + 2)] = e
open(sys.argv[1], "wb").write(bytes(img))
PY
