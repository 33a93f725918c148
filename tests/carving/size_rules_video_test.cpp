// Size rules of the video formats: well-formed files planted in raw images come back
// whole through the carving sweep, and the rules' edge cases cut where they should.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "carving/signature_constants.h"
#include "carving/size_rules.h"
#include "carving_test_disk.h"
#include "fixtures/carving_image.h"
#include "fixtures/media_samples.h"
#include "planted_files_check.h"
#include "fixtures/temp_dir.h"
#include "util/le.h"

namespace {

constexpr int kSector = 512;
constexpr unsigned long long kOneSector = kSector;

class SizeRulesVideoTest : public ::testing::Test {
protected:
    std::vector<_MEDIA_CARVED_FILE_> Carve(const CCarvingImage& image) { return CarveImage(image, m_dir.Path()); }
    unsigned long long SizeAt(const CCarvingImage& image, unsigned long long u64Sector) {
        std::vector<_MEDIA_CARVED_FILE_> vec = Carve(image);
        const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vec, u64Sector);
        return pCarved == nullptr ? 0 : pCarved->u64Size;
    }

    CJudgeContextScope m_scope;
    CScopedAppHome m_home;
    CTempDir m_dir;
};

unsigned long long SectorsFor(const MEDIA_BYTES& vecFile) {
    return (vecFile.size() + kSector - 1) / kSector;
}

// Neutral data from byte u64At to the end of its sector: a file that is followed by data
// rather than zero padding.
void DirtySectorRest(CCarvingImage& image, unsigned long long u64At, uint32_t nSeed) {
    if (u64At % kSector != 0) image.Poke(u64At, NeutralBytes(kSector - u64At % kSector, nSeed));
}

// An ASF head: the Header Object, nFiller bytes of another child object, then a File
// Properties Object stating u64Size with the given flags.
MEDIA_BYTES AsfHead(int nFiller, unsigned long long u64Size, uint32_t nFlags) {
    MEDIA_BYTES vec(30 + nFiller + 104 < kSector ? kSector : 30 + nFiller + 104, 0);
    memcpy(vec.data(), sm_Asf_file_head_guid, 16);
    const size_t nAt = 30 + nFiller;
    memcpy(vec.data() + nAt, sm_Asf_file_properties_guid, 16);
    WriteLe64(vec.data() + nAt + 16, 104);
    WriteLe64(vec.data() + nAt + 40, u64Size);
    WriteLe32(vec.data() + nAt + 88, nFlags);
    return vec;
}

TEST_F(SizeRulesVideoTest, PlantedFilesWithAKnownEndComeBackByteForByte) {
    CCarvingImage image(400);
    const std::vector<std::pair<MEDIA_BYTES, std::string>> vecSamples = {
        {MakeMpegProgramStream(6, 1), "mpeg"}, {MakeMpegVideoStream(5000, 2), "mpeg"},
        {MakeMp4File(9000, 3), "mp4"},         {MakeAviFile(12, 4), "avi"},
        {MakeSwfFile(), "swf"},                {MakeTsFile(90, 5), "ts"},
    };
    unsigned long long u64Next = 2;
    for (const auto& sample : vecSamples) {
        image.Plant(u64Next, sample.first, sample.second);
        u64Next += SectorsFor(sample.first) + 4;
    }
    ASSERT_LT(u64Next, image.SectorCount());

    ExpectPlantedFilesCarvedExactly(image, Carve(image));
}

TEST_F(SizeRulesVideoTest, MpegProgramStreamEndsAtItsEndCodeAndElementaryStreamAtItsOwn) {
    // A program stream's packs lead to its end code, whatever data follows it in its sector.
    MEDIA_BYTES vecPs = MakeMpegProgramStream(4, 11);
    CCarvingImage image(60);
    image.Plant(2, vecPs, "mpeg");
    DirtySectorRest(image, 2 * kSector + vecPs.size(), 12);
    image.Plant(40, MakeJpegFile(0, 13), "jpg");
    EXPECT_EQ(SizeAt(image, 2), vecPs.size());

    // An elementary stream is not closed by a program end code, however final it looks, but by
    // its sequence end code.
    MEDIA_BYTES vecEs = MakeMpegVideoStream(6000, 14);
    const size_t nFakeEnd = 3 * kSector - 4;  // program end code on a sector boundary
    const unsigned char ucProgramEnd[4] = {0x00, 0x00, 0x01, 0xB9};
    memcpy(vecEs.data() + nFakeEnd, ucProgramEnd, 4);
    CCarvingImage esImage(40);
    esImage.Plant(3, vecEs, "mpeg");
    std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(esImage);
    const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 3);
    ASSERT_NE(pCarved, nullptr);
    EXPECT_TRUE(pCarved->vecRecovered == vecEs);

    // Nor is a program stream, when the code lies inside one of its packets.
    MEDIA_BYTES vecPsInner = MakeMpegProgramStream(4, 15);
    memcpy(vecPsInner.data() + nFakeEnd, ucProgramEnd, 4);
    CCarvingImage psImage(40);
    psImage.Plant(3, vecPsInner, "mpeg");
    EXPECT_EQ(SizeAt(psImage, 3), vecPsInner.size());
}

