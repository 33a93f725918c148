// The directory tests on sectors of real FAT images built with mkfs.fat and changed with mtools:
// long names (chains crossing sector boundaries), deleted files, empty files, end-of-directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fat/fat_names.h"
#include "fat/fat_record_tests.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct ImageKind {
    int nFatBits;
    int nSizeMiB;
};

// Every call on a copy of exactly the sector, so the sanitizer build sees any read past it.
int FileRecordOnExactSector(const unsigned char* pSector) {
    Bytes v(pSector, pSector + 512);
    return IsFatFileRecord(v.data(), static_cast<int>(v.size()));
}
int FdtRecordOnExactSector(const unsigned char* pSector) {
    Bytes v(pSector, pSector + 512);
    return IsFatFDTRecord(v.data(), static_cast<int>(v.size()));
}

// One image per FAT kind, built once for all tests of that kind.
struct BuiltImage {
    CTempDir dir;
    std::string strImage;
    std::string strSkipReason;
    CFatImageWalk walk;
};

class FatImageSectorsTest : public ::testing::TestWithParam<ImageKind> {
protected:
    static std::map<int, std::unique_ptr<BuiltImage>>& Images() {
        static std::map<int, std::unique_ptr<BuiltImage>> s_images;
        return s_images;
    }
    static void TearDownTestSuite() { Images().clear(); }

    void SetUp() override {
        std::unique_ptr<BuiltImage>& pImage = Images()[GetParam().nFatBits];
        if (!pImage) {
            pImage.reset(new BuiltImage);
            pImage->strSkipReason = Build(*pImage, GetParam());
        }
        if (!pImage->strSkipReason.empty()) GTEST_SKIP() << pImage->strSkipReason;
        m_pWalk = &pImage->walk;
        ASSERT_EQ(GetParam().nFatBits, m_pWalk->FatBits());
    }

    static bool Mtools(const BuiltImage& image, const std::string& strTool,
                       const std::vector<std::string>& vArgs) {
        std::vector<std::string> v{strTool, "-i", image.strImage};
        v.insert(v.end(), vArgs.begin(), vArgs.end());
        return RunMtools(v);
    }

    static std::string BeachName(int i) {
        char szName[64];
        snprintf(szName, sizeof(szName), "Beach picture number %02d taken.jpeg", i);
        return szName;
    }

    // Returns why the image could not be made, or "" when it is ready.
    static std::string Build(BuiltImage& image, const ImageKind& kind) {
        if (!HaveTool("mmd") || !HaveTool("mcopy") || !HaveTool("mdel")) return "mtools not installed";
        image.strImage = image.dir.File("card.img");
        if (!MakeFatImage(image.strImage, kind.nFatBits, kind.nSizeMiB)) return "mkfs.fat failed";

        std::string strContent;
        for (int i = 0; i < 300; ++i) strContent += "holiday notes, line " + std::to_string(i) + "\n";
        const std::string strText = image.dir.File("note.txt");
        const std::string strEmpty = image.dir.File("empty");
        const std::string strPhotos = image.dir.File("photos");
        bool bOk = WriteWholeFile(strText, strContent.data(), strContent.size()) &&
                   WriteWholeFile(strEmpty, "", 0) && mkdir(strPhotos.c_str(), 0755) == 0;
        // Forty names of four entries each fill ten sectors, so chains cross sector boundaries.
        std::vector<std::string> vCopyPhotos, vDeletePhotos;
        for (int i = 0; bOk && i < 40; ++i) {
            bOk = WriteWholeFile(strPhotos + "/" + BeachName(i), strContent.data(), strContent.size());
            vCopyPhotos.push_back(strPhotos + "/" + BeachName(i));
            if (i % 3 == 0) vDeletePhotos.push_back("::/PHOTOS/" + BeachName(i));
        }
        vCopyPhotos.push_back("::/PHOTOS/");
        bOk = bOk && Mtools(image, "mmd", {"::/PHOTOS", "::/DOCS", "::/PHOTOS/Holiday 2019"}) &&
              Mtools(image, "mcopy", {strText, "::/README.TXT"}) &&
              Mtools(image, "mcopy", {strEmpty, "::/DOCS/EMPTY.DAT"}) &&
              Mtools(image, "mcopy", {strText, "::/DOCS/A rather long document name.txt"}) &&
              Mtools(image, "mcopy", vCopyPhotos) && Mtools(image, "mdel", vDeletePhotos) &&
              Mtools(image, "mdel", {"::/DOCS/A rather long document name.txt"}) &&
              Mtools(image, "mcopy", {strText, "::/PHOTOS/Holiday 2019/IMG_0001.JPG"});
        if (!bOk) return "building the image with mtools failed";
        if (!image.walk.Load(image.strImage)) return "the image cannot be read back";
        return "";
    }

