#pragma once
// Which category a found file belongs to, shared by both front ends: the destination sub-folder
// of a recovered file and the search key built from ticked categories.
#include <string>

// Categories a user can ask for.
enum FILE_CATEGORY_MASK {
    FILE_CATEGORY_PHOTO = 1 << 0,
    FILE_CATEGORY_MUSIC = 1 << 1,
    FILE_CATEGORY_VIDEO = 1 << 2,
    FILE_CATEGORY_DOCUMENT = 1 << 3,
    FILE_CATEGORY_ARCHIVE = 1 << 4,
    FILE_CATEGORY_OTHER = 1 << 5,
    FILE_CATEGORY_ALL = (1 << 6) - 1,
};

// Destination sub-folder of a recovered file: "photo", "audio", "video", "document", "archive"
// or "others". The lower-case extension with its dot is looked up in the picture, audio, video,
// document, archive and office lists in that order; a name without an extension, or with a
// one-letter one, is "others".
const char* GetDirTypeByFileName(const char* szFileName);

// The groups of the results browser, in the order it shows them.
enum RESULT_GROUP { RESULT_GROUP_PHOTO, RESULT_GROUP_MUSIC, RESULT_GROUP_OFFICE, RESULT_GROUP_VIDEO,
                    RESULT_GROUP_ARCHIVE, RESULT_GROUP_OTHER, RESULT_GROUP_COUNT };
// Name of a file without an extension in the results browser.
constexpr const char* RESULT_NO_EXTENSION_KEY = "unKnow";

// The results browser's group of a found file and its extension key (lower case, or
// RESULT_NO_EXTENSION_KEY). The lists are tried in the order picture, audio, document, video,
// archive, office (which counts as archive): unlike the sub-folder rule, documents come before
// videos there.
RESULT_GROUP GetResultGroupByFileName(const char* szFileName, std::string& strKey);

// Resource path of an extension's icon in the results browser: the icon table's row for it
// (ignoring case), else the picture of the first list holding it, tried in the browser's order
// (picture, audio, document, video, archive, office), else the "other" picture.
const char* GetExtendNameIcon(const char* szExtendName);

// The search key for the categories in nMask: the category lists run together, in the order
// photo, music, video, document, archive, with "*.other|" last.
std::wstring BuildSearchKey(int nMask);
