"""Compares what a tool recovered with the originals of one image.

exact   some recovered file is byte-identical (sha256) to the original.
partial no exact copy, but a recovered file and the original agree on the original's first
        min(size, 4096) bytes, or the whole recovered file is a prefix of the original: a padded
        or cut file, which the user still has to repair.
missed  neither.
named   exact, and a byte-identical copy carries the original's base name. Tools make taken
        names unique as "name(1).ext", so a trailing "(n)" before the extension is ignored.
        named_ci counts the copies whose name matches only when case is ignored.
noise   recovered files that are neither an exact nor a partial copy of any original.
"""

import hashlib
import os
import re

HEAD = 4096
# States that are measured. Others ("ignored" filler, "overwritten" data) are not scored, but
# copies of them are not noise either.
MEASURED = ("live", "deleted", "lost")
_UNIQUE_SUFFIX = re.compile(r"^(.*)\(\d+\)(\.[^.]*)?$")


class Blob:
    """Size, head and digest of one file."""

    def __init__(self, path):
        self.path = path
        digest = hashlib.sha256()
        with open(path, "rb") as f:
            self.head = f.read(HEAD)
            digest.update(self.head)
            for chunk in iter(lambda: f.read(1 << 20), b""):
                digest.update(chunk)
        self.size = os.path.getsize(path)
        self.sha = digest.hexdigest()


def plain_name(name):
    """The name without the "(n)" a tool adds to keep names unique."""
    m = _UNIQUE_SUFFIX.match(name)
    return m.group(1) + (m.group(2) or "") if m else name


def is_partial(original, recovered):
    """True when one of the two is a prefix of the other as far as the original's head goes."""
    if recovered.size == 0:
        return False
    if recovered.size >= len(original.head):
        return recovered.head.startswith(original.head)
    return original.head.startswith(recovered.head)


def recovered_files(out, skip_names):
    found = []
    for folder, _, names in os.walk(out):
        found += [Blob(os.path.join(folder, n)) for n in names if n not in skip_names]
    return found


class Outcome:
    """The result for one original under one tool."""

    def __init__(self, kind, named=False, named_ci=False, recovered=(), right_ext=False):
        self.kind = kind            # "exact", "partial" or "missed"
        self.named = named
        self.named_ci = named_ci    # named only when case is ignored
        self.right_ext = right_ext  # an exact copy has the original's extension, case ignored
        self.recovered = recovered  # (path, size) of the matching recovered files, to debug from


def score(originals, recovered):
    """originals: list of (file dict, Blob). Returns ({original path: Outcome}, noise), noise
    being the (path, size) of every recovered file that matches no original."""
    by_sha = {}
    for r in recovered:
        by_sha.setdefault(r.sha, []).append(r)
    outcomes = {}
    for meta, blob in originals:
        if meta["state"] not in MEASURED:
            continue
        copies = by_sha.get(blob.sha, [])
        if copies:
            want = os.path.basename(meta["path"])
            names = [plain_name(os.path.basename(c.path)) for c in copies]
            named = want in names
            named_ci = not named and want.casefold() in (n.casefold() for n in names)
            ext = os.path.splitext(want)[1].casefold()
            right_ext = any(os.path.splitext(n)[1].casefold() == ext for n in names)
            outcomes[meta["path"]] = Outcome("exact", named, named_ci, [(c.path, c.size) for c in copies],
                                             right_ext)
            continue
        partial = [r for r in recovered if is_partial(blob, r)]
        outcomes[meta["path"]] = Outcome("partial" if partial else "missed",
                                         recovered=[(r.path, r.size) for r in partial])
    known = {blob.sha for _, blob in originals}
    noise = [(r.path, r.size) for r in recovered
             if r.sha not in known and not any(is_partial(b, r) for _, b in originals)]
    return outcomes, noise
