"""PDF files with incremental updates, written byte by byte.

A PDF saved again by an editor keeps its first revision and appends an update: new objects, an
xref section for them, a trailer pointing back to the previous xref (/Prev), startxref and a
second %%EOF. A carver must therefore end at the last %%EOF, and the end-of-line after it varies
between writers; both are what these files exercise.
"""

import random
import zlib

# Fixed fonts and words so that page text compresses like real documents do.
_WORDS = ("report quarter revenue budget meeting minutes project travel invoice summary "
          "analysis customer delivery schedule contract review figure table chapter").split()


class _Revision:
    """Objects of one revision, serialised at known offsets."""

    def __init__(self, start_offset):
        self.body = bytearray()
        self.start = start_offset
        self.offsets = {}

    def add(self, number, content):
        self.offsets[number] = self.start + len(self.body)
        self.body += b"%d 0 obj\n" % number + content + b"\nendobj\n"

    def add_stream(self, number, data, extra=b""):
        packed = zlib.compress(data, 6)
        self.add(number, b"<< /Length %d /Filter /FlateDecode %s>>\nstream\n" % (len(packed), extra)
                 + packed + b"\nendstream")

    def xref(self, with_free_head):
        """xref table in subsections of consecutive object numbers (20-byte entries)."""
        out = bytearray(b"xref\n")
        numbers = sorted(self.offsets)
        if with_free_head:
            numbers = [0] + numbers
        runs = []
        for n in numbers:
            if runs and runs[-1][-1] + 1 == n:
                runs[-1].append(n)
            else:
                runs.append([n])
        for run in runs:
            out += b"%d %d\n" % (run[0], len(run))
            for n in run:
                if n == 0:
                    out += b"0000000000 65535 f\r\n"
                else:
                    out += b"%010d 00000 n\r\n" % self.offsets[n]
        return bytes(out)


def _page_text(rng, lines):
    ops = [b"BT /F1 11 Tf 50 780 Td 14 TL"]
    for _ in range(lines):
        sentence = " ".join(rng.choice(_WORDS) for _ in range(rng.randint(6, 12)))
        ops.append(b"(" + sentence.encode() + b") '")
    ops.append(b"ET")
    return b"\n".join(ops)


def make_pdf(seed, pages, image_bytes, updates, final_eol):
    """A PDF of `pages` pages with one pseudo-photo image of about `image_bytes` raw bytes,
    followed by `updates` incremental updates; `final_eol` follows the last %%EOF."""
    rng = random.Random(seed)
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    rev = _Revision(len(out))
    # 1 catalog, 2 pages, 3 font, 4 image, 5 info, then per page: page object and content.
    first_page = 6
    kids = b" ".join(b"%d 0 R" % (first_page + 2 * i) for i in range(pages))
    rev.add(1, b"<< /Type /Catalog /Pages 2 0 R >>")
    rev.add(2, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, pages))
    rev.add(3, b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    # Image samples: smooth rows with a little noise, so Flate shrinks them a realistic amount.
    width = 256
    height = max(1, image_bytes // (width * 3))
    rows = bytearray()
    for y in range(height):
        noise = rng.randbytes(width * 3)
        rows += bytes(((x * 3 + y) & 0xF0) ^ (noise[x] & 0x3F) for x in range(width * 3))
    rev.add_stream(4, bytes(rows), b"/Type /XObject /Subtype /Image /Width %d /Height %d "
                   b"/ColorSpace /DeviceRGB /BitsPerComponent 8 " % (width, height))
    rev.add(5, b"<< /Title (Generated report %d) /Producer (recall bench) >>" % seed)
    for i in range(pages):
        page, content = first_page + 2 * i, first_page + 2 * i + 1
        rev.add(page, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                b"/Resources << /Font << /F1 3 0 R >> /XObject << /Im1 4 0 R >> >> "
                b"/Contents %d 0 R >>" % content)
        text = _page_text(rng, rng.randint(20, 45))
        if i == 0:
            text += b"\nq 200 0 0 150 50 300 cm /Im1 Do Q"
        rev.add_stream(content, text)
    out += rev.body
    size = first_page + 2 * pages
    xref_at = len(out)
    out += rev.xref(with_free_head=True)
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info 5 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref_at)

    # Incremental updates: a new Info dictionary and a rewritten first page content each time.
    for u in range(updates):
        rev = _Revision(len(out))
        rev.add(5, b"<< /Title (Generated report %d, revision %d) /ModDate (D:2023071%d120000) >>"
                % (seed, u + 2, u))
        rev.add_stream(first_page + 1, _page_text(rng, rng.randint(10, 30)))
        out += rev.body
        prev = xref_at
        xref_at = len(out)
        out += rev.xref(with_free_head=False)
        eol = final_eol if u == updates - 1 else b"\n"
        out += (b"trailer\n<< /Size %d /Root 1 0 R /Info 5 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF"
                % (size, prev, xref_at)) + eol
    if updates == 0:
        out = out[:-1] + final_eol
    return bytes(out)
