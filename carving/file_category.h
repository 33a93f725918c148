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

// The search key for the categories in nMask: the category lists run together, in the order
// photo, music, video, document, archive, with "*.other|" last.
std::wstring BuildSearchKey(int nMask);
