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
