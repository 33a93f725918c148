#include <gtest/gtest.h>

#include <vector>

#include "fixtures/ntfs_records.h"
#include "ntfs/ntfs_attribute_walk.h"
#include "ntfs/ntfs_parse.h"
#include "ntfs/ntfs_record_tests.h"
#include "ntfs/ntfs_records.h"
#include "util/le.h"

namespace {
// A non-resident attribute header of nLength bytes whose run list at 64 holds the bytes given.
std::vector<uint8_t> AttributeWithRuns(const std::vector<uint8_t>& vecRuns, uint32_t nLength = 80) {
    std::vector<uint8_t> vecAttr(nLength < 64 + vecRuns.size() ? 64 + vecRuns.size() : nLength, 0);
    WriteLe32(&vecAttr[0], 0x80);
    WriteLe32(&vecAttr[4], nLength);
    vecAttr[8] = 1;
    WriteLe16(&vecAttr[32], 64);
    std::copy(vecRuns.begin(), vecRuns.end(), vecAttr.begin() + 64);
    return vecAttr;
}

std::vector<__RUNLIST__> Decode(const std::vector<uint8_t>& vecAttr, int nBytesPerSector = 512) {
    CNtfsParse parse;
    parse.Init(nBytesPerSector);
    std::vector<__RUNLIST__> vecRuns;
    parse.GetRunList(vecAttr.data(), vecRuns);
    return vecRuns;
}
}  // namespace

TEST(NtfsRecordTest, UpdateSequenceDecidesRecognitionOnTheFirstSectorOnly) {
    std::vector<uint8_t> vecRecord = CNtfsRecordBuilder(30, 1).FileName(5, u"a.txt").ResidentData({'x'}).Build(0x0007);
    EXPECT_TRUE(IsNtfsFileRecord(vecRecord.data(), 1024));
    EXPECT_FALSE(IsNtfsFileRecord(vecRecord.data(), 4096));  // bytes allocated must equal the size

    std::vector<uint8_t> vecTornSecond = vecRecord;
    WriteLe16(&vecTornSecond[1022], 0x0008);
    ASSERT_TRUE(IsNtfsFileRecord(vecTornSecond.data(), 1024));
    CNtfsParse parse;
    parse.Init(512);
    ASSERT_EQ(0, parse.FileRecordFixUp(vecTornSecond.data()));
    EXPECT_EQ(ReadLe16(&vecTornSecond[52]), ReadLe16(&vecTornSecond[1022]));
    EXPECT_EQ(ReadLe16(&vecTornSecond[50]), ReadLe16(&vecTornSecond[510]));

    std::vector<uint8_t> vecTornFirst = vecRecord;
    WriteLe16(&vecTornFirst[510], 0x0008);
    EXPECT_FALSE(IsNtfsFileRecord(vecTornFirst.data(), 1024));

    std::vector<uint8_t> vecTooFull = vecRecord;
    WriteLe32(&vecTooFull[24], 1025);
    EXPECT_FALSE(IsNtfsFileRecord(vecTooFull.data(), 1024));
    EXPECT_FALSE(IsNtfsFileRecord(nullptr, 1024));
    EXPECT_EQ(-1, parse.FileRecordFixUp(nullptr));
    std::vector<uint8_t> vecBlank(1024, 0);
    EXPECT_EQ(-1, parse.FileRecordFixUp(vecBlank.data()));
}

TEST(NtfsRecordTest, DefaultSectorsPerClusterFollowsTheVolumeSize) {
    auto spc = [](double dMegabytes) {
        return GetDefaultNtfsSectorPerCluster(static_cast<unsigned long long>(dMegabytes * 2048), 512);
    };
    EXPECT_EQ(1u, spc(100));
    EXPECT_EQ(1u, spc(512));
    EXPECT_EQ(2u, spc(600));
    EXPECT_EQ(4u, spc(1500));
    EXPECT_EQ(8u, spc(3000));
    EXPECT_EQ(8u, spc(5));
    EXPECT_EQ(1u, GetDefaultNtfsSectorPerCluster(100ull * 256, 4096));  // 100 MB at k = 8 is too small
}

