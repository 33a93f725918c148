"""What the fast pass saves: `korvalo recover --partition 1` on a 1 GiB FAT32 and a 1 GiB NTFS
partition, each about 90 % full (real pictures, music, videos and documents in folders, random
filler), with some files and one folder deleted, beside the same recovery by a build whose
factory makes no fast engine (so the whole partition is swept). Prints the wall time of `scan`
and of `recover` (each from a cold page cache where the system allows emptying it), the files
written, and the distinct originals (all, and the deleted ones) recovered byte-exact.

    fast_pass.py KORVALO_BINARY KORVALO_WITHOUT_FAST_ENGINES_BINARY [WORK_DIR]
"""

import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "recall"))

import fat_images  # noqa: E402
import ntfs_images  # noqa: E402
import originals  # noqa: E402
import tools  # noqa: E402

VOLUME_MIB = 1024
FULL_SHARE = 0.90
FILLER_BYTES = 16 << 20
# KORVALO_BENCH_KEEP=1 keeps the images in WORK_DIR for a closer look.
KEEP_IMAGES = os.environ.get("KORVALO_BENCH_KEEP") == "1"


def _digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def _fill_tree(tree, pool, budget):
    """Folders of originals and random filler adding up to about `budget` bytes, with the files
    that will be deleted listed apart. Returns (deleted file paths, deleted folder)."""
    names = sorted(n for n in os.listdir(pool) if os.path.isfile(os.path.join(pool, n)))
    rng = random.Random(7)
    used, folder, deleted = 0, 0, []
    while used < budget:
        sub = os.path.join(tree, f"Set{folder:03d}")
        os.makedirs(sub)
        for name in names:
            shutil.copyfile(os.path.join(pool, name), os.path.join(sub, name))
            used += os.path.getsize(os.path.join(pool, name))
            if rng.random() < 0.08:
                deleted.append(os.path.join(f"Set{folder:03d}", name))
        with open(os.path.join(sub, "filler.bin"), "wb") as f:
            f.write(rng.randbytes(FILLER_BYTES))
        used += FILLER_BYTES
        folder += 1
    # One whole folder goes too (from the middle, so its data lie between live files).
    return deleted, f"Set{folder // 2:03d}"


def _deleted_digests(tree, deleted, folder):
    paths = [os.path.join(tree, p) for p in deleted]
    paths += [os.path.join(tree, folder, n) for n in os.listdir(os.path.join(tree, folder))
              if n != "filler.bin"]
    return {_digest(p) for p in paths}


def _all_digests(tree):
    return {_digest(os.path.join(root, n)) for root, _, files in os.walk(tree) for n in files}


def _fat32(work, tree, deleted, folder):
    image = os.path.join(work, "fat32.img")
    vol = fat_images._new_image(image, VOLUME_MIB + 2, 32, 0, True, "4b0c1a20", "FULL")
    subprocess.run(["mcopy", "-s", "-i", vol.drive] + [os.path.join(tree, n) for n in sorted(os.listdir(tree))]
                   + ["::/"], check=True, env=fat_images._ENV, stdout=subprocess.DEVNULL)
    for path in deleted:
        vol.delete(path)
    vol.delete_tree(folder)
    return image


