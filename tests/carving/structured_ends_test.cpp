// Files made by the real tools end exactly where their structure ends when carved, whatever
// follows them on the disk; pictures of every kind python3-pil writes are found and judged
// healthy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "fixtures/carving_image.h"
#include "fixtures/media_samples.h"
#include "fixtures/real_tool_samples.h"
#include "fixtures/temp_dir.h"
#include "planted_files_check.h"

namespace {

class StructuredEnds : public ::testing::Test {
protected:
    CJudgeContextScope m_scope;
    CScopedAppHome m_home;
    CTempDir m_dir;
};

TEST_F(StructuredEnds, RealToolFilesAreCarvedByteExactBeforeOtherData) {
    const std::vector<_REAL_TOOL_SAMPLE_> vecSamples = MakeStructuredSamples(m_dir.Path());
    std::vector<std::pair<MEDIA_BYTES, std::string>> vecFiles;
    for (const _REAL_TOOL_SAMPLE_& sample : vecSamples) {
        ASSERT_FALSE(sample.vecBytes.empty()) << sample.strLabel << ": the tool made nothing";
        vecFiles.push_back({sample.vecBytes, sample.strExt});
    }
    for (int nSector : {512, 4096}) {
        SCOPED_TRACE("sector " + std::to_string(nSector));
        // Neutral bytes everywhere, so each file is followed by data, not zeros.
        const CCarvingImage image = PlantOneAfterAnother(vecFiles, nSector, 7);
        std::vector<_MEDIA_CARVED_FILE_> vecCarved = CarveImage(image, m_dir.Path());
        for (size_t i = 0; i < vecSamples.size(); ++i) {
            const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, image.Planted()[i].u64Sector);
            EXPECT_TRUE(pCarved != nullptr && pCarved->u64Size == vecSamples[i].vecBytes.size())
                << vecSamples[i].strLabel << ": " << (pCarved == nullptr ? 0 : pCarved->u64Size) << " bytes carved of "
                << vecSamples[i].vecBytes.size();
        }
        ExpectPlantedFilesCarvedExactly(image, vecCarved);
    }
}

TEST_F(StructuredEnds, BrokenStructuresEndAtTheirLastSoundRecordOrFallBackToTheEndSearch) {
    const std::vector<_REAL_TOOL_SAMPLE_> vecSamples = MakeStructuredSamples(m_dir.Path());
    auto Sample = [&](const std::string& strLabel) {
        for (const _REAL_TOOL_SAMPLE_& sample : vecSamples)
            if (sample.strLabel == strLabel) return sample.vecBytes;
        return MEDIA_BYTES();
    };
    struct CASE {
        const char* szWhat;
        MEDIA_BYTES vecFile;
        unsigned long long u64Expected;  // 0: the end search's answer, up to the next file
    };
    MEDIA_BYTES vecGzip = Sample("gzip -n");
    MEDIA_BYTES vecBadCrc = vecGzip;
    vecBadCrc[vecBadCrc.size() - 8] ^= 0x01;
    MEDIA_BYTES vecBadSize = vecGzip;
    vecBadSize[vecBadSize.size() - 1] ^= 0x01;
    // An MP3 (MPEG-1 layer III, 44.1 kHz) whose frame 10 lost its sync: the tag and 9 frames remain.
    MEDIA_BYTES vecCutMp3 = Sample("ffmpeg MP3, ID3v2 only");
    size_t nTenth = 10 + ((vecCutMp3[6] << 21) | (vecCutMp3[7] << 14) | (vecCutMp3[8] << 7) | vecCutMp3[9]);
    const unsigned nKbits[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    for (int i = 0; i < 9 && nTenth + 4 < vecCutMp3.size(); ++i)
        nTenth += 144 * 1000 * nKbits[vecCutMp3[nTenth + 2] >> 4] / 44100 + ((vecCutMp3[nTenth + 2] >> 1) & 1);
    ASSERT_LT(nTenth, vecCutMp3.size());
    vecCutMp3[nTenth] = 0x00;
    // An MPEG-2 stream whose third pack was overwritten: the first two are the file.
    MEDIA_BYTES vecMpeg = Sample("ffmpeg MPEG-2 program stream");
    MEDIA_BYTES vecCutMpeg = vecMpeg;
    vecCutMpeg[2 * 2048 + 2] = 0x00;
    // A box that runs "to the end of the file" has no end: the end search decides.
    MEDIA_BYTES vecOpenMp4 = Sample("ffmpeg MP4");
    for (size_t i = 0; i + 8 < vecOpenMp4.size(); ++i)
        if (memcmp(vecOpenMp4.data() + i + 4, "mdat", 4) == 0) {
            memset(vecOpenMp4.data() + i, 0, 4);
            break;
        }
    const std::vector<CASE> vecCases = {
        {"gzip, CRC-32 wrong", vecBadCrc, 0},
        {"gzip, size wrong", vecBadSize, 0},
        {"MP3, sync lost", vecCutMp3, nTenth},
        {"MPEG-2, pack overwritten", vecCutMpeg, 2 * 2048},
        {"MP4, open media box", vecOpenMp4, 0},
    };
    for (const CASE& test : vecCases) {
        SCOPED_TRACE(test.szWhat);
        ASSERT_GT(test.vecFile.size(), 2 * 2048u);
        CCarvingImage image((test.vecFile.size() + 511) / 512 + 12, 512);
        image.FillNeutral(0, image.SectorCount(), 11);
        image.Plant(1, test.vecFile, "");
        const unsigned long long u64Next = 1 + image.SectorsOf(test.vecFile.size()) + 5;
        image.Plant(u64Next, MakePngFile(4, 4, 12), "png");
        std::vector<_MEDIA_CARVED_FILE_> vecCarved = CarveImage(image, m_dir.Path());
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 1);
        ASSERT_NE(pCarved, nullptr);
        EXPECT_EQ(pCarved->u64Size, test.u64Expected != 0 ? test.u64Expected : (u64Next - 1) * 512);
    }
}

TEST_F(StructuredEnds, EveryPictureKindOfPilIsFoundAndJudgedHealthy) {
    for (const _REAL_TOOL_SAMPLE_& picture : MakePilPictures(m_dir.Path())) {
        SCOPED_TRACE(picture.strLabel);
        ASSERT_GT(picture.vecBytes.size(), 16u) << "the tool made nothing";
        CCarvingTestDisk disk(ImageWithFileAt(picture.vecBytes, 1, 4 + picture.vecBytes.size() / 512));
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(disk.WalkAt(1, 0), CFileTypeJudge::GetExtendNameType(picture.strExt.c_str()));
        EXPECT_EQ(disk.MatchesAt(1, picture.strExt.c_str()), 1);
        if (picture.strLabel == "python3-pil no-jfif.jpg") {
            const MEDIA_BYTES vecHead = {0xFF, 0xD8, 0xFF, 0xDB};
            EXPECT_TRUE(std::equal(vecHead.begin(), vecHead.end(), picture.vecBytes.begin()));
        }
    }
}

}  // namespace
