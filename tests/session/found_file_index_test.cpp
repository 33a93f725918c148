// The compact index of finds the command line lists from: every mask gives exactly the finds a
// search gives, ids count in the id order, and each record read back is the find itself.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/media_samples.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "session/recovery_session.h"

namespace {
bool SameRecord(const __SEARCH_FILE_INFO__& a, const __SEARCH_FILE_INFO__& b) {
    return memcmp(&a, &b, sizeof(a)) == 0;
}
}  // namespace

TEST(FoundFileIndex, ListsWhatASearchFindsNumberedInIdOrder) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy")) GTEST_SKIP() << "dosfstools or mtools missing";
    CScopedAppHome home;
    CTempDir dir;
    // Live and deleted files, the same names in two folders, and a song and a text besides the
    // photos: the fast walk, the deep walk and carving all find something, and some the same data.
    const std::string strImage = dir.File("card.img");
    ASSERT_TRUE(MakeFatImage(strImage, 32, 40));
    ASSERT_TRUE(RunMtools({"mmd", "-i", strImage, "::/A", "::/B"}));
    const std::vector<std::pair<std::string, MEDIA_BYTES>> vecFiles = {
        {"A/Same.jpg", MakeJpegFile(9000, 1)}, {"B/same.JPG", MakeJpegFile(12000, 2)}, {"A/pic.png", MakePngFile(40, 30, 3)},
        {"B/Song.mp3", MakeMp3File(40)},       {"A/notes.txt", MEDIA_BYTES(3000, 'n')}};
    for (const auto& file : vecFiles) {
        const std::string strLocal = dir.File(file.first.substr(2));
        ASSERT_TRUE(WriteWholeFile(strLocal, file.second.data(), file.second.size()));
        ASSERT_TRUE(RunMtools({"mcopy", "-i", strImage, strLocal, "::/" + file.first}));
    }
    ASSERT_TRUE(RunMtools({"mdel", "-i", strImage, "::/B/same.JPG", "::/B/Song.mp3"}));
    // Two pictures no folder ever listed, for carving alone.
    {
        std::fstream image(strImage, std::ios::in | std::ios::out | std::ios::binary);
        const MEDIA_BYTES vecPictures[] = {MakeJpegFile(7000, 4), MakePngFile(20, 20, 5)};
        for (int i = 0; i < 2; ++i) {
            image.seekp(static_cast<std::streamoff>(30 + i) << 20);
            image.write(reinterpret_cast<const char*>(vecPictures[i].data()),
                        static_cast<std::streamsize>(vecPictures[i].size()));
        }
        ASSERT_TRUE(image.good());
    }

    CRecoverySession session;
    ASSERT_EQ(SESSION_OK, session.OpenSource(strImage));
    ASSERT_EQ(SESSION_OK, session.Scan());
    CFoundFileIndex index;
    ASSERT_EQ(SESSION_OK, session.IndexFinds(index));
    std::vector<__SEARCH_FILE_INFO__> vecAll;
    ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_ALL, vecAll));
    ASSERT_EQ(vecAll.size(), index.Count());
    ASSERT_GE(vecAll.size(), vecFiles.size());

    // Id N is the Nth find in id order.
    std::sort(vecAll.begin(), vecAll.end(),
              [](const auto& a, const auto& b) { return IdOrderKeyOf(a) < IdOrderKeyOf(b); });
    __SEARCH_FILE_INFO__ hit;
    for (size_t i = 0; i < vecAll.size(); ++i) {
        ASSERT_EQ(SESSION_OK, session.ReadFind(index, i + 1, hit));
        EXPECT_TRUE(SameRecord(vecAll[i], hit)) << "id " << i + 1 << ": " << vecAll[i].szFileName << " / " << hit.szFileName;
    }
    EXPECT_EQ(SESSION_BAD_REQUEST, session.ReadFind(index, index.Count() + 1, hit));
    EXPECT_EQ(SESSION_BAD_REQUEST, session.ReadFind(index, 0, hit));

    for (int nMask : {FILE_CATEGORY_ALL, FILE_CATEGORY_PHOTO, FILE_CATEGORY_MUSIC, FILE_CATEGORY_OTHER}) {
        std::vector<__SEARCH_FILE_INFO__> vecSearched;
        ASSERT_EQ(SESSION_OK, session.Search(nMask, vecSearched));
        const size_t nSearchedFound = session.Summary().nFound;
        std::vector<unsigned long long> vecIds;
        ASSERT_EQ(SESSION_OK, session.ListFinds(nMask, index, vecIds));
        EXPECT_EQ(nSearchedFound, session.Summary().nFound) << "mask " << nMask;
        ASSERT_EQ(vecSearched.size(), vecIds.size()) << "mask " << nMask;
        std::vector<__SEARCH_FILE_INFO__> vecListed;
        for (unsigned long long u64Id : vecIds) {
            ASSERT_EQ(SESSION_OK, session.ReadFind(index, u64Id, hit));
            vecListed.push_back(hit);
        }
        // The same finds in the same name order (equal names may stand either way in a search).
        for (size_t i = 0; i < vecListed.size(); ++i) {
            EXPECT_EQ(0, strcasecmp(vecSearched[i].szFileName, vecListed[i].szFileName)) << "mask " << nMask;
            EXPECT_EQ(1, std::count_if(vecSearched.begin(), vecSearched.end(),
                                       [&](const auto& s) { return SameRecord(s, vecListed[i]); }))
                << vecListed[i].szFileName;
        }
    }
}
