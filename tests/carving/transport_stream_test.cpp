// Transport-stream heads: confirmation from the device, continuation of an earlier stream,
// and streams already carved.
#include <gtest/gtest.h>

#include <vector>

#include "carving_test_disk.h"

namespace {

using J = CFileTypeJudge;
using Bytes = std::vector<unsigned char>;

// nPackets 188-byte packets with sync bytes and a non-null header, placed at byte nAt.
void PutPackets(Bytes& vec, size_t nAt, int nPackets) {
    for (int i = 0; i < nPackets; ++i) {
        size_t n = nAt + 188 * static_cast<size_t>(i);
        if (n + 188 > vec.size()) vec.resize(n + 188, 0);
        vec[n] = 0x47;
        vec[n + 1] = 0x40;
        vec[n + 2] = 0x11;
        vec[n + 3] = 0x10;
        for (int k = 4; k < 188; ++k) vec[n + k] = static_cast<unsigned char>(0xA0 + (k % 7));
    }
}

constexpr unsigned long long HEAD = 10;

Bytes StreamImage(int nPackets = 100) {
    Bytes vec(64 * 512, 0);
    PutPackets(vec, HEAD * 512, nPackets);
    return vec;
}

TEST(TransportStream, HeadConfirmedByTheDeviceIsFound) {
    CCarvingTestDisk disk(StreamImage());
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(disk.WalkAt(HEAD), EXT_TS);
    EXPECT_EQ(disk.MatchesAt(HEAD, "ts"), 1);
}

TEST(TransportStream, TooFewPacketsOnTheDeviceAreNotAStream) {
    // 21 packets fill the head sector's test but not the 22 the device must show.
    CCarvingTestDisk disk(StreamImage(21));
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(disk.WalkAt(HEAD), EXT_UNKNOWN);
    CCarvingTestDisk enough(StreamImage(22));
    ASSERT_TRUE(enough.Ready());
    EXPECT_EQ(enough.WalkAt(HEAD), EXT_TS);
}

TEST(TransportStream, ContinuationOfAnEarlierStreamIsNoHeadDuringAScan) {
    // Packets run on from before HEAD: the sector before it has sync bytes at 512-188k.
    Bytes vecRunning(64 * 512, 0);
    PutPackets(vecRunning, HEAD * 512 - 2 * 188, 100);
    // One stray sync byte where the last packet of a running stream would start.
    Bytes vecStray(64 * 512, 0);
    PutPackets(vecStray, HEAD * 512, 100);
    vecStray[HEAD * 512 - 188] = 0x47;
    for (const Bytes* pImage : {&vecRunning, &vecStray}) {
        CCarvingTestDisk disk(*pImage);
        ASSERT_TRUE(disk.Ready());
        EXPECT_EQ(disk.WalkAt(HEAD, 1), EXT_UNKNOWN);
        EXPECT_EQ(disk.WalkAt(HEAD, 0), EXT_TS);
        // Matching an extension judges the stream on its own bytes.
        EXPECT_EQ(disk.MatchesAt(HEAD, "ts"), 1);
    }
    // The second packet offset of the sector before counts too (512 - 2 x 188 = 136).
    Bytes vecSecond(64 * 512, 0);
    PutPackets(vecSecond, HEAD * 512, 100);
    vecSecond[HEAD * 512 - 512 + 136] = 0x47;
    CCarvingTestDisk second(vecSecond);
    ASSERT_TRUE(second.Ready());
    EXPECT_EQ(second.WalkAt(HEAD, 1), EXT_UNKNOWN);
    // Any other byte of the sector before is free.
    Bytes vecOther(64 * 512, 0);
    PutPackets(vecOther, HEAD * 512, 100);
    vecOther[HEAD * 512 - 512 + 137] = 0x47;
    CCarvingTestDisk other(vecOther);
    ASSERT_TRUE(other.Ready());
    EXPECT_EQ(other.WalkAt(HEAD, 1), EXT_TS);
}

TEST(TransportStream, HeadInsideACarvedStreamIsNoNewHead) {
    CCarvingTestDisk disk(StreamImage());
    ASSERT_TRUE(disk.Ready());
    J::m_tsFileRangeVec = {{2, HEAD - 1}};
    EXPECT_EQ(disk.WalkAt(HEAD), EXT_TS);
    J::m_tsFileRangeVec = {{2, 4}, {HEAD, HEAD + 40}};  // the start is inclusive
    EXPECT_EQ(disk.WalkAt(HEAD), EXT_UNKNOWN);
    J::m_tsFileRangeVec = {{HEAD - 5, HEAD}};  // so is the end
    EXPECT_EQ(disk.WalkAt(HEAD), EXT_UNKNOWN);
    EXPECT_EQ(disk.MatchesAt(HEAD, "ts"), 1);
}

TEST(TransportStream, StreamAtTheFirstSectorOfTheDevice) {
    // Nothing lies before sector 0, so nothing can continue into it.
    Bytes vec(64 * 512, 0);
    PutPackets(vec, 0, 100);
    CCarvingTestDisk disk(vec);
    ASSERT_TRUE(disk.Ready());
    EXPECT_EQ(disk.WalkAt(0, 1), EXT_TS);
}

TEST(TransportStream, UnreadableDeviceOrOddSectorSizeRejects) {
    Bytes vec = StreamImage();
    CCarvingTestDisk disk(vec);
    ASSERT_TRUE(disk.Ready());
    Bytes vecHead = disk.Sector(HEAD);
    disk.AimAt(HEAD);
    J::m_pDiskReader = nullptr;
    EXPECT_EQ(J::IsTsType(vecHead.data(), 512), EXT_UNKNOWN);
    disk.AimAt(HEAD);
    J::m_nBytesPerSector = 0;
    EXPECT_EQ(J::IsTsType(vecHead.data(), 512), EXT_UNKNOWN);
    J::m_nBytesPerSector = 8192;
    EXPECT_EQ(J::IsTsType(vecHead.data(), 512), EXT_UNKNOWN);
    // The last sectors of the device cannot show 4096 bytes of packets.
    disk.AimAt(disk.SectorCount() - 2);
    EXPECT_EQ(J::IsTsType(vecHead.data(), 512), EXT_UNKNOWN);
}

TEST(TransportStream, BufferOfWholePacketsIsCheckedOnlyWhereItHasBytes) {
    Bytes vec = StreamImage();
    CCarvingTestDisk disk(vec);
    ASSERT_TRUE(disk.Ready());
    disk.AimAt(HEAD);
    Bytes vecTwoPackets(vec.begin() + HEAD * 512, vec.begin() + HEAD * 512 + 376);
    vecTwoPackets.shrink_to_fit();
    EXPECT_EQ(J::IsTsType(vecTwoPackets.data(), 376), EXT_TS);
    vecTwoPackets[188] = 0x00;
    EXPECT_EQ(J::IsTsType(vecTwoPackets.data(), 376), EXT_UNKNOWN);
    // A null packet header after the sync byte is no stream head.
    Bytes vecNullHeader(vec.begin() + HEAD * 512, vec.begin() + HEAD * 512 + 512);
    vecNullHeader[1] = vecNullHeader[2] = vecNullHeader[3] = 0;
    EXPECT_EQ(J::IsTsType(vecNullHeader.data(), 512), EXT_UNKNOWN);
}

}  // namespace