def _ntfs(work, tree, deleted, folder):
    volume = os.path.join(work, "ntfs-volume.img")
    with open(volume, "wb") as f:
        f.truncate(VOLUME_MIB << 20)
    subprocess.run(["/usr/sbin/mkntfs", "--quiet", "--force", "--fast", "--label", "FULL",
                    "--partition-start", str(fat_images.PART_START), "--sector-size", "512", volume],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    mount = tempfile.mkdtemp(prefix="fast-pass-ntfs-")
    subprocess.run(["ntfs-3g", volume, mount], check=True)
    try:
        for name in sorted(os.listdir(tree)):
            shutil.copytree(os.path.join(tree, name), os.path.join(mount, name))
        for path in deleted:
            os.remove(os.path.join(mount, path))
        shutil.rmtree(os.path.join(mount, folder))
    finally:
        subprocess.run(["umount", mount], check=True)
        os.rmdir(mount)
    disk = ntfs_images.behind_mbr({"image": volume, "part_start": 0, "files": []},
                                  os.path.join(work, "ntfs.img"))
    os.remove(volume)
    return disk["image"]


def _drop_caches():
    """Empties the page cache so every run reads the image from the disk, as a recovery reads its
    source. False when the system does not allow it (then runs after the first read from memory)."""
    subprocess.run(["sync"], check=True)
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def _timed_scan(binary, image):
    home = tempfile.mkdtemp(prefix="korvalo-home-")
    start = time.monotonic()
    subprocess.run([binary, "scan", image, "--partition", "1", "--quiet"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=dict(os.environ, KORVALO_HOME=home))
    seconds = time.monotonic() - start
    shutil.rmtree(home, ignore_errors=True)
    return seconds


def _measure(binary, image, work, label, wanted, originals_all):
    """(scan seconds, recover seconds, status, files written, originals exact, deleted ones exact),
    each run from a cold cache."""
    out = os.path.join(work, "out-" + label)
    logs = os.path.join(work, "logs-" + label)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(logs, exist_ok=True)
    _drop_caches()
    scan_seconds = _timed_scan(binary, image)
    _drop_caches()
    run = tools.run_korvalo(binary, image, 1, out, logs)
    got = set()
    count = 0
    for root, _, files in os.walk(out):
        for name in files:
            count += 1
            got.add(_digest(os.path.join(root, name)))
    shutil.rmtree(out, ignore_errors=True)
    return scan_seconds, run.seconds, run.status or "ok", count, len(originals_all & got), len(wanted & got)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    fast_bin, slow_bin = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    work = os.path.abspath(argv[3]) if len(argv) > 3 else tempfile.mkdtemp(prefix="korvalo-fast-pass-")
    os.makedirs(work, exist_ok=True)
    pool = os.path.join(work, "originals")
    if not os.path.isdir(pool):
        originals.make_pool(pool)
    tree = os.path.join(work, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    os.makedirs(tree)
    deleted, folder = _fill_tree(tree, pool, int(VOLUME_MIB * FULL_SHARE) << 20)
    wanted = _deleted_digests(tree, deleted, folder)
    originals_all = _all_digests(tree)
    print(f"{len(originals_all)} distinct originals, {len(wanted)} of them deleted ({len(deleted)} files "
          f"and folder {folder})", flush=True)

    cold = _drop_caches()
    print("every run reads from a cold cache" if cold else "the page cache cannot be emptied here: runs after the "
          "first may read from memory", flush=True)
    rows = []
    for name, build in (("FAT32", _fat32), ("NTFS", _ntfs)):
        image = build(work, tree, deleted, folder)
        for label, binary in (("with fast pass", fast_bin), ("whole sweep", slow_bin)):
            row = _measure(binary, image, work, name + "-" + label.replace(" ", "-"), wanted, originals_all)
            rows.append((name, label) + row)
            print(f"{name:6} {label:15} scan {row[0]:6.2f} s  recover {row[1]:6.1f} s  {row[2]:8} {row[3]:6} files  "
                  f"{row[4]}/{len(originals_all)} originals exact, {row[5]}/{len(wanted)} deleted ones", flush=True)
        if not KEEP_IMAGES:
            os.remove(image)
    shutil.rmtree(tree, ignore_errors=True)

    print("\n| volume | run | scan s | recover s | status | files written | distinct originals exact "
          "| deleted ones exact |")
    print("|---|---|---|---|---|---|---|---|")
    for name, label, scan_s, recover_s, status, count, exact, deleted_exact in rows:
        print(f"| {name} | {label} | {scan_s:.2f} | {recover_s:.1f} | {status} | {count} | {exact}/{len(originals_all)} "
              f"| {deleted_exact}/{len(wanted)} |")


if __name__ == "__main__":
    main(sys.argv)
