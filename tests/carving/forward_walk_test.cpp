// The walk every walking size rule shares, its end searches and the end-marker searches.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "carving/forward_walk.h"
#include "carving/signature_constants.h"
#include "carving_test_disk.h"
#include "fat/fat_record_tests.h"
#include "fixtures/carving_image.h"
#include "util/le.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;
constexpr int kSector = 512;

const Bytes kJpegHead = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0, 0, 0, 0, 0};
const Bytes kMpegPack = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0, 0, 0, 0, 1, 0xBB};

// A FAT directory sector: one archived file entry, then the end of the directory.
Bytes FatDirectorySector() {
    Bytes vec(kSector, 0);
    memcpy(vec.data(), "README  TXT", 11);
    vec[11] = 0x20;
    const uint16_t wDate = static_cast<uint16_t>(((2015 - 1980) << 9) | (6 << 5) | 15);
    for (int nOffset : {16, 18, 24}) WriteLe16(vec.data() + nOffset, wDate);
    WriteLe16(vec.data() + 26, 5);
    WriteLe32(vec.data() + 28, 1234);
    return vec;
}

Bytes NtfsRecordSector() {
    Bytes vec = NeutralBytes(kSector, 77);
    memcpy(vec.data(), "FILE0", 5);
    return vec;
}

void PutSector(Bytes& vec, int nSector, const Bytes& vecData) {
    memcpy(vec.data() + static_cast<size_t>(nSector) * kSector, vecData.data(), vecData.size());
}

// The progress callback and the values it was given, restored to "none" afterwards.
struct ProgressLog {
    int nCalls = 0;
    int nStopAtCall = 0;  // answer -9527 on this call (1-based); 0 never
    int nLastProgress = 0;
    int nLastPercent = 0;
    int nLastRemain = 0;
    unsigned long long u64LastCount = 0;
    unsigned long long u64LastTotal = 0;
    unsigned long long u64LastFiles = 0;
};

int RecordProgress(void* pParam, int nProgress, int nPercent, int nRemain, unsigned long long u64Cur,
                   unsigned long long u64Total, unsigned long long u64Files, wchar_t*) {
    auto* pLog = static_cast<ProgressLog*>(pParam);
    ++pLog->nCalls;
    pLog->nLastProgress = nProgress;
    pLog->nLastPercent = nPercent;
    pLog->nLastRemain = nRemain;
    pLog->u64LastCount = u64Cur;
    pLog->u64LastTotal = u64Total;
    pLog->u64LastFiles = u64Files;
    return pLog->nCalls == pLog->nStopAtCall ? KR_STOPPED_BY_USER : 0;
}

class ForwardWalkTest : public ::testing::Test {
protected:
    // As in a deep scan, the FAT engines tell their directory sectors.
    void SetUp() override { J::SetDirectorySectorTest(&IsFatDirectorySector); }
    void TearDown() override {
        J::SetDirectorySectorTest(nullptr);
        J::InitCallBack(nullptr, nullptr, nullptr, 0);
        J::m_u64ScanSectorCount = 0;
        J::m_u64SectorTotalCount = 0;
        J::m_ErrorCode = 0;
    }
    // An image of nSectors neutral sectors with a JPEG head at sector 0.
    static Bytes NeutralImage(int nSectors) {
        Bytes vec = NeutralBytes(static_cast<size_t>(nSectors) * kSector, 5);
        PutSector(vec, 0, kJpegHead);
        return vec;
    }
    CFileTypeJudge m_keepReadBuffer;
};

