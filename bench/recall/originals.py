"""The original files: made once per run by the real encoders, identical from run to run.

Videos and songs come from ffmpeg's lavfi sources with bit-exact flags and one thread (songs also
through flac, oggenc and opusenc), pictures from python3-pil over seeded pseudo-random drawings
(also through heif-enc, avifenc and cwebp), camera RAW from the test fixtures' writer, PDFs from
pdf_writer, archives from zip, 7z and gzip with fixed member times. Each file is made under a key (its name in the pool folder);
the image layouts decide where and under which name it lands on a volume.
"""

import io
import os
import random
import subprocess

from PIL import Image, ImageDraw

from pdf_writer import make_pdf

# Fixed member time for archives and their inputs (zip and 7z store it).
_FIXED_MTIME = 1_600_000_000

_FFMPEG = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-threads", "1"]
_BITEXACT = ["-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact",
             "-map_metadata", "-1"]


def _av(seconds, size, rate, freq, video, audio, fmt, extra=()):
    """ffmpeg arguments for a test pattern with a tone, `video`/`audio` being codec options."""
    args = ["-f", "lavfi", "-i", f"testsrc=size={size}:rate={rate}:duration={seconds}"]
    if audio:
        args += ["-f", "lavfi", "-i", f"sine=frequency={freq}:beep_factor=3:duration={seconds}"]
    args += list(video) + list(audio) + _BITEXACT + list(extra) + ["-f", fmt]
    return args


def _song(seconds, freq, bitrate, id3v2, id3v1, title):
    tags = ["-metadata", f"title={title}", "-metadata", "artist=Artist One",
            "-metadata", "album=First Album"] if (id3v2 or id3v1) else []
    # -map_metadata -1 drops input metadata; the -metadata options above still apply.
    return (["-f", "lavfi", "-i", f"sine=frequency={freq}:beep_factor=5:duration={seconds}",
             "-c:a", "libmp3lame", "-b:a", bitrate] + _BITEXACT + tags
            + ["-id3v2_version", "3" if id3v2 else "0", "-write_id3v1", "1" if id3v1 else "0",
               "-f", "mp3"])


def _tone(seconds, freq, codec, fmt):
    """A tone through one of ffmpeg's audio encoders."""
    return (["-f", "lavfi", "-i", f"sine=frequency={freq}:beep_factor=4:duration={seconds}"] + list(codec)
            + _BITEXACT + ["-f", fmt])


_MPEG1 = ["-c:v", "mpeg1video"]
_MPEG2 = ["-c:v", "mpeg2video"]
_MP2 = ["-c:a", "mp2", "-b:a", "128k"]
_H264 = ["-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"]
_AAC = ["-c:a", "aac", "-b:a", "96k"]

