// The category extension lists and the icon table.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

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

}  // namespace
