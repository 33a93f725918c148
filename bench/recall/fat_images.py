"""FAT12/16/32 images built with dosfstools, sfdisk and mtools (the kernel here has no vfat
driver, so nothing is mounted).

Each builder returns an image description: the image path, the partition start sector (0 for a
bare volume), and the originals with their states (live, deleted, lost, or ignored for filler
that is not measured but must not count as noise either).
"""

import os
import random
import subprocess

import layouts

SECTOR = 512
PART_START = 2048  # sectors; where partitioning tools put the first partition
_MBR_TYPE = {12: "1", 16: "6", 32: "c"}
_ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8")


def _run(*args):
    subprocess.run(args, check=True, env=_ENV, stdout=subprocess.DEVNULL)


def _mkfs(image, bits, cluster_sectors, part_start, volume_id, label):
    args = ["/usr/sbin/mkfs.fat", "-F", str(bits), "-i", volume_id, "-n", label]
    if cluster_sectors:
        args += ["-s", str(cluster_sectors)]
    if part_start:
        # A system formatting a partition records its start as hidden sectors.
        args += ["-h", str(part_start), f"--offset={part_start}"]
    _run(*args, image)


class Volume:
    """One FAT volume inside an image file, changed through mtools."""

    def __init__(self, image, part_start):
        self.image = image
        self.part_start = part_start
        self.drive = f"{image}@@{part_start * SECTOR}"
        self.folders = set()

    def mkdirs(self, folder):
        parts = folder.split("/")
        for i in range(1, len(parts) + 1):
            sub = "/".join(parts[:i])
            if sub and sub not in self.folders:
                _run("mmd", "-i", self.drive, "::/" + sub)
                self.folders.add(sub)

    def copy(self, source, path):
        self.mkdirs(os.path.dirname(path))
        _run("mcopy", "-i", self.drive, source, "::/" + path)

    def delete(self, path):
        _run("mdel", "-i", self.drive, "::/" + path)

    def delete_tree(self, folder):
        _run("mdeltree", "-i", self.drive, "::/" + folder)

    def free_bytes(self):
        out = subprocess.run(["mdir", "-i", self.drive, "::/"], check=True, env=_ENV,
                             capture_output=True, text=True).stdout
        # Last line: "   <n> bytes free", digits grouped with spaces.
        line = [l for l in out.splitlines() if "bytes free" in l][-1]
        return int("".join(ch for ch in line if ch.isdigit()))


def _new_image(image, size_mib, bits, cluster_sectors, mbr, volume_id, label):
    if os.path.exists(image):
        os.remove(image)
    with open(image, "wb") as f:
        f.truncate(size_mib << 20)  # sparse
    part_start = PART_START if mbr else 0
    if mbr:
        subprocess.run(["/usr/sbin/sfdisk", "--quiet", image], check=True, text=True,
                       input=f"label: dos\nstart={part_start}, type={_MBR_TYPE[bits]}\n")
    _mkfs(image, bits, cluster_sectors, part_start, volume_id, label)
    return Volume(image, part_start)


def build_layout_volume(image, layout, pool, size_mib, bits, cluster_sectors=0, mbr=False):
    """A volume on which `layout` is played with mcopy, mdel and mdeltree. Returns the image
    description."""
    vol = _new_image(image, size_mib, bits, cluster_sectors, mbr, "4b0c1a{:02x}".format(bits), "CARD")
    files = layouts.apply(layout, pool, vol.copy, vol.delete, vol.delete_tree)
    return {"image": image, "part_start": vol.part_start, "files": files, "mkfs": (bits, cluster_sectors)}


def _copy_image(src, dst):
    subprocess.run(["cp", "--sparse=always", src["image"], dst], check=True)
    lost = [dict(f, state="lost" if f["state"] == "live" else f["state"]) for f in src["files"]]
    return dict(src, image=dst, files=lost)


