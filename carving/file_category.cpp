#include "carving/file_category.h"

#include <cstring>

#include "engine/file_categories.h"
#include "util/path.h"
#include "util/text.h"

const char* GetDirTypeByFileName(const char* szFileName) {
    if (szFileName == nullptr) return "others";
    char szExt[KORVALO_PATH_PART_SIZE] = {0};
    if (GetExtendName(szFileName, szExt) != 0) return "others";
    Convert2Lowercase(szExt);
    std::string strNeedle = std::string(".") + szExt;
    if (strNeedle.size() < 3) return "others";
    struct Rule {
        const char* szList;
        const char* szDir;
    };
    static const Rule s_rules[] = {
        {szPhotoFileTypeList, "photo"},       {szAudioFileTypeList, "audio"},
        {szVideoFileTypeList, "video"},       {szDocumentFileTypeList, "document"},
        {szArchiveFileTypeList, "archive"},   {szOfficeArchiveFileTypeList, "archive"},
    };
    for (const Rule& rule : s_rules)
        if (strstr(rule.szList, strNeedle.c_str()) != nullptr) return rule.szDir;
    return "others";
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
