// The fast FAT engine over volumes made by mkfs.fat and changed with mtools (live, deleted, in a
// deleted folder, laid around a live file, cut short), and over small hand-made volumes for the
// table window, the free runs, the root area's size and broken boot sectors.
#include "fat/fast_fat_recovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fixtures/fat_deep_sweep.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/temp_dir.h"
#include "util/le.h"
#include "util/text.h"

namespace {

std::string Lower(std::string str) {
    for (char& c : str)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return str;
}

std::string Content(int nSeed, size_t nSize) {
    std::string str;
    uint32_t u32 = 2463534242u + static_cast<uint32_t>(nSeed) * 7919u;
    while (str.size() < nSize) {
        u32 ^= u32 << 13;
        u32 ^= u32 >> 17;
        u32 ^= u32 << 5;
        str.push_back(static_cast<char>(u32 & 0xFF));
    }
    return str;
}

bool PatchImage(const std::string& strImage, uint64_t u64Offset, const std::string& strBytes) {
    const int hFile = open(strImage.c_str(), O_WRONLY);
    const bool bOk = hFile >= 0 && pwrite(hFile, strBytes.data(), strBytes.size(), static_cast<off_t>(u64Offset)) ==
                                       static_cast<ssize_t>(strBytes.size());
    if (hFile >= 0) close(hFile);
    return bOk;
}

int ScanImage(CFastFatRecovery& engine, const std::string& strImage) {
    std::wstring wstrPath = Path2Unicode(strImage.c_str());
    const int nInit = engine.Init(&wstrPath[0], L'E');
    engine.BuildBitMapInfo();
    EXPECT_EQ(0, engine.ScanDevice(nullptr));
    return nInit;
}

struct Kind {
    int nFatBits, nSizeMiB, nSectorsPerCluster;
};

class FastFatImageTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        if (!HaveTool("mcopy") || !HaveTool("mdeltree")) GTEST_SKIP() << "mtools missing";
        CLogFileManager::GetInstance().Init();
        const Kind k = GetParam();
        ASSERT_TRUE(MakeFatImageWithClusters(m_strImage, k.nFatBits, k.nSizeMiB, k.nSectorsPerCluster));
        m_nCluster = 512u * static_cast<size_t>(k.nSectorsPerCluster);
    }
    bool Mt(const std::string& strTool, std::vector<std::string> vArgs) {
        vArgs.insert(vArgs.begin(), {strTool, "-i", m_strImage});
        return RunMtools(vArgs);
    }
    bool Copy(const std::string& strBytes, const std::string& strTarget) {
        const std::string strLocal = m_dir.File("src" + std::to_string(m_nFiles++));
        return WriteWholeFile(strLocal, strBytes.data(), strBytes.size()) && Mt("mcopy", {strLocal, strTarget});
    }
    // FAT32 drivers allocate after the last cluster they gave out; forgetting that hint makes
    // mtools fill holes first, as FAT12/16 always do.
    bool ForgetNextFreeHint() {
        return GetParam().nFatBits != 32 || PatchImage(m_strImage, 512 + 488, std::string(8, '\xFF'));
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage = m_dir.File("card.img");
    size_t m_nCluster = 0;
    int m_nFiles = 0;
    CFastFatRecovery m_engine;
};

