#include "carving/file_category.h"

#include <cstring>

#include "carving/file_type_icons.h"
#include "engine/file_categories.h"
#include "util/path.h"
#include "util/text.h"

namespace {
struct LIST_RULE {
    const char* szList;
    int nResult;
};

// The lower-case extension of szFileName into strExt; false without one.
bool LowerExtension(const char* szFileName, std::string& strExt) {
    char szExt[KORVALO_PATH_PART_SIZE] = {0};
    if (szFileName == nullptr || GetExtendName(szFileName, szExt) != 0 || szExt[0] == '\0') return false;
    Convert2Lowercase(szExt);
    strExt = szExt;
    return true;
}

// The result of the first list holding "." + strExt as a whole entry; failing that, of the
// first list holding it as part of an entry (a substring test), or nDefault. Whole entries
// come first so that "avi" is not taken for "avif" nor "fla" for "flac". An extension of one
// letter matches nothing.
template <size_t N>
int FirstListHolding(const std::string& strExt, const LIST_RULE (&rules)[N], int nDefault) {
    const std::string strNeedle = "." + strExt;
    if (strNeedle.size() < 3) return nDefault;
    for (const LIST_RULE& rule : rules)
        if (ListHoldsEntry(rule.szList, strExt.c_str())) return rule.nResult;
    for (const LIST_RULE& rule : rules)
        if (strstr(rule.szList, strNeedle.c_str()) != nullptr) return rule.nResult;
    return nDefault;
}

const char* const kDirTypes[] = {"photo", "audio", "video", "document", "archive", "others"};
}  // namespace

const char* GetDirTypeByFileName(const char* szFileName) {
    static const LIST_RULE s_rules[] = {{szPhotoFileTypeList, 0},   {szAudioFileTypeList, 1},
                                        {szVideoFileTypeList, 2},   {szDocumentFileTypeList, 3},
                                        {szArchiveFileTypeList, 4}, {szOfficeArchiveFileTypeList, 4}};
    std::string strExt;
    if (!LowerExtension(szFileName, strExt)) return kDirTypes[5];
    return kDirTypes[FirstListHolding(strExt, s_rules, 5)];
}

RESULT_GROUP GetResultGroupByFileName(const char* szFileName, std::string& strKey) {
    static const LIST_RULE s_rules[] = {{szPhotoFileTypeList, RESULT_GROUP_PHOTO},
                                        {szAudioFileTypeList, RESULT_GROUP_MUSIC},
                                        {szDocumentFileTypeList, RESULT_GROUP_OFFICE},
                                        {szVideoFileTypeList, RESULT_GROUP_VIDEO},
                                        {szArchiveFileTypeList, RESULT_GROUP_ARCHIVE},
                                        {szOfficeArchiveFileTypeList, RESULT_GROUP_ARCHIVE}};
    if (!LowerExtension(szFileName, strKey)) {
        strKey = RESULT_NO_EXTENSION_KEY;
        return RESULT_GROUP_OTHER;
    }
    return static_cast<RESULT_GROUP>(FirstListHolding(strKey, s_rules, RESULT_GROUP_OTHER));
}

const char* GetExtendNameIcon(const char* szExtendName) {
    static const LIST_RULE s_rules[] = {{szPhotoFileTypeList, 0},   {szAudioFileTypeList, 1},
                                        {szDocumentFileTypeList, 2}, {szVideoFileTypeList, 3},
                                        {szArchiveFileTypeList, 4}, {szOfficeArchiveFileTypeList, 2}};
    static const char* const s_aszDefaults[] = {
        ":/image/FileIcon/image.png",       ":/image/FileIcon/audio_default.png",
        ":/image/FileIcon/office_default.png", ":/image/FileIcon/video_default.png",
        ":/image/FileIcon/zip.png",         ":/image/FileIcon/other.png"};
    std::string strExt = szExtendName != nullptr ? szExtendName : "";
    Convert2Lowercase(&strExt[0]);
    const char* szRow = FindFileTypeIcon(szExtendName);
    return szRow != nullptr ? szRow : s_aszDefaults[FirstListHolding(strExt, s_rules, 5)];
}

std::wstring BuildSearchKey(int nMask) {
    std::wstring wstrKey;
    if (nMask & FILE_CATEGORY_PHOTO) wstrKey += wszPhotoFileTypeList;
    if (nMask & FILE_CATEGORY_MUSIC) wstrKey += wszAudioFileTypeList;
    if (nMask & FILE_CATEGORY_VIDEO) wstrKey += wszVideoFileTypeList;
    if (nMask & FILE_CATEGORY_DOCUMENT) wstrKey += wszDocumentFileTypeList;
    if (nMask & FILE_CATEGORY_ARCHIVE) wstrKey += wszArchiveFileTypeList;
    if (nMask & FILE_CATEGORY_OTHER) wstrKey += L"*.other|";
    return wstrKey;
}
