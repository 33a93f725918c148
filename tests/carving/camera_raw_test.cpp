// Camera RAW: files written by the fixture script in the makers' layouts are read by exiftool as
// their kind, found under their own extension, judged healthy, carved byte-exact, and cut at a
// foreign head inside them (that no earlier answer changed is checked with the other new rows).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "fixtures/camera_raw_samples.h"
#include "fixtures/carving_image.h"
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
    std::vector<std::pair<MEDIA_BYTES, std::string>> vecFiles;
    for (unsigned nSeed : {1u, 2u})
        for (const std::string& strKind : CameraRawKinds()) {
            vecFiles.push_back({MakeCameraRaw(strKind, m_dir.Path(), nSeed), strKind});
            ASSERT_FALSE(vecFiles.back().first.empty()) << strKind;
        }
    for (int nSector : {512, 4096}) {
        SCOPED_TRACE("sector " + std::to_string(nSector));
        const CCarvingImage image = PlantOneAfterAnother(vecFiles, nSector, 19);
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

}  // namespace