TEST(NtfsRunListTest, DecodesSignedOffsetsSparseRunsAndCutsLengths) {
    std::vector<__RUNLIST__> vecRuns = Decode(AttributeWithRuns({0x21, 0x10, 0x00, 0xF0, 0x01, 0x05,
                                                                 0x15, 0x01, 0x02, 0x03, 0x04, 0x05, 0x7F, 0x00}));
    ASSERT_EQ(3u, vecRuns.size());
    EXPECT_EQ(16u, vecRuns[0].u64ClusterCount);
    EXPECT_EQ(-4096, vecRuns[0].n64LcnOffset);
    EXPECT_EQ(5u, vecRuns[1].u64ClusterCount);
    EXPECT_EQ(0, vecRuns[1].n64LcnOffset);
    EXPECT_EQ(0x04030201u, vecRuns[2].u64ClusterCount);  // the fifth length byte is dropped
    EXPECT_EQ(0x7F, vecRuns[2].n64LcnOffset);

    // What the fixture encodes comes back as relative offsets.
    std::vector<__RUNLIST__> vecRoundTrip =
        Decode(AttributeWithRuns(EncodeNtfsRunList({{1000, 3}, {200, 2}, {kNtfsSparseRun, 4}, {70000, 1}})));
    ASSERT_EQ(4u, vecRoundTrip.size());
    EXPECT_EQ(1000, vecRoundTrip[0].n64LcnOffset);
    EXPECT_EQ(-800, vecRoundTrip[1].n64LcnOffset);
    EXPECT_EQ(0, vecRoundTrip[2].n64LcnOffset);
    EXPECT_EQ(69800, vecRoundTrip[3].n64LcnOffset);
}

TEST(NtfsRunListTest, StopsAtMalformedOrOverrunningEntriesAndLongAttributes) {
    // A header half above 7 ends decoding; the runs before stand.
    std::vector<__RUNLIST__> vecRuns = Decode(AttributeWithRuns({0x11, 0x02, 0x10, 0x81, 0x01, 0x01}));
    ASSERT_EQ(1u, vecRuns.size());
    EXPECT_EQ(2u, vecRuns[0].u64ClusterCount);
    // An entry reaching past the attribute's length is not decoded.
    EXPECT_TRUE(Decode(AttributeWithRuns({0x44, 1, 2, 3, 4, 5, 6, 7, 8}, 68)).empty());
    // Attributes as long as the stride yield nothing with 512-byte sectors, but decode with 4096.
    std::vector<uint8_t> vecLong = AttributeWithRuns({0x11, 0x02, 0x10, 0x00}, 512);
    EXPECT_TRUE(Decode(vecLong).empty());
    EXPECT_EQ(1u, Decode(vecLong, 4096).size());
    // Runs are appended to what the vector already holds.
    CNtfsParse parse;
    std::vector<__RUNLIST__> vecKept = {{9, 9}};
    parse.GetRunList(AttributeWithRuns({0x11, 0x02, 0x10, 0x00}).data(), vecKept);
    EXPECT_EQ(2u, vecKept.size());
}

TEST(NtfsRecordLocationTest, FastRuleMovesToTheNextRunAtARunsEnd) {
    // Run 1: clusters 100..101 (8 sectors each) = records 0..7; run 2 starts at cluster 300.
    std::vector<__RUNLIST__> vecMft = {{2, 100}, {3, 200}};
    unsigned long long u64Sector = 0;
    ASSERT_TRUE(LocateMftRecordSector(vecMft, 7, 2, 8, 1000, u64Sector));
    EXPECT_EQ(1000u + 800 + 14, u64Sector);
    ASSERT_TRUE(LocateMftRecordSector(vecMft, 8, 2, 8, 1000, u64Sector));
    EXPECT_EQ(1000u + 2400, u64Sector);
    EXPECT_FALSE(LocateMftRecordSector(vecMft, 20, 2, 8, 1000, u64Sector));
}