TEST_F(SizeRulesVideoTest, Mp4AndRealMediaEndWithTheirClosingRecords) {
    // The producer text after the marker belongs to the file; the zeros after it do not.
    MEDIA_BYTES vecMp4 = MakeMp4File(3000, 21, "X");
    ASSERT_EQ(std::string(vecMp4.end() - 4, vecMp4.end()), "by X");
    CCarvingImage image(40);
    image.Plant(2, vecMp4, "mp4");
    std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(image);
    const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 2);
    ASSERT_NE(pCarved, nullptr);
    EXPECT_TRUE(pCarved->vecRecovered == vecMp4);

    // RealMedia: the empty index header closes the file, whatever follows it.
    MEDIA_BYTES vecRm = NeutralBytes(3 * kSector, 22);
    memcpy(vecRm.data(), ".RMF", 4);
    vecRm.insert(vecRm.end(), std::begin(szRmvbTail), std::end(szRmvbTail));
    CCarvingImage rmImage(40);
    rmImage.Plant(2, vecRm, "rmvb");
    DirtySectorRest(rmImage, 2 * kSector + vecRm.size(), 23);
    EXPECT_EQ(SizeAt(rmImage, 2), vecRm.size());
}

TEST_F(SizeRulesVideoTest, TransportStreamEndsWithItsLastGoodPacket) {
    // Packet 50 (index 49) has lost its sync byte: the stream ends after packet 49 even though
    // nothing else ends it before the next file.
    MEDIA_BYTES vecTs = MakeTsFile(120, 31);
    vecTs[49 * 188] = 0x00;
    CCarvingImage image(120);
    image.Plant(5, vecTs, "ts");
    image.Plant(100, MakeJpegFile(0, 32), "jpg");
    std::vector<_MEDIA_CARVED_FILE_> vecCarved = Carve(image);
    const _MEDIA_CARVED_FILE_* pCarved = CarvedAt(vecCarved, 5);
    ASSERT_NE(pCarved, nullptr);
    EXPECT_EQ(pCarved->u64Size, 49ULL * 188);
    // The range remembered is the cut stream's, in whole sectors.
    ASSERT_EQ(CFileTypeJudge::m_tsFileRangeVec.size(), 1u);
    EXPECT_EQ(CFileTypeJudge::m_tsFileRangeVec[0].u64StartSector, 5u);
    EXPECT_EQ(CFileTypeJudge::m_tsFileRangeVec[0].u64EndSector, 5u + (49 * 188 + kSector - 1) / kSector - 1);

    // A stream that runs into the end of the device keeps its whole packets.
    MEDIA_BYTES vecLong = MakeTsFile(200, 33);
    CCarvingImage cut(60);
    cut.Plant(4, vecLong, "ts");
    const unsigned long long u64Room = (60 - 4) * kOneSector;
    EXPECT_EQ(SizeAt(cut, 4), u64Room / 188 * 188);
}

TEST_F(SizeRulesVideoTest, DefaultVideoRuleEndsBeforeTheNextFileOrFileSystemSector) {
    MEDIA_BYTES vecMov = NeutralBytes(6 * kSector, 41);
    const unsigned char ucMovHead[12] = {0, 0, 0, 0x14, 'f', 't', 'y', 'p', 'q', 't', ' ', ' '};
    memcpy(vecMov.data(), ucMovHead, sizeof(ucMovHead));
    MEDIA_BYTES vecMkv = NeutralBytes(6 * kSector, 42);
    const unsigned char ucEbml[8] = {0x1A, 0x45, 0xDF, 0xA3, 0x93, 0x42, 0x82, 0x88};
    memcpy(vecMkv.data(), ucEbml, sizeof(ucEbml));
    // (A MOV that is nothing but its file type box has no structure to walk.)
    const std::vector<std::pair<MEDIA_BYTES, std::string>> vecFiles = {{vecMov, "mov"}, {vecMkv, "mkv"}};
    for (const auto& file : vecFiles) {
        SCOPED_TRACE(file.second);
        ASSERT_LT(SectorsFor(file.first), 20u);
        CCarvingImage image(60);
        image.Plant(3, file.first, file.second);
        DirtySectorRest(image, 3 * kSector + file.first.size(), 45);
        image.Plant(26, MakePngFile(4, 4, 46), "png");
        EXPECT_EQ(SizeAt(image, 3), 23 * kOneSector);

        // An NTFS file record ends it just the same.
        CCarvingImage fsImage(60);
        fsImage.Plant(3, file.first, file.second);
        MEDIA_BYTES vecRecord = NeutralBytes(kSector, 47);
        memcpy(vecRecord.data(), "FILE0", 5);
        fsImage.Plant(30, vecRecord, "");
        EXPECT_EQ(SizeAt(fsImage, 3), 27 * kOneSector);
    }
}

