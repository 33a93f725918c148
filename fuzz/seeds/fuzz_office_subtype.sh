#!/bin/sh
# Seeds for fuzz_office_subtype: small Office packages and compound files, each behind the
# target's leading control byte (0 = 512-byte sectors, file at sector 0).
set -eu
out=${1:?usage: $0 <corpus-dir>}
mkdir -p "$out"
/usr/bin/python3 - "$out" <<'PY'
import struct, sys, zipfile, io, os
out = sys.argv[1]

def save(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(b"\x00" + data)

for kind, part in (("docx", "word/document.xml"), ("xlsx", "xl/workbook.xml"), ("pptx", "ppt/presentation.xml")):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("_rels/.rels", "<Relationships/>")
        z.writestr(part, "<x/>" * 50)
    save(kind, buf.getvalue())

def ole(clsid, first_sector, stream_name):
    # header, one stream sector, one directory sector, one FAT sector
    hdr = bytearray(512)
    hdr[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
    struct.pack_into("<HHHHH", hdr, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<I", hdr, 44, 1)
    struct.pack_into("<I", hdr, 48, 1)
    struct.pack_into("<I", hdr, 56, 4096)
    struct.pack_into("<II", hdr, 60, 0xFFFFFFFE, 0)
    struct.pack_into("<I", hdr, 68, 0xFFFFFFFE)
    struct.pack_into("<I", hdr, 76, 2)
    for i in range(1, 109):
        struct.pack_into("<I", hdr, 76 + 4 * i, 0xFFFFFFFF)
    data = bytearray(512); data[0:len(first_sector)] = first_sector
    dirs = bytearray(512)
    for i, (name, typ, cls) in enumerate((("Root Entry", 5, clsid), (stream_name, 2, b""))):
        e = memoryview(dirs)[i * 128:(i + 1) * 128]
        n = name.encode("utf-16-le")
        e[0:len(n)] = n
        struct.pack_into("<HBB", e, 64, len(n) + 2, typ, 1)
        e[80:80 + len(cls)] = cls
    fat = bytearray(b"\xff" * 512)
    struct.pack_into("<III", fat, 0, 0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFD)
    return bytes(hdr + data + dirs + fat)

g = lambda s: bytes.fromhex(s)
save("doc_fib", ole(b"", g("ECA5C100"), "WordDocument"))
save("xls_bof", ole(b"", g("0908100000060500"), "Workbook"))
save("ppt_clsid", ole(g("108D81649B4FCF1186EA00AA00B929E8"), b"", "PowerPoint Document"))
save("doc_clsid", ole(g("0609020000000000C000000000000046"), b"", "Data"))
save("xls_name", ole(b"", b"", "Workbook"))
PY