TEST(NtfsRecordLocationTest, DeepRuleTreatsAZeroRunAsAGaplessTable) {
    EXPECT_EQ(500u + 40 * 8 + 2 * 33, LookupMftRecordSector({{0, 40}}, 33, 8, 500));
    EXPECT_EQ(500u + 2400, LookupMftRecordSector({{2, 100}, {3, 200}}, 8, 8, 500));
    EXPECT_EQ(500u, LookupMftRecordSector({{2, 100}}, 50, 8, 500));
}

TEST(NtfsAttributeWalkTest, ResidentDataIncludesPaddingAndRulesDifferOnAttributeLists) {
    CNtfsParse parse;
    parse.Init(512);
    std::vector<uint8_t> vecRecord =
        CNtfsRecordBuilder(40, 1).FileName(5, u"f.bin").ResidentData({1, 2, 3, 4, 5}).Build();
    parse.FileRecordFixUp(vecRecord.data());
    unsigned char szOut[1024];
    unsigned int nLength = 0;
    ASSERT_EQ(0, GetNtfsResidentData(vecRecord.data(), 1024, kDeepNodeResidentDataRule, 1024, szOut, nLength));
    EXPECT_EQ(8u, nLength);  // a 32-byte attribute with its value at 24
    EXPECT_EQ(5, szOut[4]);
    std::vector<__RUNLIST__> vecRuns;
    EXPECT_EQ(0, GetNtfsAttributeRunList(vecRecord.data(), 1024, 0x80, kDeepRunListRule, parse, vecRuns));
    EXPECT_TRUE(vecRuns.empty());  // resident: no runs
    EXPECT_EQ(-100, GetNtfsAttributeRunList(vecRecord.data(), 1024, 0xA0, kDeepRunListRule, parse, vecRuns));

    std::vector<uint8_t> vecListed = CNtfsRecordBuilder(41, 1)
                                         .FileName(5, u"big.bin")
                                         .AttributeList(77)
                                         .NonResidentData({{100, 2}}, 5000, 4096)
                                         .Build();
    parse.FileRecordFixUp(vecListed.data());
    EXPECT_EQ(87, GetNtfsAttributeRunList(vecListed.data(), 1024, 0x80, kDeepRunListRule, parse, vecRuns));
    EXPECT_EQ(-100, GetNtfsAttributeRunList(vecListed.data(), 1024, 0x80, kDeepNodeRunListRule, parse, vecRuns));
    EXPECT_TRUE(vecRuns.empty());
    EXPECT_EQ(0, GetNtfsAttributeRunList(vecListed.data(), 1024, 0x80, kFastRunListRule, parse, vecRuns));
    ASSERT_EQ(1u, vecRuns.size());
    EXPECT_EQ(-101, GetNtfsResidentData(vecListed.data(), 1024, kDeepNodeResidentDataRule, 1024, szOut, nLength));
    uint32_t u32Offset = 0;
    uint32_t u32List = 0;
    EXPECT_EQ(0, FindNtfsAttribute(vecListed.data(), 1024, 0x80, kFastRunListRule, u32Offset, &u32List));
    EXPECT_EQ(0x20u, ReadLe32(vecListed.data() + u32List));

    // An attribute whose length runs past the bytes in use ends the walk.
    std::vector<uint8_t> vecBroken = vecRecord;
    WriteLe32(&vecBroken[56 + 4], 2000);
    EXPECT_EQ(-101, GetNtfsResidentData(vecBroken.data(), 1024, kDeepNodeResidentDataRule, 1024, szOut, nLength));
    // A first-attribute offset past the bound is a structure error.
    WriteLe16(&vecBroken[20], 1024);
    EXPECT_EQ(87, GetNtfsAttributeRunList(vecBroken.data(), 1024, 0x80, kDeepNodeRunListRule, parse, vecRuns));
}
