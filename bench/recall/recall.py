"""The recall benchmark: builds realistic FAT and NTFS images with the real tools, runs
`korvalo recover` (and PhotoRec and tsk_recover when they are installed) on each, and prints how
many originals came back byte-exact and under their names. Started by run.sh, which installs what
building the images needs.

    recall.py [KORVALO_BINARY] [WORK_DIR] [--only NAME,...] [--verbose] [--no-peers]

It never fails because a number is low; it fails only when it cannot run.
"""

import argparse
import json
import os
import shutil
import sys
import tempfile
import time

import fat_images
import layouts
import ntfs_images
import on_volume
import raw_images
import originals
import report
import scoring
import tools

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# FAT12 has at most 4084 clusters: a small volume, holding the smaller originals only.
_FAT12_LIMIT = 300_000


class Workspace:
    """The run's folder: originals, images (built once, on demand, dependencies first)."""

    def __init__(self, work):
        self.work = work
        self.pool = os.path.join(work, "originals")
        self.built = {}
        _log(f"making the originals in {self.pool}")
        shutil.rmtree(self.pool, ignore_errors=True)
        originals.make_pool(self.pool)
        small = os.path.join(self.pool, "small")
        self.keepers = [os.path.join(small, n) for n in originals.make_fragments(small, 40)]
        self.sizes = {n: os.path.getsize(os.path.join(self.pool, n)) for n in os.listdir(self.pool)
                      if os.path.isfile(os.path.join(self.pool, n))}
        os.makedirs(os.path.join(work, "images"), exist_ok=True)

    def path(self, name):
        return os.path.join(self.work, "images", name + ".img")

    def image(self, name):
        if name not in self.built:
            _, deps, builder = IMAGES[name]
            for dep in deps:
                self.image(dep)
            _log(f"building {name}")
            self.built[name] = builder(self, name)
        return self.built[name]


def _layout_volume(size_mib, bits, cluster_sectors=0, mbr=False, small=False):
    def build(ws, name):
        layout = layouts.small(layouts.CARD, ws.sizes, _FAT12_LIMIT) if small else layouts.CARD
        return fat_images.build_layout_volume(ws.path(name), layout, ws.pool, size_mib, bits,
                                              cluster_sectors, mbr)
    return build


# name -> (title, images it is made from, builder(workspace, name) -> image description),
# in the order they are scanned.
IMAGES = {
    "fat12": ("FAT12 volume, 16 MiB", (), _layout_volume(16, 12, small=True)),
    "fat12-mbr": ("FAT12 behind an MBR, 16 MiB", (), _layout_volume(17, 12, mbr=True, small=True)),
    "fat16": ("FAT16 volume, 64 MiB", (), _layout_volume(64, 16)),
    "fat16-mbr": ("FAT16 behind an MBR, 64 MiB", (), _layout_volume(65, 16, mbr=True)),
    "fat32": ("FAT32 volume, 288 MiB, 4 KiB clusters", (), _layout_volume(288, 32, 8)),
    "card32": ("FAT32 card behind an MBR, 512 MiB, 4 KiB clusters", (),
               _layout_volume(512, 32, 8, mbr=True)),
    "card32-reformatted": ("card32 quick-formatted again", ("card32",),
                           lambda ws, name: fat_images.reformatted_copy(ws.image("card32"), ws.path(name))),
    "card32-zeroed": ("card32 with boot and reserved sectors zeroed", ("card32",),
                      lambda ws, name: fat_images.zeroed_boot_copy(ws.image("card32"), ws.path(name))),
    "frag32": ("FAT32 volume with fragmented files, 288 MiB, live files", (),
               lambda ws, name: fat_images.build_fragmented(ws.path(name), ws.pool, ws.work, ws.keepers)),
    "ntfs": ("NTFS partition image, 256 MiB (rm through ntfs-3g)", (),
             lambda ws, name: ntfs_images.build_ntfs(ws.path(name), layouts.CARD, ws.pool, 256)),
    "ntfs-mbr": ("the NTFS volume behind an MBR", ("ntfs",),
                 lambda ws, name: ntfs_images.behind_mbr(ws.image("ntfs"), ws.path(name))),
    "raw": ("every original on a raw image without a file system (carving alone)", (),
            lambda ws, name: raw_images.build_raw(ws.path(name), ws.pool)),
}


def _parse_args(argv):
    p = argparse.ArgumentParser(prog="bench/recall/run.sh", description=__doc__.split("\n\n")[0])
    p.add_argument("binary", nargs="?", default=os.path.join(ROOT, "build", "korvalo"),
                   help="korvalo binary (default: build/korvalo of this tree)")
    p.add_argument("work", nargs="?", help="work folder, kept afterwards (default: a temporary one)")
    p.add_argument("--only", help="comma-separated images to scan: " + ", ".join(IMAGES))
    p.add_argument("--verbose", action="store_true",
                   help="list every original korvalo did not recover exactly or without its name")
    p.add_argument("--no-peers", action="store_true", help="run korvalo only")
    args = p.parse_args(argv)
    args.only = [n.strip() for n in args.only.split(",")] if args.only else list(IMAGES)
    unknown = [n for n in args.only if n not in IMAGES]
    if unknown:
        p.error("unknown image " + ", ".join(unknown) + "; known: " + ", ".join(IMAGES))
    return args


