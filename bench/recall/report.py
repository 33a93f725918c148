"""Tables of the recall benchmark: one per scan, totals, one per format over every scan, and the
list of originals korvalo did not give back exactly or not under their name.

A scan is a dict: name, area, title, overwritten (count), originals [(file dict, Blob)], runs
{tool: Run or None}; a Run (tools.Run) carries outcomes {original path: scoring.Outcome}, noise
[(path, size)], seconds and status.
A tool that was not run (not installed) shows "-".
"""

import os

import scoring
from tools import TOOLS

STATES = scoring.MEASURED
_KINDS = ("exact", "partial", "missed")
_W = 6                      # width of one number column
_GROUP = 4 * _W             # exact, partial, missed, named
_NOISE_SHOWN = 8            # noise files listed per scan


def _ext(path):
    return os.path.splitext(path)[1].lstrip(".").lower() or "(none)"


def _measured(scan, state=None):
    return [m["path"] for m, _ in scan["originals"]
            if m["state"] in STATES and (state is None or m["state"] == state)]


def _counts(outcomes):
    """exact, partial, missed, named ("n+m": m more copies are named only ignoring case)."""
    cells = [sum(o.kind == k for o in outcomes) for k in _KINDS]
    named, ci = sum(o.named for o in outcomes), sum(o.named_ci for o in outcomes)
    return cells + [f"{named}+{ci}" if ci else str(named)]


def _header(out):
    print(f"{'':13}" + "".join(f" | {t:^{_GROUP}}" for t in TOOLS), file=out)
    cols = "".join(f"{k:>{_W}}" for k in ("exact", "part", "miss", "named"))
    print(f"{'state':7}{'files':>6}" + f" | {cols}" * len(TOOLS), file=out)


def _cells(values):
    return " | " + "".join(f"{v:>{_W}}" for v in values)


def _wide(text):
    return f" | {text:<{_GROUP}}"


def _state_rows(scans, out):
    for state in STATES:
        row = f"{state:7}{sum(len(_measured(s, state)) for s in scans):>6}"
        for tool in TOOLS:
            runs = [s["runs"].get(tool) for s in scans]
            if any(r is None for r in runs):
                row += _cells(["-"] * 4)
                continue
            row += _cells(_counts([r.outcomes[p] for s, r in zip(scans, runs)
                                   for p in _measured(s, state)]))
        print(row, file=out)
    row = f"{'noise':13}"
    for tool in TOOLS:
        runs = [s["runs"].get(tool) for s in scans]
        row += _wide("-" if any(r is None for r in runs) else f"{sum(len(r.noise) for r in runs):>{_W}}")
    print(row, file=out)


LEGEND = """\
exact: a recovered file is byte-identical; part: padded or cut (the first 4 KiB agree); miss:
neither; named: an exact copy carries the original's name (n+m: m more only ignoring case);
noise: recovered files that match no original. States: live (listed), deleted, lost (listed
before the volume was reformatted or lost its boot sector)."""


def scan_table(scan, out):
    note = f" ({scan['overwritten']} deleted originals overwritten by later files: not counted)" \
        if scan["overwritten"] else ""
    print(f"\n== {scan['title']}{note}", file=out)
    _header(out)
    _state_rows([scan], out)
    row = f"{'time':13}"
    for tool in TOOLS:
        run = scan["runs"].get(tool)
        text = "-" if run is None else f"{run.seconds:>{_W - 1}.1f}s" + (f" ({run.status})" if run.status else "")
        row += _wide(text)
    print(row, file=out)


def totals_table(scans, out):
    print(f"\n== All {len(scans)} scans together", file=out)
    _header(out)
    _state_rows(scans, out)
    row = f"{'time':13}"
    for tool in TOOLS:
        runs = [s["runs"].get(tool) for s in scans]
        row += _wide("-" if any(r is None for r in runs) else f"{sum(r.seconds for r in runs):>{_W - 1}.1f}s")
    print(row, file=out)


def format_table(scans, out, which="every scan"):
    """Exact copies per format over every scan (live, deleted and lost together), and how many of
    them carry the format's extension; '<' marks a format where korvalo got fewer exact copies
    than PhotoRec."""
    rows = {}
    for scan in scans:
        for path in _measured(scan):
            row = rows.setdefault(_ext(path), {"originals": 0})
            row["originals"] += 1
            for tool in TOOLS:
                run = scan["runs"].get(tool)
                if run is not None:
                    outcome = run.outcomes[path]
                    exact, ext = row.get(tool, (0, 0))
                    row[tool] = (exact + (outcome.kind == "exact"), ext + (outcome.kind == "exact" and outcome.right_ext))
    print(f"\n== Exact copies per format, {which} (exact/with the right extension)", file=out)
    print(f"{'format':8}{'originals':>10}" + "".join(f"{t:>13}" for t in TOOLS), file=out)
    for ext in sorted(rows):
        row = rows[ext]
        cells = "".join(f"{'%d/%d' % row[t] if t in row else '-':>13}" for t in TOOLS)
        line = f"{ext:8}{row['originals']:>10}" + cells
        if "photorec" in row and row.get("korvalo", (0, 0))[0] < row["photorec"][0]:
            line += "   < photorec"
        print(line, file=out)


def _unnamed_reason(path, outcome):
    if outcome.named_ci:
        return "exact, name ignoring case"
    want = os.path.basename(path)
    names = {scoring.plain_name(os.path.basename(p)) for p, _ in outcome.recovered}
    # A deleted short entry has lost its first letter; '!' standing in for it is all a
    # tool can give when no long name was kept.
    if "!" + want[1:] in names:
        return "exact, '!' + short name"
    return "exact, unnamed"


def failure_list(scans, out):
    """Originals korvalo got only partially or missed, and exact copies without their name, with
    what was recovered instead (path in korvalo's output folder, size)."""
    print("\n== korvalo: originals not recovered exactly, or not under their name", file=out)
    lines = 0
    for scan in scans:
        run = scan["runs"].get("korvalo")
        if run is None:
            continue
        sizes = {m["path"]: b.size for m, b in scan["originals"]}
        for path in _measured(scan):
            o = run.outcomes[path]
            if o.kind == "exact" and o.named:
                continue
            what = o.kind if o.kind != "exact" else _unnamed_reason(path, o)
            state = next(m["state"] for m, _ in scan["originals"] if m["path"] == path)
            got = ", ".join(f"{os.path.relpath(p, run.out)} ({size} B)" for p, size in o.recovered[:3])
            print(f"{scan['name']:<19} {scan['area']:<12} {state:<8} {what:<25} {sizes[path]:>8} B  {path}"
                  + (f"  <- {got}" if got else ""), file=out)
            lines += 1
    if not lines:
        print("(none)", file=out)
    print("\n== korvalo: noise (recovered files that match no original)", file=out)
    lines = 0
    for scan in scans:
        run = scan["runs"].get("korvalo")
        for path, size in (run.noise if run else [])[:_NOISE_SHOWN]:
            print(f"{scan['name']:<19} {scan['area']:<12} {size:>9} B  {os.path.relpath(path, run.out)}", file=out)
            lines += 1
        if run and len(run.noise) > _NOISE_SHOWN:
            print(f"{scan['name']:<19} {scan['area']:<12} ... and {len(run.noise) - _NOISE_SHOWN} more", file=out)
    if not lines:
        print("(none)", file=out)