# key -> ffmpeg arguments (inputs, codecs, container).
FFMPEG_FILES = {
    "ps1_small.mpg": _av(3, "320x240", 25, 440, _MPEG1 + ["-b:v", "600k"], _MP2, "mpeg"),
    "ps1_large.mpg": _av(10, "352x288", 25, 523, _MPEG1 + ["-b:v", "1500k"], _MP2, "mpeg"),
    "ps2_dvd.vob": _av(4, "720x576", 25, 330, _MPEG2 + ["-b:v", "3000k"], _MP2, "vob"),
    "ps2_ac3.vob": _av(3, "720x480", 30, 660, _MPEG2 + ["-b:v", "2000k"],
                       ["-c:a", "ac3", "-b:a", "192k"], "vob"),
    "flv_spark.flv": _av(4, "320x240", 25, 440, ["-c:v", "flv1", "-b:v", "500k"],
                         ["-c:a", "libmp3lame", "-ar", "44100", "-b:a", "64k"], "flv"),
    "flv_h264.flv": _av(6, "480x270", 25, 880, _H264 + ["-b:v", "700k"], _AAC, "flv"),
    "mov_mpeg4.mov": _av(4, "640x360", 25, 440, ["-c:v", "mpeg4", "-b:v", "1200k"], _AAC, "mov"),
    "mov_h264_pcm.mov": _av(3, "640x480", 30, 550, _H264 + ["-b:v", "1000k"],
                            ["-c:a", "pcm_s16le"], "mov"),
    "mp4_h264.mp4": _av(8, "640x360", 25, 440, _H264 + ["-b:v", "1500k"], _AAC, "mp4"),
    "mp4_faststart.mp4": _av(5, "480x270", 25, 700, _H264 + ["-b:v", "600k"], _AAC, "mp4",
                             ["-movflags", "+faststart"]),
    "mp4_tiny.mp4": _av(1, "160x120", 10, 300, _H264 + ["-b:v", "100k"], _AAC, "mp4"),
    "mp4_welcome.mp4": _av(2, "320x240", 25, 770, _H264 + ["-b:v", "500k"], _AAC, "mp4"),
    "mkv_h264.mkv": _av(5, "640x360", 25, 440, _H264 + ["-b:v", "900k"],
                        ["-c:a", "libvorbis", "-b:a", "96k"], "matroska"),
    "mkv_mpeg4.mkv": _av(3, "320x240", 25, 600, ["-c:v", "mpeg4", "-b:v", "500k"],
                         ["-c:a", "libmp3lame", "-b:a", "96k"], "matroska"),
    "avi_mpeg4.avi": _av(4, "320x240", 25, 440, ["-c:v", "mpeg4", "-b:v", "700k"],
                         ["-c:a", "libmp3lame", "-b:a", "96k"], "avi"),
    "avi_mjpeg.avi": _av(2, "320x240", 15, 500, ["-c:v", "mjpeg", "-q:v", "5"],
                         ["-c:a", "pcm_s16le"], "avi"),
    "voice_aac.m4a": _tone(9, 466, ["-c:a", "aac", "-b:a", "96k"], "ipod"),
    "album_aac.m4a": _tone(30, 415, ["-c:a", "aac", "-b:a", "128k"], "ipod"),
    "webm_vp8.webm": _av(4, "320x240", 25, 440, ["-c:v", "libvpx", "-b:v", "400k"],
                         ["-c:a", "libvorbis", "-b:a", "64k"], "webm"),
    "webm_vp9.webm": _av(3, "480x270", 25, 620, ["-c:v", "libvpx-vp9", "-b:v", "300k", "-row-mt", "0"],
                         ["-c:a", "libopus", "-b:a", "48k"], "webm"),
    "song_v2_a.mp3": _song(12, 440, "128k", True, False, "Opening Theme"),
    "song_v2_b.mp3": _song(25, 494, "160k", True, False, "Second Song"),
    "song_v2_c.mp3": _song(90, 392, "192k", True, False, "Long Ballad"),
    "song_v1_a.mp3": _song(8, 523, "128k", True, True, "Interlude"),
    "song_v1_b.mp3": _song(18, 587, "96k", True, True, "Closing Song"),
    "memo_bare.mp3": _song(6, 350, "64k", False, False, ""),
    "ringtone.mp3": _song(4, 660, "128k", True, False, "Ringtone"),
}


