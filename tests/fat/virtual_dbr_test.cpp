// Geometries of the deep FAT engine: the pair rule, boot sectors, the cluster rules and the
// choice between several geometries.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fat/virtual_dbr.h"
#include "util/le.h"

namespace {

__VIRTUAL_DBR_INFO__ Dbr(uint32_t u32Spc, uint32_t u32DataOffset, uint64_t u64Volume = 0) {
    __VIRTUAL_DBR_INFO__ dbr{};
    dbr.dwSectorsPerCluster = u32Spc;
    dbr.dwDataStartOffset = u32DataOffset;
    dbr.u64VolumeStartSector = u64Volume;
    return dbr;
}

TEST(VirtualDbrPairRule, ExactDivisionGivesSizeAndDataStart) {
    __VIRTUAL_DBR_INFO__ dbr{};
    ASSERT_TRUE(CalcVirtualDbr(9, 10032, 5, 10000, 0, dbr));
    EXPECT_EQ(8u, dbr.dwSectorsPerCluster);
    EXPECT_EQ(9976u, dbr.dwDataStartOffset);
    // Stored relative to the volume start.
    ASSERT_TRUE(CalcVirtualDbr(9, 10032, 5, 10000, 1000, dbr));
    EXPECT_EQ(8976u, dbr.dwDataStartOffset);
    EXPECT_EQ(1000u, dbr.u64VolumeStartSector);
    // 128 sectors per cluster is allowed for inferred geometries.
    ASSERT_TRUE(CalcVirtualDbr(6, 1512, 2, 1000, 0, dbr));
    EXPECT_EQ(128u, dbr.dwSectorsPerCluster);
}

// A volume more than 2 TiB into a whole-disk scan: the geometry is kept relative to its data
// area, and every cluster still lands on its absolute sector.
TEST(VirtualDbrPairRule, DataAreaPastTwoTebibytesStillPlacesClusters) {
    const uint64_t u64Data = (uint64_t(1) << 33) + 2048 + 32768;  // 4 TiB in, past 2^32 sectors
    __VIRTUAL_DBR_INFO__ dbr{};
    ASSERT_TRUE(CalcVirtualDbr(300, u64Data + 298 * 8, 7, u64Data + 5 * 8, 0, dbr));
    EXPECT_EQ(dbr.dwSectorsPerCluster, 8u);
    EXPECT_EQ(GetVirtualDbrDataStart(dbr), u64Data);
    EXPECT_EQ(GetClusterFirstSector(dbr, 1000000), u64Data + 999998ull * 8);
    uint32_t u32Cluster = 0;
    EXPECT_TRUE(GetClusterStartingAt(dbr, u64Data + 40, u32Cluster));
    EXPECT_EQ(u32Cluster, 7u);
    CVirtualDbrList list;
    list.CalcVirtualDbrInfo({7, u64Data + 40}, 0);
    list.AddSectorOffset({7, u64Data + 40});
    list.CalcVirtualDbrInfo({300, u64Data + 298 * 8}, 0);
    ASSERT_NE(list.GetVirtualDbrInfo(u64Data + 298 * 8, 300), nullptr);
}

TEST(VirtualDbrPairRule, RejectsWhatNoVolumeCanBe) {
    __VIRTUAL_DBR_INFO__ dbr{};
    EXPECT_FALSE(CalcVirtualDbr(8, 1010, 5, 1000, 0, dbr)) << "10 / 3 is not exact";
    EXPECT_FALSE(CalcVirtualDbr(4, 103, 3, 100, 0, dbr)) << "3 sectors per cluster";
    EXPECT_FALSE(CalcVirtualDbr(5, 1000, 5, 1000, 0, dbr)) << "same cluster";
    EXPECT_FALSE(CalcVirtualDbr(5, 1000, 4, 1000, 0, dbr)) << "same sector";
    EXPECT_FALSE(CalcVirtualDbr(6, 2024, 2, 1000, 0, dbr)) << "256 sectors per cluster";
    EXPECT_FALSE(CalcVirtualDbr(9, 40, 5, 8, 0, dbr)) << "cluster 2 would lie before sector 0";
    EXPECT_FALSE(CalcVirtualDbr(9, 10032, 5, 10000, 9977, dbr)) << "data area before the scanned range";
    EXPECT_FALSE(CalcVirtualDbr(3, 1008, 1, 1000, 0, dbr)) << "cluster 1 holds no directory";
}

TEST(VirtualDbrList, ObservationsPairOnlyAsPoints) {
    CVirtualDbrList list;
    list.AddSectorOffset({3, 1016});
    // Clusters 3 < 5 but sectors 1016 > 1000: no volume puts them so.
    list.CalcVirtualDbrInfo({5, 1000}, 0);
    EXPECT_TRUE(list.Empty());
    list.AddSectorOffset({5, 1000});
    list.CalcVirtualDbrInfo({9, 10032}, 0);  // no exact, allowed pair with either
    EXPECT_TRUE(list.Empty());
    list.CalcVirtualDbrInfo({9, 1128}, 0);  // pairs with {5, 1000}: 32 per cluster
    ASSERT_EQ(1u, list.Geometries().size());
    EXPECT_EQ(32u, list.Geometries()[0].dwSectorsPerCluster);
    EXPECT_EQ(904u, list.Geometries()[0].dwDataStartOffset);
    EXPECT_NE(nullptr, list.GetVirtualDbrInfo(1064, 7)) << "a third start fits the same geometry";
}

TEST(VirtualDbrRules, ClusterPositionsAndTheFixedRoot) {
    const __VIRTUAL_DBR_INFO__ dbr = Dbr(4, 433, 100);  // data at 533, root area 501-532
    EXPECT_EQ(533u, GetClusterFirstSector(dbr, 2));
    EXPECT_EQ(545u, GetClusterFirstSector(dbr, 5));
    EXPECT_EQ(501u, GetClusterFirstSector(dbr, 0));
    EXPECT_EQ(FAT_NO_SECTOR, GetClusterFirstSector(dbr, 1));
    EXPECT_EQ(FAT_NO_SECTOR, GetClusterFirstSector(Dbr(0, 433), 5));
    EXPECT_EQ(FAT_NO_SECTOR, GetClusterFirstSector(Dbr(4, 10), 0)) << "root area before sector 0";

    uint32_t u32Cluster = 99;
    uint64_t u64First = 0;
    ASSERT_TRUE(GetClusterHolding(dbr, 547, u32Cluster, u64First));
    EXPECT_EQ(5u, u32Cluster);
    EXPECT_EQ(545u, u64First);
    ASSERT_TRUE(GetClusterHolding(dbr, 520, u32Cluster, u64First));
    EXPECT_EQ(0u, u32Cluster);
    EXPECT_EQ(501u, u64First);
    EXPECT_FALSE(GetClusterHolding(dbr, 500, u32Cluster, u64First));
    EXPECT_TRUE(GetClusterStartingAt(dbr, 545, u32Cluster));
    EXPECT_FALSE(GetClusterStartingAt(dbr, 546, u32Cluster));
    EXPECT_TRUE(GetClusterStartingAt(dbr, 501, u32Cluster));
    EXPECT_EQ(0u, u32Cluster);
}

std::vector<unsigned char> BootSector(bool bFat32) {
    std::vector<unsigned char> v(512, 0);
    WriteLe16(&v[11], 512);
    v[13] = 4;
    WriteLe16(&v[14], bFat32 ? 32 : 1);
    v[16] = 2;
    if (bFat32) {
        WriteLe32(&v[36], 1000);
        WriteLe32(&v[44], 7);
        memcpy(&v[82], "FAT32   ", 8);
    } else {
        WriteLe16(&v[22], 200);
        memcpy(&v[54], "FAT16   ", 8);
    }
    v[510] = 0x55;
    v[511] = 0xAA;
    return v;
}

TEST(VirtualDbrRules, BootSectorGeometry) {
    __VIRTUAL_DBR_INFO__ dbr{};
    uint32_t u32Root = 99;
    ASSERT_TRUE(GetVirtualDbrFromBootSector(BootSector(false).data(), 2048, dbr, u32Root));
    EXPECT_EQ(433u, dbr.dwDataStartOffset) << "1 reserved + 2 x 200 + a 32-sector root";
    EXPECT_EQ(4u, dbr.dwSectorsPerCluster);
    EXPECT_EQ(2048u, dbr.u64VolumeStartSector);
    EXPECT_EQ(0u, u32Root);
    ASSERT_TRUE(GetVirtualDbrFromBootSector(BootSector(true).data(), 0, dbr, u32Root));
    EXPECT_EQ(2032u, dbr.dwDataStartOffset);
    EXPECT_EQ(7u, u32Root);
}

TEST(VirtualDbrList, BestGeometryForASectorOfUnknownCluster) {
    CVirtualDbrList list;
    list.AddSectorOffset({2, 500000});
    list.CalcVirtualDbrInfo({4, 500016}, 0);  // data 500000
    list.AddSectorOffset({2, 900000});
    list.CalcVirtualDbrInfo({4, 900016}, 0);  // data 900000
    list.AddReal(Dbr(8, 2000));
    ASSERT_EQ(3u, list.Geometries().size());
    EXPECT_EQ(2000u, list.Geometries()[0].dwDataStartOffset) << "the real one is kept first";
    EXPECT_EQ(500000u, list.GetBestVirtalDbr(600000)->dwDataStartOffset);
    EXPECT_EQ(900000u, list.GetBestVirtalDbr(950000)->dwDataStartOffset);
    EXPECT_EQ(2000u, list.GetBestVirtalDbr(100)->dwDataStartOffset) << "nothing at or below: the first";
    EXPECT_EQ(2000u, list.GetBestVirtalDbr(400000)->dwDataStartOffset) << "the real one is only the fallback";
    // A second volume (a partition further on) takes its own sectors, even from an older
    // format's geometry below it; the same boot sector is not kept twice.
    list.AddReal(Dbr(8, 500, 920000));
    list.AddReal(Dbr(8, 500, 920000));
    ASSERT_EQ(4u, list.Geometries().size());
    EXPECT_EQ(920000u, list.Geometries()[1].u64VolumeStartSector) << "kept after the first real one";
    EXPECT_EQ(920000u, list.GetBestVirtalDbr(950000)->u64VolumeStartSector);
    EXPECT_EQ(900000u, list.GetBestVirtalDbr(919000)->dwDataStartOffset);

    // A sector that starts a cluster in several geometries belongs to the nearest volume.
    uint32_t u32Cluster = 0;
    const __VIRTUAL_DBR_INFO__* pDbr = list.GetClusterStartDbr(900064, u32Cluster);
    ASSERT_NE(nullptr, pDbr);
    EXPECT_EQ(900000u, pDbr->dwDataStartOffset);
    EXPECT_EQ(10u, u32Cluster);
    EXPECT_EQ(nullptr, list.GetClusterStartDbr(2001, u32Cluster));
}

}  // namespace
