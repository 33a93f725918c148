#include "engine/known_extensions.h"

#include <string>

#include "engine/file_categories.h"

const char* GetStorePhotoExtensionList() {
    return szPhotoFileTypeList;
}

const char* GetStoreKnownExtensionText() {
    static const std::string strKnown = std::string(szPhotoFileTypeList) + "|" + szAudioFileTypeList + "|" +
                                        szDocumentFileTypeList + "|" + szVideoFileTypeList + "|" +
                                        szArchiveFileTypeList;
    return strKnown.c_str();
}