    const CFatImageWalk* m_pWalk = nullptr;
};

TEST_P(FatImageSectorsTest, EveryDirectorySectorIsJudgedByWhatItHolds) {
    const std::vector<uint32_t> vDirSectors = m_pWalk->AllDirectorySectors();
    int nStarts = 0, nTables = 0;
    for (uint32_t u32Sector : vDirSectors) {
        const unsigned char* p = m_pWalk->Sector(u32Sector);
        if (p[0] == '.') {
            ++nStarts;
            EXPECT_EQ(1, FileRecordOnExactSector(p)) << "sector " << u32Sector;
            EXPECT_EQ(0, FdtRecordOnExactSector(p)) << "sector " << u32Sector;
        } else if (p[0] == 0x00) {
            // Unused sectors of a directory's last cluster.
            EXPECT_EQ(0, FdtRecordOnExactSector(p)) << "sector " << u32Sector;
        } else {
            ++nTables;
            EXPECT_EQ(0, FileRecordOnExactSector(p)) << "sector " << u32Sector;
            EXPECT_EQ(1, FdtRecordOnExactSector(p)) << "sector " << u32Sector;
        }
    }
    // PHOTOS, DOCS and "Holiday 2019" each start with "." and ".."; PHOTOS spans eleven sectors.
    EXPECT_EQ(3, nStarts);
    EXPECT_GE(nTables, 11);
}

TEST_P(FatImageSectorsTest, NoOtherSectorOfTheImageIsTakenForADirectory) {
    const std::vector<uint32_t> vDirs = m_pWalk->AllDirectorySectors();
    const std::set<uint32_t> setDirs(vDirs.begin(), vDirs.end());
    int nStartHits = 0;
    for (uint32_t u32Sector = 0; u32Sector < m_pWalk->SectorCount(); ++u32Sector) {
        const unsigned char* p = m_pWalk->Sector(u32Sector);
        const bool bDirSector = setDirs.count(u32Sector) != 0;
        if (FileRecordOnExactSector(p) == 1) {
            ++nStartHits;
            EXPECT_TRUE(bDirSector) << "sector " << u32Sector;
        }
        if (!bDirSector) {
            EXPECT_EQ(0, FdtRecordOnExactSector(p)) << "sector " << u32Sector;
        }
    }
    EXPECT_EQ(3, nStartHits);
}

TEST_P(FatImageSectorsTest, LongNameChecksumsMatchTheShortEntriesMtoolsWrote) {
    int nChains = 0;
    for (const auto& vPath : std::vector<std::vector<std::string>>{{}, {"PHOTOS     "}, {"DOCS       "}}) {
        // The directory as one stream, so chains that cross a sector boundary are followed too.
        Bytes vStream;
        for (uint32_t u32Sector : m_pWalk->DirectorySectors(vPath))
            vStream.insert(vStream.end(), m_pWalk->Sector(u32Sector), m_pWalk->Sector(u32Sector) + 512);
        ASSERT_FALSE(vStream.empty());
        for (size_t i = 0; i + 32 <= vStream.size() && vStream[i] != 0x00; i += 32) {
            const unsigned char* pEntry = &vStream[i];
            if (pEntry[11] == 0x0F || pEntry[0] == 0xE5 || i < 32 || vStream[i - 32 + 11] != 0x0F) continue;
            EXPECT_EQ(vStream[i - 32 + 13], GetShortNameCheckSum(pEntry)) << "entry at byte " << i;
            ++nChains;
        }
    }
    // README.TXT needs no long name; the 26 live beach pictures and "Holiday 2019" do.
    EXPECT_EQ(27, nChains);
}

TEST_P(FatImageSectorsTest, SlackBufferGivesTheSameAnswerAsTheBareSector) {
    for (uint32_t u32Sector : m_pWalk->AllDirectorySectors()) {
        Bytes vSlack(512 + FAT_DIR_SLACK_BYTES, 0xAB);
        ASSERT_EQ(0, CopyFatDirWithSlack(vSlack.data(), static_cast<int>(vSlack.size()),
                                         m_pWalk->Sector(u32Sector), 512));
        EXPECT_EQ(FdtRecordOnExactSector(m_pWalk->Sector(u32Sector)), IsFatFDTRecord(vSlack.data(), 512));
        EXPECT_EQ(FileRecordOnExactSector(m_pWalk->Sector(u32Sector)), IsFatFileRecord(vSlack.data(), 512));
    }
}

INSTANTIATE_TEST_SUITE_P(AllFatKinds, FatImageSectorsTest,
                         ::testing::Values(ImageKind{12, 2}, ImageKind{16, 16}, ImageKind{32, 34}),
                         [](const ::testing::TestParamInfo<ImageKind>& info) {
                             return "Fat" + std::to_string(info.param.nFatBits);
                         });

}  // namespace
