"""Where each original lands on a volume, under which name, and what happens to it.

A fate is "live" (stays listed), "del" (deleted on its own: mdel or rm), "tree" (inside
TREE_FOLDER, which is deleted as a whole: mdeltree or rm -r) or "new" (copied after the
deletions, as a camera keeps taking pictures: new entries reuse the deleted entries' slots, so
some deleted files keep their data but lose their entry, and the deleted folder loses its entry
in its parent while its own directory stays on the volume).

Names mix what cameras write (upper-case 8.3), lower-case 8.3 names (kept through the case
bits of the short entry), long names with spaces, and non-ASCII names. The order is chosen so
that a new folder's first directory cluster follows a file whose carved end is easy to get
wrong (FLV, MPEG program stream without end code, MP3 without ID3v1): a sweep that steps over
a too-long carved extent would miss the folder.
"""

TREE_FOLDER = "Photos/Été 2023"

# (path on the volume, pool key, fate), in the order the files are copied.
CARD = [
    ("IMG_0001.JPG", "nojfif_d.jpg", "live"),
    ("Scan 2023-01-05.pdf", "scan_2023.pdf", "del"),
    ("ringtone.mp3", "ringtone.mp3", "del"),
    ("backup 2023.gz", "backup.gz", "live"),
    ("DCIM/100CANON/IMG_1001.JPG", "exif_a.jpg", "live"),
    ("DCIM/100CANON/IMG_1002.JPG", "exif_b.jpg", "del"),
    ("DCIM/100CANON/IMG_1003.JPG", "nojfif_a.jpg", "live"),
    ("DCIM/100CANON/IMG_1004.JPG", "nojfif_b.jpg", "del"),
    ("DCIM/100CANON/MVI_1005.MOV", "mov_h264_pcm.mov", "live"),
    ("DCIM/101MSDCF/DSC00042.JPG", "exif_c.jpg", "del"),
    ("DCIM/101MSDCF/DSC00043.JPG", "exif_d.jpg", "live"),
    ("DCIM/101MSDCF/MAH00044.MP4", "mp4_h264.mp4", "del"),
    ("Photos/Été 2023/Plage de Biarritz au coucher du soleil.jpg", "jfif_a.jpg", "tree"),
    ("Photos/Été 2023/Famille à la montagne.png", "picture_a.png", "tree"),
    ("Photos/Été 2023/Panorama progressif.jpg", "progressive_a.jpg", "tree"),
    ("Photos/Été 2023/Carte postale scannée.tif", "scan_lzw.tif", "tree"),
    ("Photos/Été 2023/Diaporama de vacances.gif", "anim.gif", "tree"),
    ("Photos/Été 2023/Vidéos/Baignade à midi.mp4", "mp4_faststart.mp4", "tree"),
    ("Photos/Été 2023/Vidéos/clip.flv", "flv_spark.flv", "tree"),
    ("Photos/Winter 2022/snow.jpg", "jfif_b.jpg", "live"),
    ("Photos/Winter 2022/Ski Trip Group Photo.jpg", "jfif_c.jpg", "del"),
    ("Photos/Winter 2022/thumb.jpg", "nojfif_c.jpg", "live"),
    ("Photos/Winter 2022/Sledge.bmp", "paint_a.bmp", "del"),
    ("Photos/Winter 2022/progressive_portrait.jpg", "progressive_b.jpg", "live"),
    ("Photos/Scans/SCAN0001.TIF", "scan_plain.tif", "live"),
    ("Photos/Scans/scan0002.tif", "scan_packbits.tif", "del"),
    ("Photos/Scans/Drawing of the house.bmp", "paint_b.bmp", "live"),
    ("Photos/Scans/logo.png", "picture_b.png", "live"),
    ("Photos/Scans/Large Poster Design.png", "picture_c.png", "del"),
    ("Photos/Scans/still.gif", "still.gif", "live"),
    ("Photos/Scans/little_photo.jpg", "jfif_d.jpg", "del"),
    ("Music/Artist One/First Album/01 - Opening Theme.mp3", "song_v2_a.mp3", "live"),
    ("Music/Artist One/First Album/02 - Second Song.mp3", "song_v2_b.mp3", "del"),
    ("Music/Artist One/First Album/03 - Interlude.mp3", "song_v1_a.mp3", "live"),
    ("Music/Artist One/Second Album/01 - Long Ballad.mp3", "song_v2_c.mp3", "del"),
    ("Music/Artist One/Second Album/02 - Closing Song.mp3", "song_v1_b.mp3", "live"),
    ("Music/Voice Memos/memo 2021-03-04.mp3", "memo_bare.mp3", "del"),
    ("Videos/Holiday 2022/Beach at dawn.flv", "flv_h264.flv", "live"),
    ("Videos/Holiday 2022/Drone flight over the bay.mkv", "mkv_h264.mkv", "del"),
    ("Videos/Holiday 2022/Boat.mov", "mov_mpeg4.mov", "live"),
    ("Videos/Holiday 2022/Short clip.mkv", "mkv_mpeg4.mkv", "del"),
    ("Videos/tiny.mp4", "mp4_tiny.mp4", "live"),
    ("Videos/Old Camcorder/MOV001.AVI", "avi_mpeg4.avi", "live"),
    ("Videos/Old Camcorder/Webcam recording.avi", "avi_mjpeg.avi", "del"),
    ("Videos/Old Camcorder/VTS_01_1.VOB", "ps2_dvd.vob", "del"),
    ("Videos/Old Camcorder/VTS_02_1.VOB", "ps2_ac3.vob", "live"),
    ("Videos/Old Camcorder/tape01.mpg", "ps1_small.mpg", "live"),
    ("Videos/Old Camcorder/Tape 02 - Wedding.mpg", "ps1_large.mpg", "del"),
    ("Documents/Work/Reports 2021/Quarterly report Q1.pdf", "report_lf.pdf", "live"),
    ("Documents/Work/Reports 2021/Quarterly report Q2.pdf", "report_crlf.pdf", "del"),
    ("Documents/Work/Reports 2021/Annual summary (final).pdf", "report_two_updates.pdf", "del"),
    ("Documents/Work/Reports 2021/BUDGET.7Z", "budget.7z", "live"),
    ("Documents/Work/Letters/Lettre à Élodie.pdf", "letter_crlf.pdf", "del"),
    ("Documents/Work/Letters/scan.pdf", "report_no_eol.pdf", "live"),
    ("Documents/Personal/documents.zip", "documents.zip", "live"),
    ("Documents/Personal/Photo album backup.zip", "album.zip", "del"),
    ("Documents/Personal/mixed archive.7z", "mixed.7z", "del"),
    ("Documents/Logs/server_log.gz", "server_log.gz", "live"),
    ("Documents/Logs/notes.gz", "notes.gz", "del"),
    ("DCIM/100APPLE/IMG_2001.HEIC", "iphone_a.heic", "del"),
    ("DCIM/100APPLE/IMG_2002.HEIC", "iphone_b.heic", "live"),
    ("Pictures/Phone/PXL_20240101.avif", "pixel_a.avif", "del"),
    ("Pictures/Phone/PXL_20240102.avif", "pixel_b.avif", "live"),
    ("Pictures/Web/banner.webp", "banner_lossy.webp", "del"),
    ("Pictures/Web/icon.webp", "icon_lossless.webp", "live"),
    ("DCIM/100CANON/IMG_1008.CR2", "canon_a.cr2", "del"),
    ("DCIM/100CANON/IMG_1009.CR3", "canon_b.cr3", "live"),
    ("DCIM/100NIKON/DSC_0001.NEF", "nikon_a.nef", "del"),
    ("DCIM/101MSDCF/DSC00045.ARW", "sony_a.arw", "del"),
    ("Photos/Raw/Edited in the darkroom.dng", "adobe_a.dng", "live"),
    ("DCIM/100OLYMP/P1010001.ORF", "olympus_a.orf", "del"),
    ("DCIM/100_PANA/P1000001.RW2", "panasonic_a.rw2", "live"),
    ("DCIM/100PENTX/IMGP0001.PEF", "pentax_a.pef", "del"),
    ("DCIM/100_FUJI/DSCF0001.RAF", "fuji_a.raf", "del"),
    ("Music/Live/Concert recording.flac", "concert.flac", "del"),
    ("Music/Live/lecture.flac", "lecture.flac", "live"),
    ("Music/Podcasts/Episode 12.ogg", "podcast.ogg", "del"),
    ("Music/Voice Memos/voice note.opus", "voice_note.opus", "del"),
    ("Music/Voice Memos/Recording 7.m4a", "voice_aac.m4a", "del"),
    ("Music/Artist One/Third Album/01 - Overture.m4a", "album_aac.m4a", "live"),
    ("Videos/Web/screen capture.webm", "webm_vp8.webm", "del"),
    ("Videos/Web/clip.webm", "webm_vp9.webm", "live"),
    ("DCIM/100CANON/IMG_1006.JPG", "exif_e.jpg", "new"),
    ("DCIM/100CANON/IMG_1007.JPG", "exif_f.jpg", "new"),
    ("Photos/Noël 2023/Sapin.jpg", "jfif_e.jpg", "new"),
    ("Photos/Noël 2023/Carte de voeux.png", "picture_d.png", "new"),
    ("Welcome video.mp4", "mp4_welcome.mp4", "new"),
]


