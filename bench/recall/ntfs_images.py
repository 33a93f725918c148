"""NTFS images: mkntfs, a FUSE mount through ntfs-3g, files copied and removed (one folder as a
whole) through the mount, unmount.

The volume is formatted as a partition starting at sector 2048 (what Windows and partitioning
tools write into the boot sector), so the same volume serves as a bare partition image and,
written into a disk image behind an MBR, as a whole disk.
"""

import os
import shutil
import subprocess
import tempfile

import layouts
from fat_images import PART_START, SECTOR


def _run(*args, **kw):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, **kw)


def build_ntfs(image, layout, pool, size_mib):
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(size_mib << 20)
    _run("/usr/sbin/mkntfs", "--quiet", "--force", "--fast", "--label", "DATA",
         "--partition-start", str(PART_START), "--heads", "255", "--sectors-per-track", "63",
         "--sector-size", str(SECTOR), image, stderr=subprocess.DEVNULL)
    mount = tempfile.mkdtemp(prefix="recall-ntfs-")
    _run("ntfs-3g", image, mount)
    try:
        def copy(source, path):
            dest = os.path.join(mount, path)
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            shutil.copyfile(source, dest)

        files = layouts.apply(layout, pool, copy, lambda path: os.remove(os.path.join(mount, path)),
                              lambda folder: shutil.rmtree(os.path.join(mount, folder)))
    finally:
        _run("umount", mount)
        os.rmdir(mount)
    return {"image": image, "part_start": 0, "files": files}


def behind_mbr(volume, image):
    """A disk image with an MBR whose one NTFS partition (type 7) is a copy of `volume`."""
    size = os.path.getsize(volume["image"])
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(PART_START * SECTOR + size)
    subprocess.run(["/usr/sbin/sfdisk", "--quiet", image], check=True, text=True,
                   input=f"label: dos\nstart={PART_START}, type=7\n")
    _run("dd", f"if={volume['image']}", f"of={image}", "bs=1M", f"seek={PART_START * SECTOR}",
         "oflag=seek_bytes", "conv=notrunc,sparse", "status=none")
    return dict(volume, image=image, part_start=PART_START)
