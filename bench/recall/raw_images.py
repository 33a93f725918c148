"""A raw image without any file system: every original laid down once, each on a 4 KiB boundary,
the rest of its last sector zero (as a file system writes it) and then seeded noise that starts
no file, as on a card whose every table is gone. What comes back is carving's work alone, named
by what it recognised."""

import os
import random

_SECTOR = 512
_ALIGN = 4096
_NOISE = 8192


def build_raw(image, pool):
    names = sorted(n for n in os.listdir(pool) if os.path.isfile(os.path.join(pool, n)) and not n.startswith("."))
    rng = random.Random(4242)
    with open(image, "wb") as out:
        for name in names:
            with open(os.path.join(pool, name), "rb") as f:
                out.write(f.read())
            out.write(bytes((-out.tell()) % _SECTOR))
            out.write(rng.randbytes(_NOISE + (-out.tell()) % _ALIGN))
        out.write(bytes(1 << 20))
    return {"image": image, "part_start": 0,
            "files": [{"path": name, "source": os.path.join(pool, name), "state": "lost"} for name in names]}