TEST_P(FastFatImageTest, LiveAndDeletedFilesComeBackUnderTheirFolders) {
    std::map<std::string, std::string> mapExpected = {{"keep me.txt", Content(1, 700)},
                                                      {"dcim/live photo.bin", Content(2, 5 * m_nCluster + 9)},
                                                      {"dcim/sub/gone long name.bin", Content(3, 3 * m_nCluster + 100)},
                                                      {"!eadme.txt", Content(4, 300)},
                                                      {"old stuff/letter one.txt", Content(5, 2 * m_nCluster)},
                                                      {"old stuff/inner/!eep.txt", Content(6, 1234)},
                                                      {"b.bin", Content(7, 2 * m_nCluster)},
                                                      {"f wraps around b.bin", Content(8, 4 * m_nCluster - 5)}};
    // F gets A's cluster, then the two of B are taken, so it goes on after B.
    ASSERT_TRUE(Copy(Content(9, m_nCluster), "::/A.BIN") && Copy(mapExpected["b.bin"], "::/B.BIN") &&
                Mt("mdel", {"::/A.BIN"}) && ForgetNextFreeHint() &&
                Copy(mapExpected["f wraps around b.bin"], "::/F wraps around B.bin"));
    ASSERT_TRUE(Mt("mmd", {"::/DCIM", "::/DCIM/Sub", "::/Old Stuff", "::/Old Stuff/Inner"}));
    ASSERT_TRUE(Copy(mapExpected["keep me.txt"], "::/Keep me.txt") &&
                Copy(mapExpected["dcim/live photo.bin"], "::/DCIM/Live photo.bin") &&
                Copy(mapExpected["dcim/sub/gone long name.bin"], "::/DCIM/Sub/Gone long name.bin") &&
                Copy(mapExpected["!eadme.txt"], "::/README.TXT") &&
                Copy(mapExpected["old stuff/letter one.txt"], "::/Old Stuff/Letter one.txt") &&
                Copy(mapExpected["old stuff/inner/!eep.txt"], "::/Old Stuff/Inner/deep.txt"));
    ASSERT_TRUE(Mt("mdel", {"::/F wraps around B.bin", "::/DCIM/Sub/Gone long name.bin", "::/README.TXT"}) &&
                Mt("mdeltree", {"::/Old Stuff"}));

    ASSERT_EQ(0, ScanImage(m_engine, m_strImage));
    EXPECT_EQ(GetParam().nFatBits == 32 ? 1 : 0, m_engine.GetDeviceFileSystemType(nullptr));
    const std::set<std::string> setLive = {"keep me.txt", "dcim/live photo.bin", "b.bin"};
    std::map<std::string, _FILE_NODE_> mapTree;
    for (const auto& entry : CollectFileTree(m_engine)) mapTree[Lower(entry.first)] = entry.second;
    int nFile = 0;
    for (const auto& expected : mapExpected) {
        auto it = mapTree.find(expected.first);
        ASSERT_NE(it, mapTree.end()) << expected.first;
        EXPECT_TRUE(RecoverFileBytes(m_engine, it->second, m_dir.File("out" + std::to_string(nFile++))) ==
                    expected.second)
            << expected.first;
        EXPECT_EQ(setLive.count(expected.first) != 0 ? 0 : 1, it->second.nReserved) << expected.first;
    }
    EXPECT_EQ(1, mapTree.at("old stuff").nReserved);
    EXPECT_EQ(1, mapTree.at("old stuff/inner").nReserved);
    EXPECT_EQ(0, mapTree.at("dcim/sub").nReserved);
    // The case is only worth its name when F really is split around B.
    const _FILE_NODE_& f = mapTree.at("f wraps around b.bin");
    const std::vector<unsigned char> vecImage = ReadWholeFile(m_strImage);
    const size_t nFirst = static_cast<size_t>(GetFatNodeFirstDataSector(f, 512)) * 512;
    ASSERT_LE(nFirst + f.u64FileSize, vecImage.size());
    EXPECT_NE(std::string(vecImage.begin() + nFirst, vecImage.begin() + nFirst + f.u64FileSize),
              mapExpected["f wraps around b.bin"]);
}

// When every cluster after a deleted file's first one is taken, the file is cut short there.
TEST_P(FastFatImageTest, DeletedFileWithoutFreeClustersAfterItIsPartial) {
    const std::string strTail = Content(11, 3 * m_nCluster);
    // In a folder of its own: mtools would give its deleted entry to the next file of the root.
    ASSERT_TRUE(Mt("mmd", {"::/KEEP"}) && Copy(strTail, "::/KEEP/TAIL.BIN"));
    {
        CFastFatRecovery probe;
        std::wstring wstrPath = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(0, probe.Init(&wstrPath[0], L'E'));
        ASSERT_EQ(0, probe.BuildBitMapInfo());
        const uint64_t u64Free =
            probe.Bitmap().CountFree() - (probe.Bitmap().ClusterCount() - probe.Geometry().dwClusterCount);
        ASSERT_TRUE(ForgetNextFreeHint() && Copy(std::string(u64Free * m_nCluster, 'z'), "::/FILL.BIN"));
    }
    // ONE takes the deleted file's first cluster and TWO the rest; then ONE goes again.
    ASSERT_TRUE(Mt("mdel", {"::/KEEP/TAIL.BIN"}) && ForgetNextFreeHint() &&
                Copy(Content(13, m_nCluster), "::/ONE.BIN") && ForgetNextFreeHint() &&
                Copy(Content(14, 2 * m_nCluster), "::/TWO.BIN") && Mt("mdel", {"::/ONE.BIN"}));
    ASSERT_EQ(0, ScanImage(m_engine, m_strImage));
    std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(m_engine);
    ASSERT_EQ(1u, mapTree.count("KEEP/!AIL.BIN"));
    _FILE_NODE_ tail = mapTree.at("KEEP/!AIL.BIN");
    std::wstring wstrOut = Path2Unicode(m_dir.File("tail").c_str());
    EXPECT_EQ(KR_ERROR_DATA_MISSING, m_engine.SaveFileData(&tail, &wstrOut[0], 0));
    EXPECT_EQ(m_nCluster, ReadWholeFile(m_dir.File("tail")).size()) << "never padded";
}