def reformatted_copy(src, dst):
    """The volume quick-formatted again with the same parameters (a new volume id, as a
    camera or a system format would give it): every live file becomes lost."""
    desc = _copy_image(src, dst)
    bits, cluster_sectors = src["mkfs"]
    _mkfs(dst, bits, cluster_sectors, src["part_start"], "7e57f00d", "NEWCARD")
    return desc


def zeroed_boot_copy(src, dst):
    """The volume with its boot sector and every reserved sector zeroed (on FAT32 that takes
    the FSInfo sector and the backup boot sector at 6 with it): every live file becomes lost."""
    desc = _copy_image(src, dst)
    offset = src["part_start"] * SECTOR
    with open(dst, "r+b") as f:
        f.seek(offset + 14)
        reserved = int.from_bytes(f.read(2), "little")
        f.seek(offset)
        f.write(bytes(reserved * SECTOR))
    return desc


def build_fragmented(image, pool, work, keepers):
    """A FAT32 card whose later files are fragmented. mtools allocates from the last
    allocated cluster on, so holes are only reused once the rest of the volume is taken:
    keepers and spacers are interleaved, the spacers deleted, a filler takes the free tail,
    the large files are copied (their chains now hop from hole to hole), and the filler is
    deleted. Only live files are measured; spacers and filler are ignored."""
    vol = _new_image(image, 288, 32, 8, False, "f4a9e001", "FRAGMENTS")
    scratch = os.path.join(work, "fragmented-filler")
    os.makedirs(scratch, exist_ok=True)
    rng = random.Random(77)
    large = [os.path.join(pool, key) for key in layouts.FRAGMENTED_LARGE]
    hole_target = sum(os.path.getsize(p) for p in large) * 13 // 10
    files, spacers = [], []
    for i, keeper in enumerate(keepers):
        name = f"IMG_{2001 + i:04d}{os.path.splitext(keeper)[1].upper()}"
        path = f"{layouts.CAMERA_FOLDER}/{name}"
        vol.copy(keeper, path)
        files.append({"path": path, "source": keeper, "state": "live"})
        # Spacer sizes scatter around an even share of the hole space, so each large file
        # needs several holes.
        spacer = os.path.join(scratch, f"spacer_{i:02d}.bin")
        with open(spacer, "wb") as f:
            f.write(rng.randbytes(rng.randint(1, 2 * hole_target // len(keepers))))
        spacer_path = f"{layouts.CAMERA_FOLDER}/SPC_{i:04d}.BIN"
        vol.copy(spacer, spacer_path)
        spacers.append(spacer_path)
        files.append({"path": spacer_path, "source": spacer, "state": "ignored"})
    vol.mkdirs(layouts.LARGE_FOLDER)  # its directory cluster too comes before the filler
    for path in spacers:
        vol.delete(path)
    cluster = 8 * SECTOR
    hole_bytes = sum(-(-os.path.getsize(f["source"]) // cluster) * cluster
                     for f in files if f["state"] == "ignored")
    filler = os.path.join(scratch, "filler.bin")
    with open(filler, "wb") as f:
        f.truncate(vol.free_bytes() - hole_bytes)  # zeros: leaves nothing for carving
    vol.copy(filler, "filler.bin")
    files.append({"path": "filler.bin", "source": filler, "state": "ignored"})
    for src in large:
        path = f"{layouts.LARGE_FOLDER}/{os.path.basename(src)}"
        vol.copy(src, path)
        files.append({"path": path, "source": src, "state": "live"})
    vol.delete("filler.bin")
    live = [f["path"] for f in files if f["state"] == "live"]
    return {"image": image, "part_start": 0, "files": files, "mkfs": (32, 8),
            "note": f"{_fragmented_count(vol, live)} of {len(live)} live files fragmented"}


def _fragmented_count(vol, paths):
    """How many of the files have a cluster chain in more than one piece (mshowfat prints each
    run of clusters as <first-last>)."""
    out = subprocess.run(["mshowfat", "-i", vol.drive] + ["::/" + p for p in paths], check=True,
                         env=_ENV, capture_output=True, text=True).stdout
    return sum(line.count("<") > 1 for line in out.splitlines())