TEST_F(SizeRulesVideoTest, HeaderRulesTakeTheirLengthFieldsWithinLimits) {
    CFileTypeJudge::m_nBytesPerSector = kSector;
    // ASF: the File Properties Object's size, unless broadcast, unreadable or beyond 256 MiB.
    MEDIA_BYTES vecAsf = AsfHead(40, 123456, 0x2);
    EXPECT_EQ(GetASFFileBytesSize(vecAsf.data(), kSector), 123456u);
    vecAsf = AsfHead(40, 123456, 0x3);
    EXPECT_EQ(GetASFFileBytesSize(vecAsf.data(), kSector), kOneSector);
    vecAsf = AsfHead(40, 300000000, 0x2);
    EXPECT_EQ(GetASFFileBytesSize(vecAsf.data(), kSector), 268435456u);
    vecAsf = AsfHead(kSector, 123456, 0x2);  // the object lies past the head sector
    EXPECT_EQ(GetASFFileBytesSize(vecAsf.data(), kSector), kOneSector);
    vecAsf = AsfHead(kSector - 30 - 60, 123456, 0x2);  // the object is cut by the sector's end
    EXPECT_EQ(GetASFFileBytesSize(vecAsf.data(), kSector), kOneSector);
    EXPECT_EQ(GetASFFileBytesSize(vecAsf.data(), 45), kOneSector);
    EXPECT_EQ(GetASFFileBytesSize(nullptr, kSector), kOneSector);

    // SWF: the stated length of an uncompressed file, at most 256 MiB.
    MEDIA_BYTES vecSwf = MakeSwfFile();
    vecSwf.resize(kSector, 0);
    EXPECT_EQ(GetSWFFileBytesSize(vecSwf.data(), kSector), MakeSwfFile().size());
    WriteLe32(vecSwf.data() + 4, 300000000);
    EXPECT_EQ(GetSWFFileBytesSize(vecSwf.data(), kSector), 268435456u);
    vecSwf[0] = 'C';  // compressed: the length is that of the inflated file
    EXPECT_EQ(GetSWFFileBytesSize(vecSwf.data(), kSector), kOneSector);
    EXPECT_EQ(GetSWFFileBytesSize(vecSwf.data(), 0), kOneSector);

    // AVI: the RIFF size plus its 8-byte preamble, with no cap.
    MEDIA_BYTES vecAvi = MakeAviFile(1, 51);
    vecAvi.resize(kSector, 0);
    WriteLe32(vecAvi.data() + 4, 1000);
    EXPECT_EQ(GetAVIFileBytesSize(vecAvi.data(), kSector), 1008u);
    WriteLe32(vecAvi.data() + 4, 0xFFFFFFFFu);
    EXPECT_EQ(GetAVIFileBytesSize(vecAvi.data(), kSector), 0xFFFFFFFFULL + 8);
    EXPECT_EQ(GetAVIFileBytesSize(vecAvi.data(), 15), kOneSector);
}

TEST_F(SizeRulesVideoTest, ProgressStopEndsTheWalkButTheStreamIsStillRemembered) {
    MEDIA_BYTES vecTs = MakeTsFile(300, 61);
    CCarvingTestDisk disk(ImageWithFileAt(vecTs, 2, 200));
    ASSERT_TRUE(disk.Ready());
    CFileTypeJudge judge;
    CFileTypeJudge::m_tsFileRangeVec.clear();
    SCAN_CALLBACK pfnOld = CFileTypeJudge::m_progressFunc;
    CFileTypeJudge::m_progressFunc = [](void*, int, int, int, unsigned long long, unsigned long long,
                                        unsigned long long, wchar_t*) { return KR_STOPPED_BY_USER; };
    MEDIA_BYTES vecHead = disk.Sector(2);
    char szName[64];
    EXTEND_NAME_TYPE nType = EXT_UNKNOWN;
    unsigned long long u64Size = 0;
    int nRet = CFileTypeJudge::ParseFileBuf(vecHead.data(), kSector, 2, 0, 200, 0, 0, disk.Reader(), kSector,
                                            szName, sizeof(szName), nType, u64Size);
    CFileTypeJudge::m_progressFunc = pfnOld;
    EXPECT_EQ(nRet, KR_STOPPED_BY_USER);
    EXPECT_EQ(nType, EXT_TS);
    // Only the head sector was examined; its last whole packet ends at 376.
    EXPECT_EQ(u64Size, 376u);
    ASSERT_EQ(CFileTypeJudge::m_tsFileRangeVec.size(), 1u);
    EXPECT_EQ(CFileTypeJudge::m_tsFileRangeVec[0].u64EndSector, 2u);
}

TEST_F(SizeRulesVideoTest, DefaultWalkStopsAtItsCap) {
    // Over a device of zeros in 64 KiB sectors nothing but the cap ends an MXF. (The 64 GiB cap
    // of MKV and TS is the same walk with another constant, and too much to read in a test.)
    MEDIA_BYTES vecMxf(std::begin(szXmfHead), std::end(szXmfHead));
    const unsigned long long u64Cap = 4294967296ULL;
    EXPECT_EQ(CarvedSizeOverZeros(vecMxf, u64Cap + 4 * 65536, 65536), u64Cap);
}

}  // namespace