TEST_F(ForwardWalkTest, EndSearchStopsAtTheNextHeadAndAdvancesTheCurrentSector) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    Bytes vecChunk = NeutralBytes(8 * kSector, 9);
    J::m_u64CurrentSector = 100;
    unsigned long long u64Size = kSector;
    EXPECT_EQ(J::IsEndOfFile(vecChunk.data(), static_cast<int>(vecChunk.size()), u64Size), 0);
    EXPECT_EQ(u64Size, static_cast<unsigned long long>(kSector));
    EXPECT_EQ(J::m_u64CurrentSector, 108u);

    PutSector(vecChunk, 5, kJpegHead);
    J::m_u64CurrentSector = 100;
    EXPECT_EQ(J::IsEndOfFile(vecChunk.data(), static_cast<int>(vecChunk.size()), u64Size), 1);
    EXPECT_EQ(u64Size, static_cast<unsigned long long>(6 * kSector));  // head sector + 5 before it
    EXPECT_EQ(J::m_u64CurrentSector, 106u);  // the sector that ended the file
}

TEST_F(ForwardWalkTest, MpegHeadersEndOtherFilesButNotAnMpegStream) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    for (const Bytes& vecMetadata : {NtfsRecordSector(), FatDirectorySector()}) {
        Bytes vecChunk = NeutralBytes(8 * kSector, 3);
        PutSector(vecChunk, 2, kMpegPack);
        PutSector(vecChunk, 6, vecMetadata);
        const int nLen = static_cast<int>(vecChunk.size());
        unsigned long long u64Mpeg = 0, u64Video = 0, u64File = 0;
        EXPECT_EQ(J::IsEndOfMPGFile(vecChunk.data(), nLen, u64Mpeg), 1);
        EXPECT_EQ(J::IsEndOfVedioFile(vecChunk.data(), nLen, u64Video), 1);
        EXPECT_EQ(J::IsEndOfFile(vecChunk.data(), nLen, u64File), 1);
        EXPECT_EQ(u64Mpeg, static_cast<unsigned long long>(6 * kSector));
        EXPECT_EQ(u64Video, static_cast<unsigned long long>(2 * kSector));
        EXPECT_EQ(u64File, static_cast<unsigned long long>(2 * kSector));
    }
}

TEST_F(ForwardWalkTest, EndSearchIgnoresAPartialTrailingSector) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    Bytes vecChunk = NeutralBytes(kSector + 100, 4);
    PutSector(vecChunk, 1, Bytes(kJpegHead.begin(), kJpegHead.end()));
    unsigned long long u64Size = 0;
    EXPECT_EQ(J::IsEndOfFile(vecChunk.data(), static_cast<int>(vecChunk.size()), u64Size), 0);
    EXPECT_EQ(J::IsEndOfFile(nullptr, kSector, u64Size), 0);
}

TEST(EndMarkerSearch, JpegTakesOnlyTheFirstEndOfImage) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    Bytes vec(2 * kSector, 0);
    unsigned long long u64End = 0;
    vec[100] = 0xFF, vec[101] = 0xD9;  // zeros follow to the end of the sector
    EXPECT_EQ(J::GetJPGFileTailOffset(vec.data(), static_cast<int>(vec.size()), u64End), 1);
    EXPECT_EQ(u64End, 102u);

    vec[300] = 0x41;  // data after the first marker disqualifies it, and no later one is tried
    vec[kSector + 50] = 0xFF, vec[kSector + 51] = 0xD9;
    EXPECT_EQ(J::GetJPGFileTailOffset(vec.data(), static_cast<int>(vec.size()), u64End), 0);
}

TEST(EndMarkerSearch, MarkerEndingOnASectorBoundaryCountsWhateverFollows) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    Bytes vec = NeutralBytes(2 * kSector, 8);
    vec[kSector - 2] = 0xFF, vec[kSector - 1] = 0xD9;
    unsigned long long u64End = 0;
    EXPECT_EQ(J::GetJPGFileTailOffset(vec.data(), static_cast<int>(vec.size()), u64End), 1);
    EXPECT_EQ(u64End, static_cast<unsigned long long>(kSector));
}