def _scene(seed, width, height, grain):
    """A deterministic photo-like picture: gradient sky, shapes, and `grain` (0..1) of noise."""
    rng = random.Random(seed)
    base = Image.linear_gradient("L").resize((width, height))
    top = tuple(rng.randrange(256) for _ in range(3))
    bottom = tuple(rng.randrange(256) for _ in range(3))
    img = Image.merge("RGB", [base.point(lambda v, a=a, b=b: a + (b - a) * v // 255)
                              for a, b in zip(top, bottom)])
    draw = ImageDraw.Draw(img)
    for _ in range(rng.randint(12, 30)):
        x0, y0 = rng.randrange(width), rng.randrange(height)
        x1, y1 = x0 + rng.randint(10, width // 2), y0 + rng.randint(10, height // 2)
        colour = tuple(rng.randrange(256) for _ in range(3))
        (draw.ellipse if rng.random() < 0.5 else draw.rectangle)((x0, y0, x1, y1), fill=colour)
    if grain > 0:
        noise = Image.frombytes("RGB", (width, height), rng.randbytes(width * height * 3))
        img = Image.blend(img, noise, grain)
    return img


def _strip_app_segments(jpeg, keep_exif):
    """Drops the APPn segments PIL writes after SOI, as camera firmware without JFIF would;
    with keep_exif the APP1 Exif segment stays (the file then starts FF D8 FF E1), otherwise the
    file starts FF D8 FF DB."""
    out, pos = bytearray(jpeg[:2]), 2
    while jpeg[pos] == 0xFF and 0xE0 <= jpeg[pos + 1] <= 0xEF:
        length = int.from_bytes(jpeg[pos + 2:pos + 4], "big")
        if keep_exif and jpeg[pos + 1] == 0xE1:
            out += jpeg[pos:pos + 2 + length]
        pos += 2 + length
    return bytes(out + jpeg[pos:])


def _exif(maker, model, when):
    exif = Image.Exif()
    exif[0x010F], exif[0x0110], exif[0x0132] = maker, model, when
    return exif.tobytes()


def _jpeg(seed, size, grain, quality=90, exif=None, progressive=False, strip=None):
    buf = io.BytesIO()
    options = {"quality": quality, "progressive": progressive}
    if exif:
        options["exif"] = exif
    _scene(seed, *size, grain).save(buf, "JPEG", **options)
    data = buf.getvalue()
    return data if strip is None else _strip_app_segments(data, keep_exif=(strip == "keep-exif"))


def _pil(seed, size, grain, fmt, **options):
    buf = io.BytesIO()
    img = _scene(seed, *size, grain)
    if fmt == "GIF":
        img = img.quantize(64)
    if options.pop("animated", False):
        frames = [_scene(seed + i, *size, grain).quantize(64) for i in range(1, 6)]
        options.update(save_all=True, append_images=frames, duration=200, loop=0)
    img.save(buf, fmt, **options)
    return buf.getvalue()


def _text(seed, lines):
    rng = random.Random(seed)
    words = ("alpha beta gamma delta server backup request status error warning user login "
             "session timeout disk volume folder photo upload sync").split()
    return "".join(f"2021-03-{rng.randint(1, 28):02d} {rng.randint(0, 23):02d}:{rng.randint(0, 59):02d} "
                   + " ".join(rng.choice(words) for _ in range(rng.randint(5, 14))) + "\n"
                   for _ in range(lines)).encode()


# key -> function making the bytes.
PYTHON_FILES = {
    "jfif_a.jpg": lambda: _jpeg(101, (1024, 768), 0.10),
    "jfif_b.jpg": lambda: _jpeg(102, (800, 600), 0.25, quality=85),
    "jfif_c.jpg": lambda: _jpeg(103, (1600, 1200), 0.15),
    "jfif_d.jpg": lambda: _jpeg(104, (320, 240), 0.05, quality=75),
    "jfif_e.jpg": lambda: _jpeg(105, (640, 480), 0.20),
    "exif_a.jpg": lambda: _jpeg(111, (1280, 960), 0.12, exif=_exif("Canon", "EOS 80D", "2023:07:14 10:01:02"),
                                strip="keep-exif"),
    "exif_b.jpg": lambda: _jpeg(112, (1024, 768), 0.20, exif=_exif("Canon", "EOS 80D", "2023:07:14 10:05:40"),
                                strip="keep-exif"),
    "exif_c.jpg": lambda: _jpeg(113, (1600, 1200), 0.08, exif=_exif("SONY", "DSC-RX100", "2022:08:01 18:20:00"),
                                strip="keep-exif"),
    "exif_d.jpg": lambda: _jpeg(114, (800, 600), 0.30, exif=_exif("SONY", "DSC-RX100", "2022:08:01 18:22:13")),
    "exif_e.jpg": lambda: _jpeg(115, (1024, 768), 0.15, exif=_exif("Canon", "EOS 80D", "2023:12:24 17:30:00"),
                                strip="keep-exif"),
    "exif_f.jpg": lambda: _jpeg(116, (800, 600), 0.10, exif=_exif("Canon", "EOS 80D", "2023:12:24 17:31:12")),
    "nojfif_a.jpg": lambda: _jpeg(121, (1024, 768), 0.10, strip="all"),
    "nojfif_b.jpg": lambda: _jpeg(122, (640, 480), 0.20, strip="all"),
    "nojfif_c.jpg": lambda: _jpeg(123, (200, 150), 0.05, strip="all"),
    "nojfif_d.jpg": lambda: _jpeg(124, (480, 360), 0.10, strip="all"),
    "progressive_a.jpg": lambda: _jpeg(131, (1280, 720), 0.12, progressive=True),
    "progressive_b.jpg": lambda: _jpeg(132, (640, 480), 0.25, progressive=True),
    "picture_a.png": lambda: _pil(141, (800, 600), 0.10, "PNG"),
    "picture_b.png": lambda: _pil(142, (400, 300), 0.0, "PNG"),
    "picture_c.png": lambda: _pil(143, (1024, 768), 0.30, "PNG"),
    "picture_d.png": lambda: _pil(144, (300, 200), 0.05, "PNG"),
    "scan_plain.tif": lambda: _pil(151, (600, 400), 0.05, "TIFF"),
    "scan_lzw.tif": lambda: _pil(152, (800, 600), 0.10, "TIFF", compression="tiff_lzw"),
    "scan_packbits.tif": lambda: _pil(153, (500, 700), 0.0, "TIFF", compression="packbits"),
    "paint_a.bmp": lambda: _pil(161, (400, 300), 0.05, "BMP"),
    "paint_b.bmp": lambda: _pil(162, (640, 480), 0.0, "BMP"),
    "anim.gif": lambda: _pil(171, (320, 240), 0.0, "GIF", animated=True),
    "still.gif": lambda: _pil(172, (500, 400), 0.05, "GIF"),
    "report_lf.pdf": lambda: make_pdf(201, 4, 300_000, 1, b"\n"),
    "report_crlf.pdf": lambda: make_pdf(202, 2, 120_000, 1, b"\r\n"),
    "report_two_updates.pdf": lambda: make_pdf(203, 6, 600_000, 2, b"\n"),
    "report_no_eol.pdf": lambda: make_pdf(204, 3, 60_000, 1, b""),
    "letter_crlf.pdf": lambda: make_pdf(205, 1, 20_000, 2, b"\r\n"),
    "scan_2023.pdf": lambda: make_pdf(206, 2, 40_000, 1, b"\r\n"),
}

# key -> (member seed, members or text lines); made by zip, 7z and gzip in _make_archives.
ZIP_FILES = {"documents.zip": (301, ["minutes.txt", "contacts.csv", "diagram.bmp"]),
             "album.zip": (302, ["contacts.csv", "diagram.bmp"])}
SEVEN_ZIP_FILES = {"budget.7z": (311, ["minutes.txt", "contacts.csv"]),
                   "mixed.7z": (312, ["minutes.txt", "diagram.bmp", "random.bin"])}
GZIP_FILES = {"server_log.gz": (321, 9000), "notes.gz": (322, 700), "backup.gz": (323, 2000)}


def _archive_inputs(folder, seed):
    """Writes a few member files with fixed times; returns their names."""
    os.makedirs(folder, exist_ok=True)
    members = {
        "minutes.txt": _text(seed, 3000),
        "contacts.csv": _text(seed + 1, 1500).replace(b" ", b";"),
        "diagram.bmp": _pil(seed + 2, (300, 200), 0.0, "BMP"),
        "random.bin": random.Random(seed + 3).randbytes(40_000),
    }
    for name, data in members.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (_FIXED_MTIME, _FIXED_MTIME))
    return sorted(members)


def _run(args, cwd=None):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL)


