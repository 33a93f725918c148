// HEIF, AVIF, CR3, M4A, WebP, WebM, FLAC and Ogg: files made by the real tools are carved byte
// for byte under their own extension, broken streams end at their last sound record, the
// health check knows them, and no answer the walk gave before these rows existed has changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "crafted_heads.h"
#include "fixtures/camera_raw_samples.h"
#include "fixtures/carving_image.h"
#include "fixtures/media_samples.h"
#include "fixtures/office_samples.h"
#include "fixtures/real_tool_samples.h"
#include "fixtures/temp_dir.h"
#include "planted_files_check.h"

namespace {

using J = CFileTypeJudge;

class NewerMedia : public ::testing::Test {
protected:
    unsigned long long CarvedSizeAt(const MEDIA_BYTES& vecFile, const std::string& strExt) {
        CCarvingImage image(vecFile.size() / 512 + 20);
        image.FillNeutral(0, image.SectorCount(), 5);
        image.Plant(2, vecFile, strExt);
        std::vector<_MEDIA_CARVED_FILE_> vecCarved = CarveImage(image, m_dir.Path());
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 2);
        return pCarved == nullptr ? 0 : pCarved->u64Size;
    }
    CJudgeContextScope m_scope;
    CScopedAppHome m_home;
    CTempDir m_dir;
};

TEST_F(NewerMedia, RealToolFilesAreCarvedByteExactUnderTheirExtensionAndJudgedHealthy) {
    const std::vector<_REAL_TOOL_SAMPLE_> vecSamples = MakeNewerMediaSamples(m_dir.Path());
    for (int nSector : {512, 4096}) {
        CCarvingImage image(8, nSector);
        unsigned long long u64Next = 2;
        for (const _REAL_TOOL_SAMPLE_& sample : vecSamples) {
            ASSERT_GT(sample.vecBytes.size(), 16u) << sample.strLabel << ": the tool made nothing";
            u64Next += image.SectorsOf(sample.vecBytes.size()) + 2;
        }
        image = CCarvingImage(u64Next + 4, nSector);
        image.FillNeutral(0, image.SectorCount(), 9);
        u64Next = 2;
        for (const _REAL_TOOL_SAMPLE_& sample : vecSamples) {
            image.Plant(u64Next, sample.vecBytes, sample.strExt);
            u64Next += image.SectorsOf(sample.vecBytes.size()) + 2;
        }
        CTempDir runDir;  // recovered names repeat between the two runs
        ExpectPlantedFilesCarvedExactly(image, CarveImage(image, runDir.Path()));
    }
    // Found through a file system under their own name, or a sibling kind's, they are healthy.
    auto Matches = [](const MEDIA_BYTES& vecFile, const char* szExt) {
        CCarvingTestDisk disk(ImageWithFileAt(vecFile, 1, 4 + vecFile.size() / 512));
        return disk.MatchesAt(1, szExt);
    };
    for (const _REAL_TOOL_SAMPLE_& sample : vecSamples) EXPECT_EQ(Matches(sample.vecBytes, sample.strExt.c_str()), 1) << sample.strLabel;
    const MEDIA_BYTES& vecOpus = vecSamples[7].vecBytes;
    ASSERT_EQ(vecSamples[7].strExt, "opus");
    EXPECT_EQ(Matches(vecOpus, "ogg"), 1);
    EXPECT_EQ(Matches(MakeMp4File(2000, 1), "m4a"), 1);
    EXPECT_EQ(Matches(vecOpus, "m4a"), 0);
    EXPECT_EQ(Matches(NeutralBytes(2048, 3), "heic"), 0);
}

TEST_F(NewerMedia, MatroskaAndWebmEndWithTheirSegmentUnderTheirOwnName) {
    for (const _REAL_TOOL_SAMPLE_& sample : MakeMatroskaSamples(m_dir.Path())) {
        SCOPED_TRACE(sample.strLabel);
        ASSERT_GT(sample.vecBytes.size(), 512u);
        CCarvingImage image(sample.vecBytes.size() / 512 + 12);
        image.FillNeutral(0, image.SectorCount(), 4);
        image.Plant(2, sample.vecBytes, sample.strExt);  // the neutral bytes after it start no file
        CTempDir runDir;
        ExpectPlantedFilesCarvedExactly(image, CarveImage(image, runDir.Path()));
    }
}

