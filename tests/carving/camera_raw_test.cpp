// Camera RAW: files written by the fixture script in the makers' layouts are read by exiftool as
// their kind, found under their own extension, judged healthy, carved byte-exact, and cut at a
// foreign head inside them; the new rows change no answer the table gave before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "crafted_heads.h"
#include "fixtures/camera_raw_samples.h"
#include "fixtures/carving_image.h"
#include "fixtures/office_samples.h"
#include "fixtures/real_tool_samples.h"
#include "planted_files_check.h"

namespace {

using J = CFileTypeJudge;

class CameraRaw : public ::testing::Test {
protected:
    CJudgeContextScope m_scope;
    CScopedAppHome m_home;
    CTempDir m_dir;
};

TEST_F(CameraRaw, FixturesParseAsTheirKindAndAreFoundUnderTheirExtension) {
    for (const std::string& strKind : CameraRawKinds()) {
        SCOPED_TRACE(strKind);
        const MEDIA_BYTES vecFile = MakeCameraRaw(strKind, m_dir.Path(), 3);
        ASSERT_GT(vecFile.size(), 8192u) << "the fixture script made nothing";
        std::string strUpper = strKind;
        std::transform(strUpper.begin(), strUpper.end(), strUpper.begin(), ::toupper);
        const std::string strExif = ExifToolFileTypeAndMake(vecFile, strKind, m_dir.Path());
        EXPECT_EQ(strExif.substr(0, strUpper.size() + 1), strUpper + "|") << strExif;
        EXPECT_GT(strExif.size(), strUpper.size() + 1) << "no Make";

        CCarvingTestDisk disk(ImageWithFileAt(vecFile, 1, 4 + vecFile.size() / 512));
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(disk.WalkAt(1), J::GetExtendNameType(strKind.c_str()));
        EXPECT_EQ(disk.MatchesAt(1, strKind.c_str()), 1);
        // A head cut short of its first directory is read on from the device.
        disk.AimAt(1);
        EXPECT_EQ(J::IsCameraRawType(vecFile.data(), 16), strKind == "raf" ? EXT_UNKNOWN : J::GetExtendNameType(strKind.c_str()));
    }
}

TEST_F(CameraRaw, CarvedByteExactBeforeOtherData) {
    std::vector<MEDIA_BYTES> vecFiles;
    std::vector<std::string> vecExts;
    unsigned long long u64Bytes = 0;
    for (unsigned nSeed : {1u, 2u})
        for (const std::string& strKind : CameraRawKinds()) {
            vecFiles.push_back(MakeCameraRaw(strKind, m_dir.Path(), nSeed));
            vecExts.push_back(strKind);
            ASSERT_FALSE(vecFiles.back().empty()) << strKind;
            u64Bytes += vecFiles.back().size();
        }
    for (int nSector : {512, 4096}) {
        SCOPED_TRACE("sector " + std::to_string(nSector));
        // Every other file is followed at once by the next one's head, the others by noise.
        CCarvingImage image(u64Bytes / nSector + 4 * vecFiles.size() + 8, nSector);
        image.FillNeutral(0, image.SectorCount(), 19);
        unsigned long long u64Next = 2;
        for (size_t i = 0; i < vecFiles.size(); ++i) {
            image.Plant(u64Next, vecFiles[i], vecExts[i]);
            u64Next += image.SectorsOf(vecFiles[i].size()) + (i % 2 == 0 ? 0 : 3);
        }
        ExpectPlantedFilesCarvedExactly(image, CarveImage(image, m_dir.Path()));
    }
}

// A picture written over the file's third sector from its end: the carved file ends at that
// sector, unless the sector lies in a blob the file keeps for itself (ORF's maker note, the
// JPEG that RW2 stores as a value), where a picture's head is its own.
TEST_F(CameraRaw, StructureReachingPastAnotherFilesHeadStopsThere) {
    for (const std::string& strKind : CameraRawKinds()) {
        SCOPED_TRACE(strKind);
        const MEDIA_BYTES vecFile = MakeCameraRaw(strKind, m_dir.Path(), 5);
        ASSERT_GT(vecFile.size(), 4096u);
        CCarvingImage image(vecFile.size() / 512 + 16, 512);
        image.FillNeutral(0, image.SectorCount(), 23);
        image.Plant(1, vecFile, strKind);
        const unsigned long long u64Foreign = vecFile.size() / 512 - 2;
        image.Poke(512 * (1 + u64Foreign), MakePngFile(4, 4, 9));
        const std::vector<_MEDIA_CARVED_FILE_> vecCarved = CarveImage(image, m_dir.Path());
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 1);
        ASSERT_NE(pCarved, nullptr);
        const bool bOwnBlob = strKind == "orf" || strKind == "rw2";
        EXPECT_EQ(pCarved->u64Size, bOwnBlob ? vecFile.size() : u64Foreign * 512);
    }
}

