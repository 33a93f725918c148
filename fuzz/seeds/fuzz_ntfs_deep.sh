#!/bin/sh
# Seeds for fuzz_ntfs_deep: devices that start at an MFT record of a small mkntfs volume (with
# the records after it, so parents can be found), followed by the five bytes that choose the
# pass and the expected folder. Without the tools no seed is written.
set -eu
out="$1"
mkdir -p "$out"
PATH="$PATH:/usr/sbin:/sbin"
command -v mkntfs >/dev/null 2>&1 || exit 0
command -v ntfscp >/dev/null 2>&1 || exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img="$work/ntfs.img"
truncate -s 8M "$img"
mkntfs -F -Q "$img" >/dev/null 2>&1
echo "a small resident file" >"$work/small.txt"
head -c 20000 /dev/urandom >"$work/big.bin"
ntfscp -f "$img" "$work/small.txt" small.txt >/dev/null 2>&1
ntfscp -f "$img" "$work/big.bin" big.bin >/dev/null 2>&1
/usr/bin/python3 - "$img" "$out/dev" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
n = 0
for i in range(0, len(data) - 1024, 512):
    if data[i:i + 4] == b"FILE":
        tail = bytes([5, 0, 0, 0, n & 1])
        open("%s%03d" % (sys.argv[2], n), "wb").write(data[i:i + 16384] + tail)
        n += 1
        if n >= 40:
            break
PY