TEST_F(NewerMedia, BrokenFlacAndOggEndAtTheirLastSoundRecord) {
    // A FLAC whose sixth frame lost its sync ends where the same encoding of five frames ends.
    const std::string strDir = m_dir.Path();
    const std::string strMake = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i sine=frequency=440:duration=1 "
                                "-fflags +bitexact -flags:a +bitexact -c:a pcm_s16le ";
    ASSERT_TRUE(RunQuiet(strMake + "'" + strDir + "/long.wav' && " + strMake + "-af atrim=end_sample=20480 '" + strDir +
                         "/short.wav' && flac -s -f -b 4096 '" + strDir + "/long.wav' && flac -s -f -b 4096 '" + strDir +
                         "/short.wav'"));
    MEDIA_BYTES vecLong = ReadWholeFile(strDir + "/long.flac");
    const MEDIA_BYTES vecShort = ReadWholeFile(strDir + "/short.flac");
    ASSERT_TRUE(vecShort.size() > 42 && vecLong.size() > vecShort.size() &&
                std::equal(vecShort.begin() + 42, vecShort.end(), vecLong.begin() + 42));
    EXPECT_EQ(CarvedSizeAt(vecLong, "flac"), vecLong.size());
    MEDIA_BYTES vecUnstated = vecLong;  // no sample count: the frames alone tell the last one
    std::fill(vecUnstated.begin() + 8 + 13, vecUnstated.begin() + 8 + 18, 0);
    vecUnstated[8 + 13] = vecLong[8 + 13] & 0xF0;
    EXPECT_EQ(CarvedSizeAt(vecUnstated, "flac"), vecLong.size());
    vecLong[vecShort.size()] = 0x00;
    EXPECT_EQ(CarvedSizeAt(vecLong, "flac"), vecShort.size());

    // An Ogg page whose CRC fails ends the file before it.
    MEDIA_BYTES vecOgg = MakeNewerMediaSamples(strDir)[6].vecBytes;
    std::vector<size_t> vecPages;
    for (size_t n = 0; n + 4 <= vecOgg.size(); ++n)
        if (memcmp(vecOgg.data() + n, "OggS", 4) == 0) vecPages.push_back(n);
    ASSERT_GE(vecPages.size(), 3u);
    vecOgg[vecPages[2] + 40] ^= 0x10;
    EXPECT_EQ(CarvedSizeAt(vecOgg, "ogg"), vecPages[2]);
}

// The walk over the table without the rows of the newer kinds and camera RAW (every code past
// EXT_UNKNOWN): what it answered before they were added.
EXTEND_NAME_TYPE AnswerWithoutNewerRows(const unsigned char* pBuf, int nLen) {
    for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->pfnIsType != nullptr; ++pRow) {
        if (pRow->nFileType > EXT_UNKNOWN) continue;
        // (The QuickTime row's test also tells the ISO brands: those answers are new.)
        const EXTEND_NAME_TYPE nType = pRow->pfnIsType(pBuf, nLen);
        if (nType != EXT_UNKNOWN && nType < EXT_UNKNOWN) return nType;
    }
    return EXT_UNKNOWN;
}

TEST_F(NewerMedia, EveryEarlierAnswerIsUnchangedAndTheNewHeadsAreTheirOwn) {
    MEDIA_BYTES vecImage;
    auto Add = [&vecImage](const MEDIA_BYTES& vecFile) {
        vecImage.insert(vecImage.end(), vecFile.begin(), vecFile.end());
        vecImage.resize((vecImage.size() + 511) / 512 * 512 + 512, 0);
    };
    for (const _REAL_TOOL_SAMPLE_& sample : MakeStructuredSamples(m_dir.Path())) Add(sample.vecBytes);
    for (const _REAL_TOOL_SAMPLE_& sample : MakePilPictures(m_dir.Path())) Add(sample.vecBytes);
    for (const CRAFTED_HEAD& head : CraftedHeads()) Add(head.vecHead);
    for (const MEDIA_BYTES& vec : {MakeWavFile(3000, 1), MakeAviFile(3, 2), MakeMp4File(900, 3), MakeApeFile(900, 4),
                                   MakeMidiFile({3, 4}), MakeTsFile(20, 5), MakeWordDocumentSample(), MakeDocxSample(),
                                   MakeExcelWorkbookSample(), MakeJpegWithThumbnail(100, 100, 1), MakeMp3File(4),
                                   MakeIcoFile({16}, 5), MakeGzipFile(900, 6)})
        Add(vec);
    const unsigned long long u64OldSectors = vecImage.size() / 512;
    // Then the new heads, each with the code of its extension.
    std::vector<std::pair<unsigned long long, EXTEND_NAME_TYPE>> vecNewHeads;
    auto AddNew = [&](const MEDIA_BYTES& vecFile, const std::string& strExt) {
        vecNewHeads.push_back({vecImage.size() / 512, FindFirstRowOfExtension(strExt.c_str())->nFileType});
        Add(vecFile);
    };
    for (const _REAL_TOOL_SAMPLE_& sample : MakeNewerMediaSamples(m_dir.Path())) AddNew(sample.vecBytes, sample.strExt);
    for (const std::string& strKind : CameraRawKinds()) AddNew(MakeCameraRaw(strKind, m_dir.Path(), 7), strKind);

    CCarvingTestDisk disk(vecImage);
    ASSERT_TRUE(disk.Ready());
    int nOldFinds = 0;
    for (unsigned long long s = 0; s < u64OldSectors; ++s) {
        const MEDIA_BYTES vec = disk.Sector(s);
        for (int nLen : {512, 64, 16}) {
            disk.AimAt(s, static_cast<int>(s % 2));
            const EXTEND_NAME_TYPE nNow = J::GetDataBufType(vec.data(), nLen);
            ASSERT_EQ(nNow, J::GetDataBufTypeInTableOrder(vec.data(), nLen)) << "sector " << s << " length " << nLen;
            ASSERT_EQ(nNow, AnswerWithoutNewerRows(vec.data(), nLen)) << "sector " << s << " length " << nLen;
            nOldFinds += nNow != EXT_UNKNOWN;
        }
    }
    EXPECT_GT(nOldFinds, 200);
    for (const auto& head : vecNewHeads) {
        const MEDIA_BYTES vec = disk.Sector(head.first);
        disk.AimAt(head.first, 0);
        EXPECT_EQ(J::GetDataBufType(vec.data(), 512), head.second) << "sector " << head.first;
        EXPECT_EQ(J::GetDataBufTypeInTableOrder(vec.data(), 512), head.second) << "sector " << head.first;
    }
}

}  // namespace
