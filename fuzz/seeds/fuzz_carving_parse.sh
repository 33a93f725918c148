#!/usr/bin/env bash
# Seeds for fuzz_carving_parse: the file heads of fuzz_signature_walk, and whole small files of
# the formats whose size comes from walking their structure, made here by the real tools (camera
# RAW by the test fixtures' writer). The
# target reads its first byte as settings (sector size, stop plan), so each file is written
# after a 0x00 (512-byte sectors) and a 0x01 (4096-byte sectors).
set -eu
out=${1:?usage: $0 <corpus-dir>}
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/fuzz_signature_walk.sh" "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg="ffmpeg -hide_banner -loglevel error -nostdin -y"
video="-f lavfi -i testsrc=size=32x24:rate=25"
audio="-f lavfi -i sine=frequency=440:duration=0.5"
exact="-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -t 0.5"
# Every tool is installed by scripts/install-deps.sh: one that is missing or fails fails the
# script, so the fuzz run never goes on without these seeds.
$ffmpeg $video $audio $exact -c:v mpeg1video -c:a mp2 -f mpeg "$work/ps1.mpeg"
$ffmpeg $video $audio $exact -c:v mpeg2video -c:a mp2 -f vob "$work/ps2.mpeg"
$ffmpeg $video $audio $exact -c:v flv -c:a libmp3lame -f flv "$work/a.flv"
$ffmpeg $video $audio $exact -c:v mpeg4 -c:a aac -f mov "$work/a.mov"
$ffmpeg $video $audio $exact -c:v mpeg4 -c:a aac -movflags +faststart -f mp4 "$work/a.mp4"
$ffmpeg $audio $exact -c:a libmp3lame -write_id3v1 1 -f mp3 "$work/a.mp3"
/usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image
out = sys.argv[1]
rgb = Image.linear_gradient("L").resize((32, 24)).convert("RGB")
rgb.save(out + "/a.tif", "TIFF")
rgb.save(out + "/pages.tif", "TIFF", save_all=True, append_images=[rgb.convert("L")])
Image.frombytes("I;16B", (16, 16), bytes(range(256)) * 2).save(out + "/mm.tif", "TIFF")
rgb.convert("CMYK").save(out + "/cmyk.jpg", "JPEG")
PY
$ffmpeg -f lavfi -i testsrc=size=32x24:rate=1 -frames:v 1 "$work/src.png"
$ffmpeg $audio $exact -c:a pcm_s16le -f wav "$work/src.wav"
$ffmpeg $audio $exact -c:a aac -f ipod "$work/a.m4a"
$ffmpeg $video $audio $exact -c:v libvpx -c:a libopus -f webm "$work/a.webm"
heif-enc -o "$work/a.heic" "$work/src.png" >/dev/null
avifenc "$work/src.png" "$work/a.avif" >/dev/null
cwebp -quiet "$work/src.png" -o "$work/a.webp"
flac -s -f -b 1152 "$work/src.wav" -o "$work/a.flac"
oggenc -Q "$work/src.wav" -o "$work/a.ogg"
opusenc --quiet "$work/src.wav" "$work/a.opus"
rm -f "$work/src.png" "$work/src.wav"
for kind in cr2 nef arw dng orf rw2 pef raf cr3; do
    /usr/bin/python3 "$here/../../tests/fixtures/camera_raw.py" "$kind" "$work/camera.$kind"
done
seq 1 3000 | gzip -n > "$work/a.gz"
printf '%%PDF-1.4\n1 0 obj\n<< /Type /Catalog >>\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%%%EOF\n2 0 obj\n<< /Length 3 >>\nstream\nabc\nendstream\nendobj\nxref\n2 1\n0000000060 00000 n \ntrailer\n<< /Root 1 0 R /Prev 0 >>\n%%%%EOF\r\n' > "$work/a.pdf"

for f in "$work"/*; do
    name=$(basename "$f")
    [ -s "$f" ] || continue
    { printf '\000'; cat "$f"; } > "$out/whole-512-$name"
    { printf '\001'; cat "$f"; } > "$out/whole-4096-$name"
done