TEST(EndMarkerSearch, PngAndGifGoOnToTheFirstValidMarker) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    const Bytes vecIend(std::begin(szPngTail), std::end(szPngTail));
    const Bytes vecTrailer(std::begin(szGifTail), std::end(szGifTail));
    for (const Bytes& vecMarker : {vecIend, vecTrailer}) {
        const bool bPng = vecMarker.size() == 8;
        auto Search = [&](const Bytes& vec, unsigned long long& u64End) {
            const int nLen = static_cast<int>(vec.size());
            return bPng ? J::GetPNGFileTailOffset(vec.data(), nLen, u64End)
                        : J::GetGIFFileTailOffset(vec.data(), nLen, u64End);
        };
        Bytes vec(3 * kSector, 0x80);
        unsigned long long u64End = 0;
        EXPECT_EQ(Search(vec, u64End), 0);
        memcpy(vec.data() + 40, vecMarker.data(), vecMarker.size());  // data follows: not the end
        EXPECT_EQ(Search(vec, u64End), 0);
        const size_t nAt = kSector + 200;
        memcpy(vec.data() + nAt, vecMarker.data(), vecMarker.size());
        std::fill(vec.begin() + static_cast<long>(nAt + vecMarker.size()), vec.begin() + 2 * kSector, 0);
        EXPECT_EQ(Search(vec, u64End), 1);
        EXPECT_EQ(u64End, nAt + vecMarker.size());
    }
}

TEST(EndMarkerSearch, SectorRestIsJudgedWithTheContextSectorSize) {
    CJudgeContextScope scope;
    Bytes vec(8192, 0);
    vec[1000] = 0x00, vec[1001] = 0x3B;
    vec[3000] = 0x55;  // inside the same 4096-byte sector, but in a later 512-byte one
    unsigned long long u64End = 0;
    J::m_nBytesPerSector = 512;
    EXPECT_EQ(J::GetGIFFileTailOffset(vec.data(), static_cast<int>(vec.size()), u64End), 1);
    J::m_nBytesPerSector = 4096;
    EXPECT_EQ(J::GetGIFFileTailOffset(vec.data(), static_cast<int>(vec.size()), u64End), 0);
    // A marker that the buffer cuts off is judged on the bytes that are there.
    EXPECT_EQ(IsMarkerEndOnSectorRest(vec.data(), 1500, 1002), 1);
    EXPECT_EQ(IsMarkerEndOnSectorRest(vec.data(), 1000, 1002), 0);
}

TEST_F(ForwardWalkTest, WalkEndsBeforeTheNextHeadAcrossChunks) {
    Bytes vec = NeutralImage(400);
    PutSector(vec, 201, kJpegHead);  // beyond the first 128-sector chunk
    CCarvingTestDisk disk(vec);
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(0, 0);
    EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfFile), 201ULL * kSector);
}

TEST_F(ForwardWalkTest, CapBoundsTheSizeHeadSectorIncluded) {
    CCarvingTestDisk disk(NeutralImage(400));
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(0, 0);
    EXPECT_EQ(RunForwardWalk(150ULL * kSector, J::IsEndOfFile), 150ULL * kSector);
    disk.AimAt(0, 0);
    // A cap that is not a whole number of sectors rounds down (the Office caps are such).
    EXPECT_EQ(RunForwardWalk(150ULL * kSector + 300, J::IsEndOfFile), 150ULL * kSector);
    disk.AimAt(0, 0);
    EXPECT_EQ(RunForwardWalk(100, J::IsEndOfFile), static_cast<unsigned long long>(kSector));
}

TEST_F(ForwardWalkTest, WalkReadsTheLastSectorsOfTheDevice) {
    // 300 sectors: the third chunk would ask past the end; the walk takes what exists.
    CCarvingTestDisk disk(NeutralImage(300));
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(0, 0);
    EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfFile), 300ULL * kSector);
    // A head on the last sector has nothing after it.
    disk.AimAt(299, 0);
    EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfFile), static_cast<unsigned long long>(kSector));
}