def _make_archives(pool):
    scratch = os.path.join(pool, ".archive-inputs")
    for key, (seed, members) in ZIP_FILES.items():
        src = os.path.join(scratch, key)
        _archive_inputs(src, seed)
        # -X: no extra fields (uid/gid, extended times) so the bytes do not depend on the host.
        _run(["zip", "-X", "-q", "-9", os.path.join(pool, key)] + members, cwd=src)
    for key, (seed, members) in SEVEN_ZIP_FILES.items():
        src = os.path.join(scratch, key)
        _archive_inputs(src, seed)
        _run(["7z", "a", "-bd", "-mmt=1", "-mtc=off", "-mta=off", os.path.join(pool, key)] + members,
             cwd=src)
    for key, (seed, lines) in GZIP_FILES.items():
        with open(os.path.join(pool, key), "wb") as out:
            # -n: no name and time in the header.
            subprocess.run(["gzip", "-n", "-9", "-c"], input=_text(seed, lines), stdout=out, check=True)
    subprocess.run(["rm", "-rf", scratch], check=True)


def _wav(seconds, freq, path):
    """A 44.1 kHz stereo tone written as a WAV file, the input of the audio encoders below."""
    _run(_FFMPEG + ["-f", "lavfi", "-i", f"sine=frequency={freq}:beep_factor=2:duration={seconds}",
                    "-ac", "2", "-ar", "44100"] + _BITEXACT + ["-f", "wav", path])


def _encoded(scratch, write_input, suffix, command):
    """Runs `command` (with {i} and {o} for the input and output paths) on an input that
    write_input(path) writes; returns the output's bytes."""
    subprocess.run(["rm", "-rf", scratch], check=True)
    os.makedirs(scratch)
    inp, out = os.path.join(scratch, "in" + suffix[0]), os.path.join(scratch, "out" + suffix[1])
    write_input(inp)
    _run([a.format(i=inp, o=out) for a in command])
    with open(out, "rb") as f:
        return f.read()


