#!/bin/sh
# Seeds for fuzz_signature_walk: the first 4 KiB of real files of the kinds the table knows,
# found on this machine.
set -eu
out=${1:?usage: $0 <corpus-dir>}
mkdir -p "$out"
n=0
for ext in png jpg gif ttf gz pdf zip jar mp3 ico exe wav bmp; do
    find /usr/share /usr/lib -name "*.$ext" -type f -size +1k 2>/dev/null | head -5 |
    while read -r f; do
        n=$((n + 1))
        head -c 4096 "$f" > "$out/$ext-$n"
    done
done
# Heads whose tests take more than one form: JPEG without JFIF (CMYK with Adobe's segment, and
# tables first) and gzip at its default level.
/usr/bin/python3 - "$out" <<'PY'
import io, sys
from PIL import Image
rgb = Image.linear_gradient("L").resize((32, 24)).convert("RGB")
rgb.convert("CMYK").save(sys.argv[1] + "/jpg-cmyk", "JPEG")
jfif = io.BytesIO()
rgb.save(jfif, "JPEG")
data = jfif.getvalue()
open(sys.argv[1] + "/jpg-tables-first", "wb").write(data[:2] + data[4 + (data[4] << 8 | data[5]):])
PY
seq 1 2000 | gzip -n | head -c 4096 > "$out/gz-default-level"