INSTANTIATE_TEST_SUITE_P(Kinds, FastFatImageTest, ::testing::Values(Kind{12, 8, 4}, Kind{16, 32, 4}, Kind{32, 40, 1}),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return "Fat" + std::to_string(info.param.nFatBits);
                         });

// A hand-made FAT16 volume: 512-byte sectors, one sector a cluster, one table, 1024 root entries
// (64 sectors), 8192 sectors in the 16-bit field.
class HandMadeFat16 {
public:
    static constexpr uint32_t kTableSector = 1, kRootSector = 33, kDataSector = 97, kSectors = 8192;
    HandMadeFat16() : m_vecImage(kSectors * 512ull, 0) {
        unsigned char* p = m_vecImage.data();
        p[13] = 1;
        WriteLe16(p + 11, 512);
        WriteLe16(p + 14, 1);
        p[16] = 1;
        WriteLe16(p + 17, 1024);
        WriteLe16(p + 19, kSectors);
        WriteLe16(p + 22, 32);
        p[510] = 0x55;
        p[511] = 0xAA;
        SetEntry(0, 0xFFF8);
        SetEntry(1, 0xFFFF);
    }
    void SetEntry(uint32_t u32Cluster, uint16_t wValue) {
        WriteLe16(&m_vecImage[kTableSector * 512 + u32Cluster * 2], wValue);
    }
    // A short entry at index nIndex of the folder starting at sector u32Sector.
    void AddEntry(uint32_t u32Sector, int nIndex, const char* sz11, uint8_t btAttr, uint16_t wCluster,
                  uint32_t u32Size) {
        unsigned char* p = &m_vecImage[u32Sector * 512ull + nIndex * 32ull];
        memcpy(p, sz11, 11);
        p[11] = btAttr;
        WriteLe16(p + 24, 0x5A21);
        WriteLe16(p + 26, wCluster);
        WriteLe32(p + 28, u32Size);
    }
    unsigned char* Cluster(uint32_t u32Cluster) { return &m_vecImage[(kDataSector + u32Cluster - 2) * 512ull]; }
    std::vector<unsigned char> m_vecImage;
};

TEST(FastFatHandMadeTest, RootIsOneBlockSelfFoldersAreIgnoredAndFreeRunsFollowTheTable) {
    CScopedAppHome home;
    CTempDir dir;
    CLogFileManager::GetInstance().Init();
    HandMadeFat16 fat;
    // Deleted folder entries fill the root up to its last entry, beyond the usual 32 sectors.
    for (int i = 1; i < 1023; ++i) fat.AddEntry(HandMadeFat16::kRootSector, i, "\xE5ILLER     ", 0x10, 0, 0);
    fat.AddEntry(HandMadeFat16::kRootSector, 0, "SELF       ", 0x10, 2, 0);
    fat.AddEntry(HandMadeFat16::kRootSector, 1023, "FAR     TXT", 0x20, 4, 5);
    memcpy(fat.Cluster(4), "hello", 5);
    const uint32_t u32SelfSector = HandMadeFat16::kDataSector;
    fat.AddEntry(u32SelfSector, 0, ".          ", 0x10, 2, 0);
    fat.AddEntry(u32SelfSector, 1, "..         ", 0x10, 0, 0);
    fat.AddEntry(u32SelfSector, 2, "LOOP       ", 0x10, 2, 0);
    fat.AddEntry(u32SelfSector, 3, "IN      TXT", 0x00, 3, 10);
    // Used: 2-4 (end marks), 7 (bad), 9-11 (a chain) and the last; free: 5-6, 8, 12 to the last.
    const uint32_t u32Last = HandMadeFat16::kSectors - HandMadeFat16::kDataSector + 1;
    for (uint32_t c : {2u, 3u, 4u, 11u, u32Last}) fat.SetEntry(c, 0xFFFF);
    fat.SetEntry(7, 0xFFF7);
    fat.SetEntry(9, 10);
    fat.SetEntry(10, 11);
    // The area goes on for 100 sectors after the volume.
    fat.m_vecImage.resize(fat.m_vecImage.size() + 100 * 512);
    const std::string strImage = dir.File("hand.img");
    ASSERT_TRUE(WriteWholeFile(strImage, fat.m_vecImage.data(), fat.m_vecImage.size()));

    CFastFatRecovery engine;
    ASSERT_EQ(0, ScanImage(engine, strImage));
    EXPECT_EQ(0, engine.GetDeviceFileSystemType(nullptr));
    EXPECT_EQ(2u, engine.GetVisitedFolderCount()) << "the root and SELF, never LOOP";
    std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(engine);
    ASSERT_EQ(1u, mapTree.count("FAR.TXT"));
    EXPECT_EQ(1u, mapTree.count("SELF/IN.TXT")) << "no archive bit needed";
    EXPECT_EQ("hello", RecoverFileBytes(engine, mapTree.at("FAR.TXT"), dir.File("far")));

    const uint64_t D = HandMadeFat16::kDataSector;
    std::vector<std::pair<uint64_t, uint64_t>> vecRuns;
    for (unsigned long long s = 0, n = 0;; s += n) {
        EXPECT_EQ(1, engine.GetUnUsedSectorCount(s, n));
        if (n == 0) break;
        vecRuns.emplace_back(s, n);
    }
    const std::vector<std::pair<uint64_t, uint64_t>> vecWant = {
        {D + 3, 2}, {D + 6, 1}, {D + 10, u32Last - 12}, {HandMadeFat16::kSectors, 100}};
    EXPECT_EQ(vecWant, vecRuns);
    // A start in the reserved area counts from the data area; one inside a run keeps its place.
    struct {
        unsigned long long u64Start, u64WantStart, u64WantCount;
    } aCases[] = {{1, D + 3, 2},
                  {D + 4, D + 4, 1},
                  {D + 5, D + 6, 1},
                  {HandMadeFat16::kSectors + 105, HandMadeFat16::kSectors + 100, 0}};
    for (const auto& c : aCases) {
        unsigned long long s = c.u64Start, n = 99;
        engine.GetUnUsedSectorCount(s, n);
        EXPECT_EQ(c.u64WantStart, s) << c.u64Start;
        EXPECT_EQ(c.u64WantCount, n) << c.u64Start;
    }
}

