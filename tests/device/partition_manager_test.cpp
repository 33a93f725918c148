#include "device/partition_manager.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fixtures/debug_capture.h"
#include "fixtures/disk_list.h"
#include "fixtures/partition_images.h"
#include "fixtures/temp_dir.h"

namespace {

using ItemMap = std::map<int, std::vector<_PARTITION_ITEM_>>;
constexpr uint64_t SECTOR = PARTITION_SECTOR_BYTES;

struct Expected {
    uint64_t u64Start;
    uint64_t u64End;
    std::wstring wstrName;
};

std::wstring MbrName(int n) {
    return L"Partition " + std::to_wstring(n);
}

ItemMap Enumerate(CPartitionManager& manager, const std::vector<std::string>& vecPaths) {
    CScopedDiskList disks(vecPaths);
    ItemMap mapItems;
    EXPECT_EQ(1, manager.GetPartitionItems(mapItems));
    return mapItems;
}

ItemMap Enumerate(const std::vector<std::string>& vecPaths) {
    CPartitionManager manager;
    return Enumerate(manager, vecPaths);
}

void ExpectItems(const ItemMap& mapItems, int nDisk, const std::string& strPath, const std::vector<Expected>& vecWant) {
    SCOPED_TRACE("disk " + std::to_string(nDisk));
    auto it = mapItems.find(nDisk);
    ASSERT_NE(mapItems.end(), it);
    const std::vector<_PARTITION_ITEM_>& vecGot = it->second;
    ASSERT_EQ(vecWant.size(), vecGot.size());
    for (size_t i = 0; i < vecWant.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        EXPECT_EQ(vecWant[i].u64Start, vecGot[i].u64StartSector);
        EXPECT_EQ(vecWant[i].u64End, vecGot[i].u64EndSector);
        EXPECT_EQ(vecWant[i].wstrName, GetPartitionName(vecGot[i]));
        EXPECT_EQ(nDisk, vecGot[i].nDiskNumber);
        // The node path, cut so that the terminator still fits.
        EXPECT_EQ(strPath.substr(0, PARTITION_DISK_NAME_BYTES - 1), std::string(vecGot[i].szDiskName));
    }
}

size_t OpenDescriptors() {
    size_t n = 0;
    if (DIR* pDir = opendir("/proc/self/fd")) {
        while (readdir(pDir) != nullptr) ++n;
        closedir(pDir);
    }
    return n;
}

class PartitionManagerTest : public ::testing::Test {
protected:
    CTempDir m_dir;
};

TEST(PartitionTableTests, LookOnlyAtTheBytesTheyAreGiven) {
    std::vector<char> vecSector(SECTOR, 0);
    vecSector[510] = 0x55;
    vecSector[511] = static_cast<char>(0xAA);
    memcpy(vecSector.data(), "EFI PART", 8);
    EXPECT_TRUE(CPartitionManager::IsMBR(vecSector.data(), SECTOR));
    EXPECT_FALSE(CPartitionManager::IsMBR(vecSector.data(), SECTOR - 1));
    EXPECT_TRUE(CPartitionManager::IsEFI(vecSector.data(), 8));
    EXPECT_FALSE(CPartitionManager::IsEFI(vecSector.data(), 7));
    EXPECT_FALSE(CPartitionManager::IsAPM(vecSector.data(), SECTOR));
    memcpy(vecSector.data(), "ER", 2);
    EXPECT_TRUE(CPartitionManager::IsAPM(vecSector.data(), 2));
    EXPECT_FALSE(CPartitionManager::IsAPM(vecSector.data(), 1));
    EXPECT_FALSE(CPartitionManager::IsMBR(nullptr, SECTOR) || CPartitionManager::IsEFI(nullptr, 8) ||
                 CPartitionManager::IsAPM(nullptr, 2));
}

TEST(PartitionNameTests, Utf16RoundTripAndCutWithoutHalfPairs) {
    _PARTITION_ITEM_ item{};
    SetPartitionName(item, L"Fotos \U0001F4F7 caf\u00E9");
    EXPECT_EQ(L"Fotos \U0001F4F7 caf\u00E9", GetPartitionName(item));
    EXPECT_EQ(0xD83D, item.wszPartitionName[6]);

    // The pair would need units 35 and 36: the name stops before it, the rest stays zero.
    SetPartitionName(item, std::wstring(35, L'a') + L"\U0001F4F7");
    EXPECT_EQ(std::wstring(35, L'a'), GetPartitionName(item));
    EXPECT_EQ(0, item.wszPartitionName[35]);

    // 36 units fill the field without a terminator; a lone surrogate is not passed on.
    for (int u = 0; u < PARTITION_NAME_UNITS; ++u) item.wszPartitionName[u] = 'b';
    item.wszPartitionName[3] = 0xDC00;
    std::wstring wstrWant(36, L'b');
    wstrWant[3] = L'\xFFFD';
    EXPECT_EQ(wstrWant, GetPartitionName(item));
}

// Primary partitions before the extended entry, then its logical ones in chain order, then the
// primaries after it, numbered in that order. Layout as sfdisk writes it.
TEST_F(PartitionManagerTest, MbrWithLogicalPartitionsFromSfdisk) {
    std::string strImage = m_dir.File("dos.img");
    if (!MakeSfdiskImage(strImage, 1,
                         "label: dos\n"
                         "start=8, size=16, type=83\n"
                         "start=32, size=200, type=5\n"
                         "start=240, size=16, type=83\n"
                         "start=40, size=16, type=83\n"
                         "start=64, size=16, type=7\n"
                         "start=96, size=16, type=c\n"))
        GTEST_SKIP() << "sfdisk is not available";
    ItemMap mapItems = Enumerate({strImage});
    ExpectItems(mapItems, 0, strImage,
                {{8, 8 + 16 - 1, MbrName(1)},
                 {40, 40 + 16 - 1, MbrName(2)},
                 {64, 64 + 16 - 1, MbrName(3)},
                 {96, 96 + 16 - 1, MbrName(4)},
                 {240, 240 + 16 - 1, MbrName(5)}});
    const _PARTITION_ITEM_& last = mapItems.at(0).back();
    EXPECT_EQ(16u, last.u64EndSector + 1 - last.u64StartSector);
}

// Each disk's chain counts from its own extended partition; the running number goes on across
// disks and a missing disk in between; a new enumeration starts over.
TEST_F(PartitionManagerTest, NumberingAndExtendedBaseAcrossDisks) {
    CCraftedDisk first(m_dir.File("first.img"), 256 * SECTOR);
    ASSERT_TRUE(first.PutMbrTable(0, {{0x83, 8, 16}, {0x05, 100, 50}, {0x0C, 200, 10}}));
    ASSERT_TRUE(first.PutMbrTable(100, {{0x83, 4, 6}, {0x05, 20, 10}}));
    ASSERT_TRUE(first.PutMbrTable(120, {{0x07, 3, 2}}));
    CCraftedDisk second(m_dir.File("second.img"), 256 * SECTOR);
    ASSERT_TRUE(second.PutMbrTable(0, {{0x07, 4, 4}, {0x0F, 20, 100}}));
    ASSERT_TRUE(second.PutMbrTable(20, {{0x83, 2, 3}, {0x05, 30, 10}}));
    ASSERT_TRUE(second.PutMbrTable(50, {{0x83, 1, 5}}));
    std::vector<std::string> vecDisks = {first.Path(), m_dir.File("missing.img"), second.Path()};

    CPartitionManager manager;
    ItemMap mapItems = Enumerate(manager, vecDisks);
    EXPECT_EQ(2u, mapItems.size());
    EXPECT_EQ(0u, mapItems.count(1));
    std::vector<Expected> vecFirst = {{8, 23, MbrName(1)}, {104, 109, MbrName(2)}, {123, 124, MbrName(3)},
                                      {200, 209, MbrName(4)}};
    ExpectItems(mapItems, 0, first.Path(), vecFirst);
    ExpectItems(mapItems, 2, second.Path(), {{4, 7, MbrName(5)}, {22, 24, MbrName(6)}, {51, 55, MbrName(7)}});

    ItemMap mapAgain;
    mapAgain[7] = mapItems.at(0);  // stale content must go
    {
        CScopedDiskList disks({first.Path()});
        EXPECT_EQ(1, manager.GetPartitionItems(mapAgain));
    }
    ASSERT_EQ(1u, mapAgain.size());
    ExpectItems(mapAgain, 0, first.Path(), vecFirst);
}

// A type-0 entry with a start or count is a partition; an all-zero one ends its own table only;
// an entry of no sectors is not offered.
TEST_F(PartitionManagerTest, MbrEmptyEntriesAndTableEnd) {
    CCraftedDisk disk(m_dir.File("zero.img"), 256 * SECTOR);
    ASSERT_TRUE(disk.PutMbrTable(0, {{0x00, 10, 5}, {0x05, 100, 50}, {0x83, 30, 0}, {0x83, 40, 5}}));
    ASSERT_TRUE(disk.PutMbrTable(100, {{0x83, 1, 2}, {0x00, 0, 0}, {0x83, 5, 5}}));
    CCraftedDisk early(m_dir.File("early.img"), 64 * SECTOR);
    ASSERT_TRUE(early.PutMbrTable(0, {{0x83, 1, 1}, {0x00, 0, 0}, {0x83, 5, 5}}));

    ItemMap mapItems = Enumerate({disk.Path(), early.Path()});
    ExpectItems(mapItems, 0, disk.Path(), {{10, 14, MbrName(1)}, {101, 102, MbrName(2)}, {40, 44, MbrName(3)}});
    ExpectItems(mapItems, 1, early.Path(), {{1, 1, MbrName(4)}});
}

TEST_F(PartitionManagerTest, LoopingAndBrokenEbrChainsEnd) {
    CCraftedDisk loop(m_dir.File("loop.img"), 512 * SECTOR);
    ASSERT_TRUE(loop.PutMbrTable(0, {{0x05, 100, 200}, {0x83, 400, 8}}));
    ASSERT_TRUE(loop.PutMbrTable(100, {{0x83, 1, 4}, {0x05, 50, 10}}));
    ASSERT_TRUE(loop.PutMbrTable(150, {{0x83, 1, 4}, {0x05, 0, 10}}));  // back to the first EBR
    // The MBR's extended entry points at the MBR itself.
    CCraftedDisk self(m_dir.File("self.img"), 64 * SECTOR);
    ASSERT_TRUE(self.PutMbrTable(0, {{0x83, 1, 1}, {0x0F, 0, 10}, {0x83, 2, 1}}));
    // A link that lands on a sector that holds no table, and a chain whose last EBR is the final
    // sector of the disk (only that one sector can be read there).
    CCraftedDisk broken(m_dir.File("broken.img"), 301 * SECTOR);
    ASSERT_TRUE(broken.PutMbrTable(0, {{0x05, 100, 50}, {0x05, 200, 101}}));
    ASSERT_TRUE(broken.PutMbrTable(100, {{0x83, 1, 1}}, false));
    ASSERT_TRUE(broken.PutMbrTable(200, {{0x83, 1, 1}, {0x05, 100, 1}}));
    ASSERT_TRUE(broken.PutMbrTable(300, {{0x83, 0, 1}}));

    CDebugCapture capture;
    ItemMap mapItems = Enumerate({loop.Path(), self.Path(), broken.Path()});
    ExpectItems(mapItems, 0, loop.Path(), {{101, 104, MbrName(1)}, {151, 154, MbrName(2)}, {400, 407, MbrName(3)}});
    ExpectItems(mapItems, 1, self.Path(), {{1, 1, MbrName(4)}, {2, 2, MbrName(5)}});
    ExpectItems(mapItems, 2, broken.Path(), {{201, 201, MbrName(6)}, {300, 300, MbrName(7)}});
    EXPECT_TRUE(capture.Contains("partition chain loops back to sector 100\n"));
    EXPECT_TRUE(capture.Contains("partition chain loops back to sector 0\n"));
}

TEST_F(PartitionManagerTest, LongEbrChainIsCut) {
    constexpr uint32_t FIRST_EBR = 100;
    constexpr int CHAIN = 200;
    CCraftedDisk disk(m_dir.File("chain.img"), (FIRST_EBR + 2 * CHAIN + 2) * SECTOR);
    ASSERT_TRUE(disk.PutMbrTable(0, {{0x05, FIRST_EBR, 2 * CHAIN}}));
    for (int k = 0; k < CHAIN; ++k)
        ASSERT_TRUE(disk.PutMbrTable(FIRST_EBR + 2 * k, {{0x83, 1, 1}, {0x05, 2u * (k + 1), 2}}));

    CDebugCapture capture;
    ItemMap mapItems = Enumerate({disk.Path()});
    ASSERT_EQ(1u, mapItems.count(0));
    const std::vector<_PARTITION_ITEM_>& vecItems = mapItems.at(0);
    // The MBR and 127 EBRs are read: one logical partition from each EBR, in chain order.
    ASSERT_EQ(static_cast<size_t>(PARTITION_MAX_MBR_TABLES - 1), vecItems.size());
    for (size_t k = 0; k < vecItems.size(); ++k) EXPECT_EQ(FIRST_EBR + 2 * k + 1, vecItems[k].u64StartSector);
    EXPECT_EQ(MbrName(PARTITION_MAX_MBR_TABLES - 1), GetPartitionName(vecItems.back()));
    EXPECT_EQ(1u, capture.Lines().size());
}

// A logical partition past 2^32 sectors: EBR sector plus relative start does not wrap.
TEST_F(PartitionManagerTest, LogicalStartBeyond32Bits) {
    constexpr uint32_t EBR = 0xFFFFFF00u;
    CCraftedDisk disk(m_dir.File("huge.img"), (static_cast<uint64_t>(EBR) + 1) * SECTOR);
    if (!disk.Ok()) GTEST_SKIP() << "no sparse file of 2 TiB here";
    ASSERT_TRUE(disk.PutMbrTable(0, {{0x0F, EBR, 0x1000}}));
    ASSERT_TRUE(disk.PutMbrTable(EBR, {{0x83, 0x200, 8}}));
    ItemMap mapItems = Enumerate({disk.Path()});
    uint64_t u64Start = static_cast<uint64_t>(EBR) + 0x200;
    ExpectItems(mapItems, 0, disk.Path(), {{u64Start, u64Start + 7, MbrName(1)}});
}

// The protective MBR carries the boot signature too; the GPT wins. A deleted slot between used
// ones does not hide the later ones, nor does a slot beyond the first 4 KiB of the disk.
TEST_F(PartitionManagerTest, GptFromSgdisk) {
    std::string strImage = m_dir.File("gpt.img");
    if (!MakeSgdiskImage(strImage, 1,
                         "-a 1 -n 1:40:79 -c '1:EFI syst\xC3\xA8me' -n 2:80:199 -c 2:data -n 3:200:299 -c 3:third "
                         "-n 30:300:309 -c 30:far -d 2"))
        GTEST_SKIP() << "sgdisk is not available";
    std::vector<char> vecMbr(SECTOR);
    std::ifstream(strImage, std::ios::binary).read(vecMbr.data(), SECTOR);
    ASSERT_TRUE(CPartitionManager::IsMBR(vecMbr.data(), SECTOR));

    ItemMap mapItems = Enumerate({strImage});
    ExpectItems(mapItems, 0, strImage, {{40, 79, L"EFI syst\u00E8me"}, {200, 299, L"third"}, {300, 309, L"far"}});
}

// A header whose array fields make no sense: the entries are taken from sector 2 as usual, in
// the first 4 KiB only. Names fill all 36 units.
TEST_F(PartitionManagerTest, DamagedGptHeaderFallsBackToTheUsualArray) {
    CCraftedDisk disk(m_dir.File("damaged.img"), 256 * SECTOR);
    ASSERT_TRUE(disk.PutMbrTable(0, {{0xEE, 1, 255}, {0x83, 1, 8}}));
    GptLayout layout;
    layout.uEntrySize = 0;
    layout.uEntryCount = 0xFFFFFFFFu;
    std::u16string strLong(36, u'n');
    ASSERT_TRUE(disk.PutGpt({{0, 40, 49, u"one"}, {5, 50, 59, strLong}, {23, 60, 69, u"last"}, {24, 70, 79, u"out"}},
                            layout));
    ItemMap mapItems = Enumerate({disk.Path()});
    ExpectItems(mapItems, 0, disk.Path(), {{40, 49, L"one"}, {50, 59, std::wstring(36, L'n')}, {60, 69, L"last"}});
}

// Entry counts from the header are capped; an array cut short by the end of the disk yields the
// entries that are there; an array past the end yields nothing.
TEST_F(PartitionManagerTest, GptArrayIsBounded) {
    const uint32_t uCapEntries = PARTITION_MAX_GPT_ARRAY_BYTES / GPT_MIN_ENTRY_BYTES;
    GptLayout huge;
    huge.uEntryCount = 0xFFFFFFFFu;
    huge.u64FirstUsableLba = 0xFFFFFFFFu;
    CCraftedDisk capped(m_dir.File("capped.img"), (2 + (uCapEntries + 8) / 4) * SECTOR);
    ASSERT_TRUE(capped.PutGpt({{0, 600, 609, u"a"}, {uCapEntries - 1, 610, 619, u"b"}, {uCapEntries, 620, 629, u"c"}},
                              huge));
    GptLayout nearEnd;
    nearEnd.u64EntriesLba = 6;
    CCraftedDisk cut(m_dir.File("cut.img"), 8 * SECTOR);
    ASSERT_TRUE(cut.PutGpt({{1, 20, 29, u"in"}, {7, 30, 39, u"edge"}}, nearEnd));
    ASSERT_TRUE(cut.PutBytes(8 * SECTOR, "x", 1));  // the disk now ends one byte into slot 8
    GptLayout beyond;
    beyond.u64EntriesLba = 100;
    beyond.u64FirstUsableLba = 200;
    CCraftedDisk past(m_dir.File("past.img"), 64 * SECTOR);
    ASSERT_TRUE(past.PutGpt({}, beyond));

    ItemMap mapItems = Enumerate({capped.Path(), cut.Path(), past.Path()});
    ExpectItems(mapItems, 0, capped.Path(), {{600, 609, L"a"}, {610, 619, L"b"}});
    ExpectItems(mapItems, 1, cut.Path(), {{20, 29, L"in"}, {30, 39, L"edge"}});
    EXPECT_EQ(0u, mapItems.count(2));
}

TEST_F(PartitionManagerTest, AppleMap) {
    const std::string strFull = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";  // fills the field, no NUL
    CCraftedDisk disk(m_dir.File("apm.img"), 512 * SECTOR);
    ASSERT_TRUE(disk.PutApm({{1, 0, 5, "Apple_partition_map"},
                             {64, 0, 100, "Macintosh HD"},
                             {200, 8, 50, strFull},
                             {0, 0, 0, "empty"},
                             {300, 0, 10, "caf\xE9"}}));
    // Map counts outside 1..128, and a map longer than the disk.
    CCraftedDisk many(m_dir.File("many.img"), 512 * SECTOR);
    ASSERT_TRUE(many.PutApm({{1, 0, 2, "map"}, {10, 0, 5, "data"}}, APM_MAX_ENTRIES + 1));
    CCraftedDisk longMap(m_dir.File("long.img"), 64 * SECTOR);
    ASSERT_TRUE(longMap.PutApm({{1, 0, 2, "map"}, {10, 0, 5, "data"}}, 100));
    CCraftedDisk zeroCount(m_dir.File("zerocount.img"), 64 * SECTOR);
    ASSERT_TRUE(zeroCount.PutApm({{10, 0, 5, "data"}}, 0));
    // PutApm writes the slot count when given 0; write a literal zero count over it.
    ASSERT_TRUE(zeroCount.PutBytes(SECTOR + 4, "\0\0\0\0", 4));

    ItemMap mapItems = Enumerate({disk.Path(), many.Path(), longMap.Path(), zeroCount.Path()});
    ExpectItems(mapItems, 0, disk.Path(),
                {{1, 5, L"Apple_partition_map"},
                 {64, 163, L"Macintosh HD"},
                 {208, 257, std::wstring(strFull.begin(), strFull.end())},
                 {300, 309, L"caf?"}});
    EXPECT_EQ(1u, mapItems.size());
}

// Disks that yield nothing are absent; the walk goes on past them and closes what it opened.
TEST_F(PartitionManagerTest, DisksWithoutPartitionsAreAbsent) {
    CCraftedDisk blank(m_dir.File("blank.img"), 2048 * SECTOR);
    CCraftedDisk tiny(m_dir.File("tiny.img"), 7 * SECTOR);  // less than the 4 KiB probed first
    ASSERT_TRUE(tiny.PutMbrTable(0, {{0x83, 1, 4}}));
    CCraftedDisk empty(m_dir.File("empty.img"), 64 * SECTOR);
    ASSERT_TRUE(empty.PutMbrTable(0, {}));
    CCraftedDisk good(m_dir.File("good.img"), 64 * SECTOR);
    ASSERT_TRUE(good.PutMbrTable(0, {{0x83, 2, 4}}));
    std::vector<std::string> vecDisks = {blank.Path(), tiny.Path(), m_dir.Path(), empty.Path(),
                                         m_dir.File("absent.img"), good.Path()};

    size_t nOpenBefore = OpenDescriptors();
    ItemMap mapItems = Enumerate(vecDisks);
    EXPECT_EQ(nOpenBefore, OpenDescriptors());
    ASSERT_EQ(1u, mapItems.size());
    ExpectItems(mapItems, 5, good.Path(), {{2, 5, MbrName(1)}});
}

}  // namespace
