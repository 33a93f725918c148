"""Seeds cut from the images the recall benchmark builds with the real tools (bench/recall/run.sh
keeps them in WORK_DIR/images):

    recall_slices.py TARGET IMAGES_DIR OUT_DIR [MAX_SEEDS]

fuzz_fat_deep          control byte 0 + 64 sectors from a directory sector (one starting with a
                       "." entry), or control byte 1 + 64 sectors from a table's first sector
fuzz_ntfs_deep         4 KiB from a file record, then the pass and folder bytes the target reads
fuzz_fat_fast_walk     kind byte 3 + the first 64 KiB of a bare FAT volume
fuzz_partition_tables  the first 64 KiB of an image

Only the fuzzers' input formats are known here; what the images hold comes from the real tools.
"""

import os
import sys

SECTOR = 512
WINDOW = 64 * SECTOR


def sectors(path):
    """(offset, first 16 bytes) of every sector of the image."""
    with open(path, "rb") as f:
        offset = 0
        while True:
            block = f.read(1 << 20)
            if not block:
                return
            for at in range(0, len(block) - SECTOR + 1, SECTOR):
                yield offset + at, block[at:at + 16]
            offset += len(block)


def window(path, offset, size=WINDOW):
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read(size)


def is_dot_entry(head):
    return head[:11] == b".          " and head[11] & 0x10


def is_fat_start(head):
    return head[:3] == b"\xf8\xff\xff"


def cut(target, image):
    """The seeds of one image for one target."""
    name = os.path.basename(image)
    if target == "fuzz_fat_deep":
        if name.startswith("ntfs"):
            return
        for offset, head in sectors(image):
            if is_dot_entry(head):
                yield b"\x00" + window(image, offset)
            elif is_fat_start(head):
                yield b"\x01" + window(image, offset)
    elif target == "fuzz_ntfs_deep":
        if not name.startswith("ntfs"):
            return
        for offset, head in sectors(image):
            if head[:4] == b"FILE" and offset % 1024 == 0:
                # Parent 5 (the root folder), and the sweep pass.
                yield window(image, offset, 4096) + (5).to_bytes(4, "little") + b"\x00"
    elif target == "fuzz_fat_fast_walk":
        if name.startswith("ntfs") or "mbr" in name or name.startswith("card32"):
            return
        yield b"\x03" + window(image, 0)
    elif target == "fuzz_partition_tables":
        yield window(image, 0)


def main():
    target, images, out = sys.argv[1:4]
    most = int(sys.argv[4]) if len(sys.argv) > 4 else 200
    seeds = []
    for image in sorted(os.listdir(images)):
        seeds += [(image, seed) for seed in cut(target, os.path.join(images, image))]
    # Evenly over all images, so no one image fills the quota.
    step = max(1, len(seeds) // most)
    os.makedirs(out, exist_ok=True)
    for i, (image, seed) in enumerate(seeds[::step][:most]):
        with open(os.path.join(out, f"recall-{image}-{i}"), "wb") as f:
            f.write(seed)
    print(f"{target}: {min(most, len(seeds[::step]))} seeds from {len(seeds)} places in {images}")


if __name__ == "__main__":
    main()
