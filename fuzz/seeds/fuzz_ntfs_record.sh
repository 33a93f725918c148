#!/bin/sh
# Seeds for fuzz_ntfs_record: the MFT records of a small volume made with mkntfs and filled with
# ntfscp (a resident file, a file of several clusters), one 1024-byte record per file.
# Without the tools no seed is written and the fuzzer starts from nothing.
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
/usr/bin/python3 - "$img" "$out/mft" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
n = 0
for i in range(0, len(data) - 1024, 512):
    if data[i:i + 4] == b"FILE":
        open("%s%03d" % (sys.argv[2], n), "wb").write(data[i:i + 1024])
        n += 1
        if n >= 64:
            break
PY
