#include "carving/file_type_icons.h"

#include <strings.h>

#define KORVALO_ICON_DIR ":/image/FileIcon/"
#define KORVALO_ICON(name) {#name, KORVALO_ICON_DIR #name ".png"}

const _FILE_TYPE_ICON_ szFileTypeStr[FILE_TYPE_ICON_ROWS] = {
    KORVALO_ICON(7z),       KORVALO_ICON(accdb),  KORVALO_ICON(ace),
    KORVALO_ICON(acid),     KORVALO_ICON(aiff),   KORVALO_ICON(asf),
    KORVALO_ICON(at3),      KORVALO_ICON(au),     KORVALO_ICON(avi),
    KORVALO_ICON(bmp),      KORVALO_ICON(cab),    KORVALO_ICON(chm),
    KORVALO_ICON(divx),     KORVALO_ICON(doc),    KORVALO_ICON(dss),
    KORVALO_ICON(dv),       KORVALO_ICON(epson),  KORVALO_ICON(exe),
    KORVALO_ICON(gif),      KORVALO_ICON(gzip),   KORVALO_ICON(html),
    KORVALO_ICON(ico),      KORVALO_ICON(indd),   KORVALO_ICON(jar),
    KORVALO_ICON(jpg),      {"jpeg", KORVALO_ICON_DIR "jpg.png"},
    KORVALO_ICON(mamiya),   KORVALO_ICON(mid),    KORVALO_ICON(minolta),
    KORVALO_ICON(mov),      KORVALO_ICON(mp3),    KORVALO_ICON(mp4),
    KORVALO_ICON(mpeg),     KORVALO_ICON(music),  KORVALO_ICON(ods),
    KORVALO_ICON(ogg),      KORVALO_ICON(one),    KORVALO_ICON(other),
    KORVALO_ICON(pdf),      KORVALO_ICON(png),    KORVALO_ICON(ppt),
    KORVALO_ICON(psd),      KORVALO_ICON(psp),    KORVALO_ICON(rar),
    KORVALO_ICON(real),     KORVALO_ICON(rmvb),   KORVALO_ICON(rps),
    KORVALO_ICON(thm),      KORVALO_ICON(tif),    {"tiff", KORVALO_ICON_DIR "tif.png"},
    KORVALO_ICON(tod),      KORVALO_ICON(txt),    KORVALO_ICON(vob),
    KORVALO_ICON(wma),      KORVALO_ICON(wmv),    KORVALO_ICON(wps),
    KORVALO_ICON(xls),      KORVALO_ICON(xml),    KORVALO_ICON(zip),
    KORVALO_ICON(audio_default),  KORVALO_ICON(default),       KORVALO_ICON(image),
    KORVALO_ICON(office_default), KORVALO_ICON(photo_default), KORVALO_ICON(video_default),
    KORVALO_ICON(heic),     {"heif", KORVALO_ICON_DIR "heic.png"},       KORVALO_ICON(avif),
    KORVALO_ICON(cr3),      KORVALO_ICON(webp),   KORVALO_ICON(m4a),
    KORVALO_ICON(flac),     KORVALO_ICON(opus),   KORVALO_ICON(webm),
    // camera RAW
    KORVALO_ICON(cr2),      KORVALO_ICON(nef),    KORVALO_ICON(arw),
    KORVALO_ICON(dng),      KORVALO_ICON(orf),    KORVALO_ICON(rw2),
    KORVALO_ICON(pef),      KORVALO_ICON(raf),
    {nullptr, nullptr},
};

#undef KORVALO_ICON
#undef KORVALO_ICON_DIR

const char* FindFileTypeIcon(const char* szName) {
    if (szName == nullptr) return nullptr;
    for (const _FILE_TYPE_ICON_* pRow = szFileTypeStr; pRow->szExtendName != nullptr; ++pRow)
        if (strcasecmp(pRow->szExtendName, szName) == 0) return pRow->szIconPath;
    return nullptr;
}
