"""Runs each recovery tool on one scan of an image and times it.

A scan is a whole bare volume, a whole disk, or partition 1 of a disk. Every tool writes into
its own empty folder; only that folder is compared with the originals afterwards, so logs go
elsewhere. A tool that fails is reported with its exit status; the benchmark goes on.
"""

import os
import shutil
import subprocess
import tempfile
import time

PEERS = ("photorec", "tsk_recover")
TOOLS = ("korvalo",) + PEERS


class Run:
    def __init__(self, out, seconds, status, skip_names=()):
        self.out = out
        self.seconds = seconds
        self.status = status          # None when the run worked, else a short reason
        self.skip_names = skip_names  # tool's own files in `out` that are not recovered files
        self.outcomes = None          # set once the output is compared with the originals
        self.noise = None


# Far above any run seen here; a tool that hangs is reported, and the benchmark goes on.
_TIMEOUT = 900


def _timed(args, cwd, log, env=None):
    """(wall seconds, exit status or "timeout") of running `args`, output kept in `log`."""
    start = time.monotonic()
    with open(log, "wb") as out:
        try:
            code = subprocess.run(args, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            code = "timeout"
    return time.monotonic() - start, code


def _status(code):
    if code == "timeout":
        return code
    return f"signal {-code}" if code < 0 else f"exit {code}"


def run_korvalo(binary, image, partition, out, logs):
    args = [binary, "recover", image, "--to", out, "--quiet"]
    if partition:
        args += ["--partition", str(partition)]
    # A fresh application folder: no scan log of an earlier run can be reused.
    home = tempfile.mkdtemp(prefix="korvalo-home-", dir=logs)
    seconds, code = _timed(args, logs, os.path.join(logs, "korvalo.log"),
                           env=dict(os.environ, KORVALO_HOME=home))
    shutil.rmtree(home, ignore_errors=True)
    # 4 (some files could not be written in full) and 7 (some only in part) are still results to
    # measure.
    return Run(out, seconds, None if code in (0, 4, 7) else _status(code))


def run_photorec(image, partition, out, logs):
    # partition_none: the whole image as one area (a bare volume or the whole disk);
    # a number selects that partition of the table PhotoRec finds.
    area = str(partition) if partition else "partition_none"
    os.makedirs(out, exist_ok=True)
    # PhotoRec writes photorec.log into its working folder: keep it out of `out`.
    seconds, code = _timed(["photorec", "/log", "/d", os.path.join(out, "recup"), "/cmd", image,
                            f"{area},options,paranoid,search"], logs, os.path.join(logs, "photorec.out"))
    return Run(out, seconds, None if code == 0 else _status(code), skip_names=("report.xml",))


def run_tsk(image, part_start, out, logs):
    args = ["tsk_recover", "-e"]
    if part_start:
        args += ["-o", str(part_start)]
    os.makedirs(out, exist_ok=True)
    seconds, code = _timed(args + [image, out], logs, os.path.join(logs, "tsk_recover.log"))
    return Run(out, seconds, None if code == 0 else _status(code))


def installed(tool):
    return shutil.which(tool) is not None


def warm_cache(image):
    """Reads the image once so that the first tool timed does not pay for the disk."""
    with open(image, "rb") as f:
        while f.read(8 << 20):
            pass
