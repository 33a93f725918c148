#!/bin/sh
# Shared by the NTFS seed scripts: makes a small volume with mkntfs, fills it with ntfscp (a
# resident file, a file of several clusters) and writes one seed per MFT record found.
# Usage: ntfs_volume_records.sh OUT-DIR PREFIX BYTES-PER-SEED MAX-SEEDS WITH-PASS-TAIL(0|1)
# Without the tools it fails: a run without seeds reaches little.
set -eu
out="$1"
mkdir -p "$out"
PATH="$PATH:/usr/sbin:/sbin"
command -v mkntfs >/dev/null 2>&1 || { echo "mkntfs missing" >&2; exit 1; }
command -v ntfscp >/dev/null 2>&1 || { echo "ntfscp missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
img="$work/ntfs.img"
truncate -s 8M "$img"
mkntfs -F -Q "$img" >/dev/null 2>&1
echo "a small resident file" >"$work/small.txt"
head -c 20000 /dev/urandom >"$work/big.bin"
ntfscp -f "$img" "$work/small.txt" small.txt >/dev/null 2>&1
ntfscp -f "$img" "$work/big.bin" big.bin >/dev/null 2>&1
/usr/bin/python3 - "$img" "$out/$2" "$3" "$4" "$5" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
size, limit, with_tail = int(sys.argv[3]), int(sys.argv[4]), sys.argv[5] == "1"
n = 0
for i in range(0, len(data) - 1024, 512):
    if data[i:i + 4] == b"FILE":
        # The deep target reads five trailing bytes that choose the pass and the expected folder.
        tail = bytes([5, 0, 0, 0, n & 1]) if with_tail else b""
        open("%s%03d" % (sys.argv[2], n), "wb").write(data[i:i + size] + tail)
        n += 1
        if n >= limit:
            break
PY