def _write(data):
    def write(path):
        with open(path, "wb") as f:
            f.write(data)
    return write


def _picture_by(seed, size, grain, command, ext):
    return lambda scratch: _encoded(scratch, _write(_pil(seed, size, grain, "PNG")), (".png", ext), command)


def _audio_by(seconds, freq, command, ext):
    return lambda scratch: _encoded(scratch, lambda path: _wav(seconds, freq, path), (".wav", ext), command)


def _camera_raw(kind, seed):
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "fixtures",
                          "camera_raw.py")
    return lambda scratch: _encoded(scratch, _write(b""), (".none", "." + kind),
                                    ["/usr/bin/python3", "-B", script, kind, "{o}", str(seed)])


_HEIF = ["heif-enc", "-q", "60", "{i}", "-o", "{o}"]
_AVIF = ["avifenc", "-j", "1", "-s", "8", "{i}", "{o}"]

# key -> function(scratch folder) making the bytes with a dedicated encoder.
TOOL_FILES = {
    "iphone_a.heic": _picture_by(401, (1024, 768), 0.10, _HEIF, ".heic"),
    "iphone_b.heic": _picture_by(402, (640, 480), 0.20, _HEIF, ".heic"),
    "pixel_a.avif": _picture_by(411, (800, 600), 0.10, _AVIF, ".avif"),
    "pixel_b.avif": _picture_by(412, (400, 300), 0.05, _AVIF, ".avif"),
    "banner_lossy.webp": _picture_by(421, (800, 600), 0.10, ["cwebp", "-quiet", "-q", "80", "{i}", "-o", "{o}"],
                                     ".webp"),
    "icon_lossless.webp": _picture_by(422, (200, 200), 0.0,
                                      ["cwebp", "-quiet", "-lossless", "{i}", "-o", "{o}"], ".webp"),
    "concert.flac": _audio_by(12, 440, ["flac", "-s", "-5", "{i}", "-o", "{o}"], ".flac"),
    "lecture.flac": _audio_by(5, 330, ["flac", "-s", "-8", "{i}", "-o", "{o}"], ".flac"),
    "podcast.ogg": _audio_by(10, 523, ["oggenc", "-Q", "-q", "3", "{i}", "-o", "{o}"], ".ogg"),
    "voice_note.opus": _audio_by(6, 392, ["opusenc", "--quiet", "{i}", "{o}"], ".opus"),
    "canon_a.cr2": _camera_raw("cr2", 431),
    "nikon_a.nef": _camera_raw("nef", 432),
    "sony_a.arw": _camera_raw("arw", 433),
    "adobe_a.dng": _camera_raw("dng", 434),
    "olympus_a.orf": _camera_raw("orf", 435),
    "panasonic_a.rw2": _camera_raw("rw2", 436),
    "pentax_a.pef": _camera_raw("pef", 437),
    "fuji_a.raf": _camera_raw("raf", 438),
    "canon_b.cr3": _camera_raw("cr3", 439),
}


def make_pool(pool):
    """Makes every original file under `pool`, keyed by file name."""
    os.makedirs(pool, exist_ok=True)
    for key, args in FFMPEG_FILES.items():
        _run(_FFMPEG + args + [os.path.join(pool, key)])
    for key, make in PYTHON_FILES.items():
        with open(os.path.join(pool, key), "wb") as f:
            f.write(make())
    scratch = os.path.join(pool, ".tool-inputs")
    for key, make in TOOL_FILES.items():
        data = make(scratch)
        with open(os.path.join(pool, key), "wb") as f:
            f.write(data)
    subprocess.run(["rm", "-rf", scratch], check=True)
    _make_archives(pool)


def make_fragments(folder, count):
    """Small pictures (one to three 4 KiB clusters) for the fragmented volume."""
    os.makedirs(folder, exist_ok=True)
    names = []
    for i in range(count):
        rng = random.Random(500 + i)
        side = rng.randint(40, 90)
        if i % 2:
            data = _jpeg(500 + i, (side * 2, side), 0.3, quality=80)
            name = f"thumb_{i:02d}.jpg"
        else:
            data = _pil(500 + i, (side, side), 0.2, "PNG")
            name = f"icon_{i:02d}.png"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        names.append(name)
    return names