TEST(FastFatHandMadeTest, BrokenBootSectorGivesNoGeometryAndNoFinds) {
    CScopedAppHome home;
    CTempDir dir;
    CLogFileManager::GetInstance().Init();
    for (const auto& patch : std::vector<std::pair<int, std::string>>{{11, std::string("\x00\x03", 2)},
                                                                      {13, "\x03"},
                                                                      {14, std::string("\0\0", 2)},
                                                                      {16, std::string("\0", 1)},
                                                                      {22, std::string("\0\0", 2)},
                                                                      {19, std::string("\x10\0", 2)},
                                                                      {17, std::string("\0\0", 2)}}) {
        HandMadeFat16 fat;
        memcpy(&fat.m_vecImage[static_cast<size_t>(patch.first)], patch.second.data(), patch.second.size());
        const std::string strImage = dir.File("bad" + std::to_string(patch.first) + ".img");
        ASSERT_TRUE(WriteWholeFile(strImage, fat.m_vecImage.data(), fat.m_vecImage.size()));
        CFastFatRecovery engine;
        EXPECT_NE(0, ScanImage(engine, strImage)) << patch.first;
        EXPECT_NE(0, engine.BuildBitMapInfo()) << patch.first;
        EXPECT_EQ(0u, engine.GetLostFileCount()) << patch.first;
        unsigned long long s = 0, n = 5;
        engine.GetUnUsedSectorCount(s, n);
        EXPECT_EQ(0u, n) << patch.first;
    }
}

// FAT12 entries read through a two-sector window, which entries straddle at its end.
TEST(FastFatTableWindowTest, Fat12EntriesStraddlingTheWindowEnd) {
    CTempDir dir;
    __FAST_FAT_GEOMETRY__ g;
    g.dwFatBits = 12;
    g.u64FatStart = 1;
    g.u64FatBytes = 6 * 512;
    std::vector<unsigned char> vecImage(8 * 512, 0);
    const uint32_t u32Entries = static_cast<uint32_t>(g.u64FatBytes * 2 / 3);
    for (uint32_t i = 0; i < u32Entries; ++i) {
        unsigned char* p = &vecImage[512 + i * 3 / 2];
        const uint16_t wValue = static_cast<uint16_t>((i * 37 + 5) & 0xFFF);
        WriteLe16(p, (i & 1) ? static_cast<uint16_t>((ReadLe16(p) & 0x000F) | (wValue << 4))
                             : static_cast<uint16_t>((ReadLe16(p) & 0xF000) | wValue));
    }
    ASSERT_TRUE(WriteWholeFile(dir.File("t.img"), vecImage.data(), vecImage.size()));
    CDiskReader reader;
    std::wstring wstrPath = Path2Unicode(dir.File("t.img").c_str());
    ASSERT_EQ(0, reader.Init(&wstrPath[0], 8));
    CFatTableWindow window;
    window.Reset(&reader, g, 0, 1024);
    for (uint32_t i = 0; i < u32Entries; ++i) {
        uint32_t u32Value = 0;
        ASSERT_EQ(0, window.ReadEntry(i, u32Value)) << i;
        ASSERT_EQ((i * 37 + 5) & 0xFFF, u32Value) << i;
    }
    uint32_t u32Value = 0;
    EXPECT_EQ(KR_ERROR_INVALID_PARAMETER, window.ReadEntry(u32Entries, u32Value)) << "beyond the table";
}

}  // namespace