def small(layout, pool_sizes, limit):
    """The entries whose original is at most `limit` bytes (for FAT12's small volume)."""
    return [entry for entry in layout if pool_sizes[entry[1]] <= limit]


# The fragmented volume: small keepers interleaved with spacers in CAMERA_FOLDER, spacers
# deleted, then these larger files copied into LARGE_FOLDER, where their chains fill the holes.
CAMERA_FOLDER = "DCIM/100MEDIA"
LARGE_FOLDER = "Transfers/From phone"
FRAGMENTED_LARGE = [
    "exif_a.jpg", "exif_b.jpg", "exif_c.jpg", "jfif_a.jpg", "jfif_b.jpg", "jfif_c.jpg",
    "nojfif_a.jpg", "progressive_a.jpg", "picture_a.png", "scan_lzw.tif", "paint_a.bmp",
    "song_v2_a.mp3", "song_v1_b.mp3", "mp4_h264.mp4", "mov_mpeg4.mov", "flv_h264.flv",
    "mkv_h264.mkv", "avi_mpeg4.avi", "ps1_small.mpg", "ps2_ac3.vob", "report_lf.pdf",
    "report_two_updates.pdf", "documents.zip", "mixed.7z", "server_log.gz",
]


def apply(layout, pool, copy, delete, delete_tree):
    """Plays `layout` on a volume through the given operations (source, path) / (path) /
    (folder): copies, then single deletions, then the tree deletion, then the new files.
    Returns the originals with their states as the volume now holds them."""
    for path, key, fate in layout:
        if fate != "new":
            copy(f"{pool}/{key}", path)
    for path, _, fate in layout:
        if fate == "del":
            delete(path)
    if any(fate == "tree" for _, _, fate in layout):
        delete_tree(TREE_FOLDER)
    for path, key, fate in layout:
        if fate == "new":
            copy(f"{pool}/{key}", path)
    return [{"path": path, "source": f"{pool}/{key}",
             "state": "live" if fate in ("live", "new") else "deleted"}
            for path, key, fate in layout]
