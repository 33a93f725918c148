#!/bin/sh
# Seeds for fuzz_log_catalogue: a mode byte (0 "config", 1 "config.tmp", 2 both) followed by
# catalogue bytes: a 64-bit counter and 592-byte records (disk, area, run fields, fingerprint,
# image path, folder path).
set -eu
out="$1"
mkdir -p "$out"
/usr/bin/python3 - "$out" <<'PY'
import struct, sys, os
out = sys.argv[1]
def record(disk, start, count, free, folder, image=b""):
    head = struct.pack("<iIQQQQQQQQQ", disk, 0, start, count, 10, 20, 5, 300, 7, free, 0)
    return head + image.ljust(256, b"\0") + folder.ljust(256, b"\0")
def catalogue(counter, records):
    return struct.pack("<Q", counter) + b"".join(records)
seeds = {
    "counter_only": b"\0" + catalogue(3, []),
    "one_match": b"\0" + catalogue(1, [record(2, 0, 1000, 0x1234, b"/ScanLog/1/")]),
    "stale_and_image": b"\0" + catalogue(4, [record(2, 0, 1000, 99, b"/ScanLog/1/"),
                                            record(128, 0, 50, 0, b"/ScanLog/2/", b"/img/card.dd")]),
    "tmp_only": b"\1" + catalogue(7, [record(1, 8, 16, 0x1234, b"/ScanLog/7/")]),
    "partial_tail": b"\0" + catalogue(2, [record(0, 0, 1, 1, b"/x/")]) + b"\xee" * 100,
    "both": b"\2" + catalogue(5, [record(3, 0, 9, 0x1234, b"/ScanLog/5/")]) * 2,
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
PY
