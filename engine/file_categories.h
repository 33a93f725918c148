#pragma once
// The extension lists of the result categories, as "*.ext|*.ext|..." text. Membership is a
// text search; see ListHoldsEntry below. Each list exists as
// 8-bit and as wide text with the same content (both spelled from one literal). An extension
// belongs to a list when it is a whole entry of it (ListHoldsEntry): "avi" is not in "*.avif".
#include <cstring>

#define KORVALO_PHOTO_TYPES                                                                       \
    "*.bmp|*.gif|*.jpg|*.jpeg|*.png|*.psd|*.tif|*.tiff|*.pcx|*.scr|*.ico|*.nef|*.nrw|*.crw|*.cr2|" \
    "*.sr2|*.arw|*.srf|*.divu|*.pgm|*.k25|*.kdc|*.dcr|*.raf|*.iff|*.pbm|*.mef|*.jp2|*.mos|*.x3f|"  \
    "*.orf|*.erf|*.indd|*.pef|*.psp|*.mrw|*.dng|*.raw|*.pct|*.tga|*.thm|*.icns|*.rw2|"           \
    "*.heic|*.heif|*.avif|*.cr3|*.webp|"
#define KORVALO_AUDIO_TYPES                                                                      \
    "*.mp3|*.wav|*.ape|*.aiff|*.rps|*.mid|*.midi|*.m4a|*.m4p|*.au|*.ogg|*.wma|*.rm|*.ra|*.acd|" \
    "*.amr|*.at3|*.caf|*.dss|*.m4r|*.nra|*.snd|"                                                \
    "*.flac|*.opus|*.oga"
#define KORVALO_DOCUMENT_TYPES                                                                   \
    "*.doc|*.xls|*.ppt|*.odt|*.ods|*.pdf|*.docx|*.xlsx|*.pptx|*.ole|*.txt|*.xml|*.chm|*.htm|" \
    "*.html|*.pst|*.dbx|*.wps|*.dps|*.et|*.one|*.mpp|*.mdb|*.accdb"
#define KORVALO_VIDEO_TYPES                                                                       \
    "*.rmvb|*.rm|*.mpeg|*.mov|*.avi|*.wmv|*.asf|*.mp4|*.flv|*.fla|*.swf|*.m4v|*.3gp|*.dv|*.3g2|" \
    "*.m4b|*.mkv|*.mts|*.divx|*.ogm|*.moi|*.vob|*.ajp|*.f4v|*.mqv|*.svi|*.vid|*.tod|*.hdmov|"     \
    "*.mod|*.mxf|*.lrv|"                                                                          \
    "*.webm|"
#define KORVALO_ARCHIVE_TYPES \
    "*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|*.jar|*.iso|*.exe|*.dmg|"
#define KORVALO_OFFICE_ARCHIVE_TYPES                                                                \
    "*.pdf|*.doc|*.dot|*.docx|*.dotx|*.docm|*.dotm|*.rtf|*.odt|*.ppt|*.pptx|*.pptm|*.pps|*.ppsx|"  \
    "*.ppsm|*.odp|*.xls|*.xlsx|*.xlsm|*.csv|*.odc|*.vsd|*.vsdm|*.vsdx|*.pub|*.mpp|*.ics|*.vcf|"    \
    "*.msg|*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|*.jar|*.iso"

inline constexpr char szPhotoFileTypeList[] = KORVALO_PHOTO_TYPES;
inline constexpr char szAudioFileTypeList[] = KORVALO_AUDIO_TYPES;
inline constexpr char szDocumentFileTypeList[] = KORVALO_DOCUMENT_TYPES;
inline constexpr char szVideoFileTypeList[] = KORVALO_VIDEO_TYPES;
inline constexpr char szArchiveFileTypeList[] = KORVALO_ARCHIVE_TYPES;
inline constexpr char szOfficeArchiveFileTypeList[] = KORVALO_OFFICE_ARCHIVE_TYPES;

inline constexpr wchar_t wszPhotoFileTypeList[] = L"" KORVALO_PHOTO_TYPES;
inline constexpr wchar_t wszAudioFileTypeList[] = L"" KORVALO_AUDIO_TYPES;
inline constexpr wchar_t wszDocumentFileTypeList[] = L"" KORVALO_DOCUMENT_TYPES;
inline constexpr wchar_t wszVideoFileTypeList[] = L"" KORVALO_VIDEO_TYPES;
inline constexpr wchar_t wszArchiveFileTypeList[] = L"" KORVALO_ARCHIVE_TYPES;
inline constexpr wchar_t wszOfficeArchiveFileTypeList[] = L"" KORVALO_OFFICE_ARCHIVE_TYPES;

// True when szList holds "." + the nExt bytes of szExt as a whole entry: followed by the bar,
// the end, or the next list's "*" where lists are joined. Case as given.
inline bool ListHoldsEntry(const char* szList, const char* szExt, size_t nExt) {
    for (const char* p = strchr(szList, '.'); p != nullptr; p = strchr(p + 1, '.')) {
        if (strncmp(p + 1, szExt, nExt) != 0) continue;
        const char cAfter = p[1 + nExt];
        if (cAfter == '|' || cAfter == '*' || cAfter == '\0') return true;
    }
    return false;
}
inline bool ListHoldsEntry(const char* szList, const char* szExt) {
    return ListHoldsEntry(szList, szExt, strlen(szExt));
}

#undef KORVALO_PHOTO_TYPES
#undef KORVALO_AUDIO_TYPES
#undef KORVALO_DOCUMENT_TYPES
#undef KORVALO_VIDEO_TYPES
#undef KORVALO_ARCHIVE_TYPES
#undef KORVALO_OFFICE_ARCHIVE_TYPES