TEST_F(ForwardWalkTest, ProgressIsReportedPerChunkAndAStopKeepsTheSizeSoFar) {
    CCarvingTestDisk disk(NeutralImage(400));
    ASSERT_TRUE(disk.Ready());
    ProgressLog log;
    J::InitCallBack(RecordProgress, nullptr, &log, 7);
    J::m_u64ScanSectorCount = 1000;
    J::m_u64SectorTotalCount = 2000;
    J::m_nRemaidSecond = 42;
    J::m_u64FileCount = 3;

    disk.AimAt(0, 0);
    EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfFile), 400ULL * kSector);
    EXPECT_EQ(log.nCalls, 4);  // 128 + 128 + 128 + 15 sectors
    EXPECT_EQ(log.u64LastCount, 1000u + 399u);
    EXPECT_EQ(log.nLastProgress, static_cast<int>(1399ULL * 100 / 2000) + 10);
    EXPECT_EQ(log.nLastPercent, 7);
    EXPECT_EQ(log.nLastRemain, 42);
    EXPECT_EQ(log.u64LastTotal, 2000u);
    EXPECT_EQ(log.u64LastFiles, 3u);
    EXPECT_EQ(J::m_ErrorCode, 0);

    log = ProgressLog{};
    log.nStopAtCall = 2;
    disk.AimAt(0, 0);
    // The chunk whose report was answered with a stop is not counted.
    EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfFile), 129ULL * kSector);
    EXPECT_EQ(J::m_ErrorCode, KR_STOPPED_BY_USER);
    EXPECT_EQ(log.nCalls, 2);
}

TEST_F(ForwardWalkTest, MarkerCheckSeesEachChunkAndTakesPrecedence) {
    Bytes vec = NeutralImage(400);
    PutSector(vec, 150, kJpegHead);
    CCarvingTestDisk disk(vec);
    ASSERT_TRUE(disk.Ready());
    std::vector<_FORWARD_WALK_CHUNK_> vecSeen;
    Bytes vecFirstBytes;  // the chunk's bytes live only until the next read
    disk.AimAt(0, 0);
    unsigned long long u64Size = RunForwardWalk(
        1ULL << 32, J::IsEndOfFile, [&](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64End) {
            vecSeen.push_back(chunk);
            if (vecFirstBytes.empty()) vecFirstBytes.assign(chunk.pData, chunk.pData + 16);
            if (!chunk.bEndSearchFound) return FORWARD_WALK_GO_ON;
            u64End = chunk.u64BytesBefore + 700;  // a marker before the next head wins
            return FORWARD_WALK_END_HERE;
        });
    ASSERT_EQ(vecSeen.size(), 2u);
    EXPECT_EQ(vecSeen[0].u64BytesBefore, static_cast<unsigned long long>(kSector));
    EXPECT_EQ(vecSeen[0].nLen, 128 * kSector);
    EXPECT_EQ(vecFirstBytes, Bytes(vec.begin() + kSector, vec.begin() + kSector + 16));
    EXPECT_EQ(vecSeen[1].u64BytesBefore, 129ULL * kSector);
    EXPECT_EQ(vecSeen[1].u64EndSearchSize, 150ULL * kSector);
    EXPECT_EQ(u64Size, 129ULL * kSector + 700);
}

TEST_F(ForwardWalkTest, MpegStreamGrowsAcrossPackHeadersUntilFileSystemMetadata) {
    for (const Bytes& vecMetadata : {NtfsRecordSector(), FatDirectorySector()}) {
        Bytes vec = NeutralImage(300);
        for (int i = 0; i < 180; ++i) PutSector(vec, i, kMpegPack);
        PutSector(vec, 180, vecMetadata);
        CCarvingTestDisk disk(vec);
        ASSERT_TRUE(disk.Ready());
        disk.AimAt(0, 0);
        EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfMPGFile), 180ULL * kSector);
        disk.AimAt(0, 0);
        EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfVedioFile), static_cast<unsigned long long>(kSector));
    }
}

TEST_F(ForwardWalkTest, WithoutAReaderTheWalkAnswersTheHeadSector) {
    CJudgeContextScope scope;
    J::m_nBytesPerSector = kSector;
    J::m_pDiskReader = nullptr;
    EXPECT_EQ(RunForwardWalk(1ULL << 32, J::IsEndOfFile), static_cast<unsigned long long>(kSector));
}

}  // namespace
