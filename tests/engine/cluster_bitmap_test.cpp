#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/cluster_bitmap.h"

namespace {
struct FREE_RUN_CASE {
    const char* szWhat;
    std::vector<uint8_t> vecBytes;
    uint64_t u64Clusters;
    uint64_t u64From;
    bool bFound;
    uint64_t u64First;
    uint64_t u64Count;
};
}  // namespace

TEST(ClusterBitmap, FreeRunsOverBytesThatAreFullEmptyOrMixed) {
    const FREE_RUN_CASE cases[] = {
        {"0x0F then an empty byte then 0x01: four free from bit 4, eight more", {0x0F, 0x00, 0x01}, 24, 0, true, 4, 12},
        {"a start inside the run counts from there", {0x0F, 0x00, 0x01}, 24, 6, true, 6, 10},
        {"full bytes are passed over whole", {0xFF, 0xFF, 0x01}, 24, 0, true, 17, 7},
        {"a run reaching the end stops at the last cluster, not the byte", {0xFF, 0x00}, 12, 0, true, 8, 4},
        {"bits past the cluster count are no free clusters", {0xFF, 0x0F}, 12, 0, false, 12, 0},
        {"a start past the end finds nothing", {0x00}, 8, 9, false, 8, 0},
        {"a start on a used cluster moves to the next free one", {0x01}, 8, 0, true, 1, 7},
        {"no bitmap: nothing free", {}, 0, 0, false, 0, 0},
    };
    for (const FREE_RUN_CASE& c : cases) {
        CClusterBitmap bitmap;
        bitmap.Assign(c.vecBytes, c.u64Clusters);
        uint64_t u64First = 0, u64Count = 0;
        EXPECT_EQ(bitmap.FindFreeRun(c.u64From, u64First, u64Count), c.bFound) << c.szWhat;
        EXPECT_EQ(u64Count, c.u64Count) << c.szWhat;
        if (c.bFound) {
            EXPECT_EQ(u64First, c.u64First) << c.szWhat;
        }
    }
}

TEST(ClusterBitmap, MarkedClustersAreUsedAndTheRestCountFree) {
    CClusterBitmap bitmap;
    bitmap.Reset(20);
    for (uint64_t c : {0u, 3u, 8u, 9u, 19u, 25u}) bitmap.MarkUsed(c);  // 25 lies outside
    EXPECT_TRUE(bitmap.IsUsed(3));
    EXPECT_FALSE(bitmap.IsUsed(4));
    EXPECT_TRUE(bitmap.IsUsed(20)) << "outside the volume nothing is free";
    EXPECT_EQ(bitmap.CountFree(), 15u);
    uint64_t u64Next = 0;
    ASSERT_TRUE(bitmap.FindFree(8, u64Next));
    EXPECT_EQ(u64Next, 10u);
    EXPECT_FALSE(bitmap.FindFree(19, u64Next));
}
