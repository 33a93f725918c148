"""Which deleted or lost originals still lie whole on the image.

Files written after a deletion may take the freed clusters (mtools on FAT12/16 reuses them
first, ntfs-3g too); what they overwrote no tool can give back, so such originals are set apart
as "overwritten" instead of counting as misses. Every file here starts on a sector boundary and,
on a freshly written volume, is contiguous: an original is whole when its bytes follow one of
the image's sectors.
"""

SECTOR = 512
_CHUNK = 1 << 20


def whole_on_image(image, sources):
    """The subset of `sources` (original file paths) whose content starts at some sector of
    `image` and continues there unbroken."""
    heads = {}
    for src in sources:
        with open(src, "rb") as f:
            head = f.read(SECTOR)
        if len(head) < SECTOR:
            continue  # too small to place; such files are not made here
        heads.setdefault(head, []).append(src)
    found = set()
    zero = bytes(_CHUNK)
    with open(image, "rb") as img:
        offset = 0
        while True:
            chunk = img.read(_CHUNK)
            if not chunk:
                break
            if chunk != zero[:len(chunk)]:  # sparse images are mostly zeros: skip them fast
                view = memoryview(chunk)
                for at in range(0, len(chunk) - SECTOR + 1, SECTOR):
                    for src in heads.get(bytes(view[at:at + SECTOR]), ()):
                        if src not in found and _continues(img, offset + at, src):
                            found.add(src)
            offset += len(chunk)
    return found


def _continues(img, at, src):
    here = img.tell()
    try:
        with open(src, "rb") as f:
            img.seek(at)
            while True:
                want = f.read(_CHUNK)
                if not want:
                    return True
                if img.read(len(want)) != want:
                    return False
    finally:
        img.seek(here)
