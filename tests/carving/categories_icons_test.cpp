// The category extension lists and the icon table.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "carving/file_category.h"
#include "carving/file_type_icons.h"
#include "engine/file_categories.h"

namespace {

TEST(FileCategories, OnlyPhotoVideoAndArchiveListsEndWithABar) {
    auto EndsWithBar = [](const char* sz) { return sz[strlen(sz) - 1] == '|'; };
    EXPECT_TRUE(EndsWithBar(szPhotoFileTypeList));
    EXPECT_TRUE(EndsWithBar(szVideoFileTypeList));
    EXPECT_TRUE(EndsWithBar(szArchiveFileTypeList));
    EXPECT_FALSE(EndsWithBar(szAudioFileTypeList));
    EXPECT_FALSE(EndsWithBar(szDocumentFileTypeList));
    EXPECT_FALSE(EndsWithBar(szOfficeArchiveFileTypeList));
}

TEST(FileCategories, MembershipIsASubstringSearch) {
    // The callers search the list text, so partial needles are found too.
    EXPECT_NE(strstr(szVideoFileTypeList, "rm"), nullptr);
    EXPECT_NE(strstr(szPhotoFileTypeList, "pg"), nullptr);
    EXPECT_NE(wcsstr(wszPhotoFileTypeList, L"*.icns|"), nullptr);
    EXPECT_NE(strstr(szDocumentFileTypeList, "*.accdb"), nullptr);
    EXPECT_NE(strstr(szAudioFileTypeList, "*.snd"), nullptr);
    EXPECT_EQ(strstr(szPhotoFileTypeList, "*.mp3"), nullptr);
    // Carved types reach a category: the office-and-archive list holds the Office formats.
    EXPECT_NE(strstr(szOfficeArchiveFileTypeList, "*.iso"), nullptr);
    EXPECT_EQ(strstr(szOfficeArchiveFileTypeList, "*.exe"), nullptr);
}

TEST(FileTypeIcons, LookupIsCaseInsensitiveOnTheWholeName) {
    EXPECT_EQ(szFileTypeStr[FILE_TYPE_ICON_ROWS - 1].szExtendName, nullptr);
    EXPECT_STREQ(FindFileTypeIcon("VIDEO_DEFAULT"), ":/image/FileIcon/video_default.png");
    EXPECT_STREQ(FindFileTypeIcon("JPEG"), ":/image/FileIcon/jpg.png");
    EXPECT_STREQ(FindFileTypeIcon("Tiff"), ":/image/FileIcon/tif.png");
    EXPECT_STREQ(FindFileTypeIcon("photo_default"), ":/image/FileIcon/photo_default.png");
    EXPECT_EQ(FindFileTypeIcon("jp"), nullptr);
    EXPECT_EQ(FindFileTypeIcon("docx"), nullptr);
    EXPECT_EQ(FindFileTypeIcon(nullptr), nullptr);
}

// A row of the icon table wins; else the first list holding the extension gives its picture, in
// the browser's order, where the archive list and the office list have different pictures.
TEST(FileTypeIcons, ExtensionIconFallsBackToItsListsPicture) {
    const char* const aszCases[][2] = {
        {"JPG", ":/image/FileIcon/jpg.png"},           {"crw", ":/image/FileIcon/image.png"},
        {"m4p", ":/image/FileIcon/audio_default.png"}, {"rm", ":/image/FileIcon/audio_default.png"},
        {"docx", ":/image/FileIcon/office_default.png"}, {"mkv", ":/image/FileIcon/video_default.png"},
        {"bz2", ":/image/FileIcon/zip.png"},           {"rtf", ":/image/FileIcon/office_default.png"},
        {"rar", ":/image/FileIcon/rar.png"},           {"c", ":/image/FileIcon/other.png"},
        {"HEIF", ":/image/FileIcon/heic.png"},         {"fla", ":/image/FileIcon/video_default.png"},  // not "flac"
        {"cr3", ":/image/FileIcon/cr3.png"},
        {"", ":/image/FileIcon/other.png"},            {"unKnow", ":/image/FileIcon/other.png"},
    };
    for (const auto& c : aszCases) EXPECT_STREQ(GetExtendNameIcon(c[0]), c[1]) << c[0];
}

}  // namespace

// The sub-folder a recovered file goes to and the results browser's group differ only in the
// order of the video and document lists.
TEST(FileCategories, SubFoldersAndResultGroupsOfNames) {
    struct CASE {
        const char* szName;
        const char* szDir;
        RESULT_GROUP eGroup;
        const char* szKey;
    } cases[] = {
        {"a.JPG", "photo", RESULT_GROUP_PHOTO, "jpg"},
        {"d.RW2", "photo", RESULT_GROUP_PHOTO, "rw2"},        // every carved RAW kind is a photo
        {"c.mp3", "audio", RESULT_GROUP_MUSIC, "mp3"},
        {"x.rm", "audio", RESULT_GROUP_MUSIC, "rm"},          // the audio list comes before the video list
        {"x.fla", "video", RESULT_GROUP_VIDEO, "fla"},        // a whole entry beats a part of "flac"
        {"p.HEIC", "photo", RESULT_GROUP_PHOTO, "heic"},
        {"s.opus", "audio", RESULT_GROUP_MUSIC, "opus"},
        {"v.webm", "video", RESULT_GROUP_VIDEO, "webm"},
        {"m.avi", "video", RESULT_GROUP_VIDEO, "avi"},        // not the picture kind "avif"
        {"y.rtf", "archive", RESULT_GROUP_ARCHIVE, "rtf"},    // only in the office list
        {"clip.MP4", "video", RESULT_GROUP_VIDEO, "mp4"},
        {"notes.txt", "document", RESULT_GROUP_OFFICE, "txt"},
        {"backup.7z", "archive", RESULT_GROUP_ARCHIVE, "7z"},
        {"README", "others", RESULT_GROUP_OTHER, RESULT_NO_EXTENSION_KEY},
        {"x.c", "others", RESULT_GROUP_OTHER, "c"},          // a one-letter extension matches no list
        {"data.bin", "others", RESULT_GROUP_OTHER, "bin"},
    };
    for (const CASE& c : cases) {
        std::string strKey;
        EXPECT_STREQ(GetDirTypeByFileName(c.szName), c.szDir) << c.szName;
        EXPECT_EQ(GetResultGroupByFileName(c.szName, strKey), c.eGroup) << c.szName;
        EXPECT_EQ(strKey, c.szKey) << c.szName;
    }
}