// The detection walk over the table without the camera RAW rows: what it answered before.
EXTEND_NAME_TYPE WalkWithoutRawRows(const unsigned char* pBuf, int nLen) {
    for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->pfnIsType != nullptr; ++pRow) {
        if (pRow->pfnIsType == J::IsCameraRawType || pRow->pfnIsType == J::IsRafType) continue;
        const EXTEND_NAME_TYPE nType = pRow->pfnIsType(pBuf, nLen);
        if (nType != EXT_UNKNOWN) return nType;
    }
    return EXT_UNKNOWN;
}

TEST_F(CameraRaw, NewRowsLeaveEveryEarlierAnswerAndTheFastWalkAgrees) {
    std::vector<MEDIA_BYTES> vecOld = {MakeWordDocumentSample(), MakeExcelWorkbookSample(), MakeDocxSample(),
                                       MakeJpegWithThumbnail(100, 100, 1), MakeMp4File(2000, 2), MakeAviFile(3, 3),
                                       MakeTsFile(20, 4), MakeMp3File(4), MakeIcoFile({16}, 5), MakeGzipFile(900, 6)};
    for (const CRAFTED_HEAD& head : CraftedHeads()) vecOld.push_back(head.vecHead);
    for (const _REAL_TOOL_SAMPLE_& sample : MakePilPictures(m_dir.Path())) vecOld.push_back(sample.vecBytes);
    for (const _REAL_TOOL_SAMPLE_& sample : MakeStructuredSamples(m_dir.Path())) vecOld.push_back(sample.vecBytes);
    MEDIA_BYTES vecImage;
    std::vector<std::pair<unsigned long long, EXTEND_NAME_TYPE>> vecRawHeads;
    auto Add = [&vecImage](const MEDIA_BYTES& vecFile) {
        vecImage.insert(vecImage.end(), vecFile.begin(), vecFile.end());
        vecImage.resize((vecImage.size() + 511) / 512 * 512 + 512, 0);
    };
    for (const MEDIA_BYTES& vecFile : vecOld) Add(vecFile);
    for (const std::string& strKind : CameraRawKinds()) {
        vecRawHeads.push_back({vecImage.size() / 512, J::GetExtendNameType(strKind.c_str())});
        Add(MakeCameraRaw(strKind, m_dir.Path(), 7));
    }
    CCarvingTestDisk disk(vecImage);
    ASSERT_TRUE(disk.Ready());
    int nOldFinds = 0, nRawFinds = 0;
    for (unsigned long long s = 0; s < disk.SectorCount(); ++s) {
        const MEDIA_BYTES vecSector = disk.Sector(s);
        auto itRaw = std::find_if(vecRawHeads.begin(), vecRawHeads.end(), [s](const auto& head) { return head.first == s; });
        for (int nLen : {512, 200, 64, 16, 8}) {
            disk.AimAt(s, static_cast<int>(s % 2));
            const EXTEND_NAME_TYPE nNow = J::GetDataBufTypeInTableOrder(vecSector.data(), nLen);
            ASSERT_EQ(J::GetDataBufType(vecSector.data(), nLen), nNow) << "sector " << s << " length " << nLen;
            if (itRaw != vecRawHeads.end() && nLen >= 64) {
                EXPECT_EQ(nNow, itRaw->second) << "sector " << s;
                nRawFinds += nNow == itRaw->second;
            } else if (itRaw == vecRawHeads.end()) {
                ASSERT_EQ(nNow, WalkWithoutRawRows(vecSector.data(), nLen)) << "sector " << s << " length " << nLen;
                nOldFinds += nNow != EXT_UNKNOWN;
            }
        }
    }
    EXPECT_GT(nOldFinds, 200);
    EXPECT_EQ(nRawFinds, 8 * 3);
}

}  // namespace