def _log(text):
    print(text, file=sys.stderr, flush=True)


def _scans(name, title, desc):
    """(area label, korvalo --partition value, title) per scan of one image."""
    if desc["part_start"]:
        return [("whole disk", None, f"{name}: {title}; whole disk"),
                ("partition 1", 1, f"{name}: {title}; --partition 1")]
    return [("volume", None, f"{name}: {title}")]


def _mark_overwritten(desc):
    """The image's originals, with the deleted or lost ones whose data is no longer whole on
    the image set apart as "overwritten"."""
    gone = {f["source"] for f in desc["files"] if f["state"] in ("deleted", "lost")}
    whole = on_volume.whole_on_image(desc["image"], gone)
    return [dict(f, state="overwritten") if f["source"] in gone - whole else f for f in desc["files"]]


def _run_tools(args, desc, partition, scan_dir, peers):
    image = desc["image"]
    runs = {}
    for tool in tools.TOOLS:
        out = os.path.join(scan_dir, tool)
        logs = os.path.join(scan_dir, tool + "-logs")
        os.makedirs(logs, exist_ok=True)
        if tool == "korvalo":
            runs[tool] = tools.run_korvalo(args.binary, image, partition, out, logs)
        elif tool not in peers:
            runs[tool] = None
        elif tool == "photorec":
            runs[tool] = tools.run_photorec(image, partition, out, logs)
        else:
            # tsk_recover opens one file system: on a disk it needs the partition's offset.
            runs[tool] = tools.run_tsk(image, desc["part_start"], out, logs)
    return runs


def _measure(args, ws, name, peers, blobs):
    """Builds one image, runs every tool on each of its scans and prints a table per scan."""
    desc = ws.image(name)
    title = IMAGES[name][0] + (f" ({desc['note']})" if "note" in desc else "")
    tools.warm_cache(desc["image"])
    files = _mark_overwritten(desc)
    originals_of_image = []
    for meta in files:
        if meta["source"] not in blobs:
            blobs[meta["source"]] = scoring.Blob(meta["source"])
        originals_of_image.append((meta, blobs[meta["source"]]))
    scans = []
    for area, partition, scan_title in _scans(name, title, desc):
        _log(f"scanning {name} ({area})")
        scan_dir = os.path.join(ws.work, "out", name, area.replace(" ", "-"))
        shutil.rmtree(scan_dir, ignore_errors=True)
        runs = _run_tools(args, desc, partition, scan_dir, peers)
        for run in runs.values():
            if run is not None:
                found = scoring.recovered_files(run.out, run.skip_names) if os.path.isdir(run.out) else []
                run.outcomes, run.noise = scoring.score(originals_of_image, found)
        scan = {"name": name, "area": area, "title": scan_title, "runs": runs,
                "originals": originals_of_image,
                "overwritten": sum(m["state"] == "overwritten" for m in files)}
        report.scan_table(scan, sys.stdout)
        sys.stdout.flush()
        scans.append(scan)
        if args.work is None:  # nobody will look at the outputs: free the space now
            shutil.rmtree(scan_dir, ignore_errors=True)
    return scans


def main(argv):
    args = _parse_args(argv)
    args.binary = os.path.abspath(args.binary)
    if not os.access(args.binary, os.X_OK):
        sys.exit(f"no korvalo binary at {args.binary}")
    peers = [] if args.no_peers else [t for t in tools.PEERS if tools.installed(t)]
    for tool, package in (("photorec", "testdisk"), ("tsk_recover", "sleuthkit")):
        if tool not in peers:
            reason = "not asked for" if args.no_peers else f"not installed (Debian package {package})"
            print(f"{tool}: {reason}; its columns show '-'")
    print(report.LEGEND)
    work = os.path.abspath(args.work) if args.work else tempfile.mkdtemp(prefix="korvalo-recall-")
    os.makedirs(work, exist_ok=True)
    started = time.monotonic()
    try:
        ws = Workspace(work)
        blobs = {}
        scans = [scan for name in args.only for scan in _measure(args, ws, name, peers, blobs)]
        report.totals_table(scans, sys.stdout)
        report.format_table(scans, sys.stdout)
        raw = [scan for scan in scans if scan["name"] == "raw"]
        if raw:
            report.format_table(raw, sys.stdout, "the raw image only: carving alone, named by the kind it found")
        if args.verbose:
            report.failure_list(scans, sys.stdout)
        print(f"\nwhole run {time.monotonic() - started:.0f} s; korvalo {args.binary}")
        if args.work:
            _write_json(scans, os.path.join(work, "results.json"))
            print(f"images, outputs and results.json kept in {work}")
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


def _write_json(scans, path):
    """Per scan and tool, each original's outcome: for comparing two runs with a diff."""
    data = []
    for scan in scans:
        entry = {"image": scan["name"], "area": scan["area"], "tools": {}}
        for tool, run in scan["runs"].items():
            if run is None:
                continue
            entry["tools"][tool] = {
                "seconds": round(run.seconds, 2), "status": run.status, "noise": len(run.noise),
                "files": {m["path"]: {"state": m["state"], "result": run.outcomes[m["path"]].kind,
                                      "named": run.outcomes[m["path"]].named}
                          for m, _ in scan["originals"] if m["state"] in report.STATES}}
        data.append(entry)
    with open(path, "w") as f:
        json.dump(data, f, indent=1, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1:])
