// The deep FAT engine on directory sectors built byte by byte and placed on a small image:
// names, long names cut at a sector end, folder records, lost folders, waiting files and the
// high-word search of deleted entries.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fat/fat_entry_builder.h"
#include "fat/professional_fat_recovery.h"
#include "fixtures/fat_deep_sweep.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "util/path.h"
#include "util/text.h"

namespace {

// Disk-order entries of a long name (last piece first) followed by its short entry.
std::vector<FatEntryBytes> LongNamed(const std::u16string& strName, FatEntryBytes shortEntry) {
    std::u16string strUnits = strName;
    const size_t nPieces = (strUnits.size() + FAT_LFN_UNITS_PER_ENTRY - 1) / FAT_LFN_UNITS_PER_ENTRY;
    if (strUnits.size() % FAT_LFN_UNITS_PER_ENTRY != 0) strUnits.push_back(0);
    strUnits.resize(nPieces * FAT_LFN_UNITS_PER_ENTRY, 0xFFFF);
    static const int s_anOffsets[FAT_LFN_UNITS_PER_ENTRY] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    std::vector<FatEntryBytes> vEntries;
    for (size_t nPiece = nPieces; nPiece >= 1; --nPiece) {
        FatEntryBytes e = FatEntryBytes::LongName(
            static_cast<unsigned char>(nPiece | (nPiece == nPieces ? FAT_LFN_LAST_PIECE : 0)), shortEntry.CheckSum());
        for (int i = 0; i < FAT_LFN_UNITS_PER_ENTRY; ++i)
            WriteLe16(&e.ab[s_anOffsets[i]], strUnits[(nPiece - 1) * FAT_LFN_UNITS_PER_ENTRY + i]);
        vEntries.push_back(e);
    }
    vEntries.push_back(shortEntry);
    return vEntries;
}

std::vector<FatEntryBytes> Concat(std::vector<FatEntryBytes> a, const std::vector<FatEntryBytes>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Geometry used throughout: 8 sectors per cluster, cluster 2 at sector 9976.
constexpr uint64_t kDataStart = 9976;
uint64_t SectorOf(uint32_t u32Cluster) {
    return kDataStart + (u32Cluster - 2) * 8ull;
}

class ProFatEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLogFileManager::GetInstance().Init();
        m_strImage = m_dir.File("disk.img");
        ASSERT_TRUE(MakeZeroImage(m_strImage, 80000ll * 512));
        std::wstring wstrPath = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(0, m_engine.Init(&wstrPath[0], L'C'));
        m_engine.ClearProfessionalVec(nullptr);
    }

    void Put(uint64_t u64Sector, const FatBytes& v) {
        const int hFile = open(m_strImage.c_str(), O_WRONLY);
        ASSERT_GE(hFile, 0);
        ASSERT_EQ(static_cast<ssize_t>(v.size()), pwrite(hFile, v.data(), v.size(), static_cast<off_t>(u64Sector * 512)));
        close(hFile);
    }
    // The first sector of folder u32Cluster, placed on the disk and handed to the engine.
    void DirStart(uint32_t u32Cluster, uint32_t u32Parent, const std::vector<FatEntryBytes>& vEntries,
                  uint64_t u64Sector = 0) {
        if (u64Sector == 0) u64Sector = SectorOf(u32Cluster);
        std::vector<FatEntryBytes> v{FatEntryBytes::Directory(".          ", static_cast<uint16_t>(u32Cluster)),
                                     FatEntryBytes::Directory("..         ", static_cast<uint16_t>(u32Parent))};
        FatBytes bytes = JoinEntries(Concat(v, vEntries), 512);
        Put(u64Sector, bytes);
        m_engine.ParseFatFileRecord(bytes.data(), u64Sector);
    }
    void TableSector(uint64_t u64Sector, const std::vector<FatEntryBytes>& vEntries) {
        FatBytes bytes = JoinEntries(vEntries, 512);
        Put(u64Sector, bytes);
        m_engine.ParseFDTFileRecord(bytes.data(), u64Sector);
    }
    // Two empty folders that give the engine the geometry above.
    void LearnGeometry() {
        DirStart(100, 0, {});
        DirStart(104, 0, {});
        ASSERT_EQ(1u, m_engine.GetVirtualDbrList().Geometries().size());
    }
    std::multiset<std::string> NodeNames() {
        std::multiset<std::string> setNames;
        for (const _FILE_NODE_& node : ReadAllFatNodes(m_engine)) setNames.insert(node.szFileName);
        return setNames;
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage;
    CProfessionalFatRecovery m_engine;
};

TEST_F(ProFatEntriesTest, ThirdDirectoryStartUsesTheInferredGeometry) {
    DirStart(5, 0, {});
    DirStart(9, 0, {});
    ASSERT_EQ(1u, m_engine.GetVirtualDbrList().Geometries().size());
    EXPECT_EQ(8u, m_engine.GetVirtualDbrList().Geometries()[0].dwSectorsPerCluster);
    EXPECT_EQ(kDataStart, m_engine.GetVirtualDbrList().Geometries()[0].dwDataStartOffset);
    DirStart(12, 0, {}, 10056);
    EXPECT_EQ(2u, m_engine.GetVirtualDbrList().SectorOffsets().size()) << "explained, so not kept";
    EXPECT_EQ(1u, m_engine.GetVirtualDbrList().Geometries().size());
}

TEST_F(ProFatEntriesTest, ShortNamesDeletedNamesAndPlainFilesWithoutArchiveBit) {
    // Found before any geometry: the files wait, and are placed once the second start gives one.
    // Short names keep their stored case unless the case byte marks the base (0x08) or the
    // extension (0x10) as lower case.
    DirStart(5, 0,
             {FatEntryBytes::File("FOO     TXT").SetByte(12, 0x18), FatEntryBytes::File("README     "),
              FatEntryBytes::File("XOO     JPG").Delete().SetByte(12, 0x08),
              FatEntryBytes::File("IMG_1001JPG"), FatEntryBytes::File("DSC00042JPG").SetByte(12, 0x10),
              FatEntryBytes::File("HIDDEN  TXT").SetAttr(0x01)});
    EXPECT_EQ(5u, m_engine.GetNoDbrFileCount());
    EXPECT_EQ(0u, m_engine.GetLostFileCount());
    DirStart(9, 5, {});
    EXPECT_EQ(5u, m_engine.GetLostFileCount());
    m_engine.DealProfessionalRecordVec();
    EXPECT_EQ((std::multiset<std::string>{"foo.txt", "README", "!oo.JPG", "IMG_1001.JPG", "DSC00042.jpg",
                                          "LostFolder5"}),
              NodeNames());
}

TEST_F(ProFatEntriesTest, LongNamesWinOverShortNames) {
    LearnGeometry();
    const std::u16string strLong = u"A twenty-seven char name.tx";  // 27 units: three pieces
    ASSERT_EQ(27u, strLong.size());
    // A name starting with U+6FC9, whose GB18030 form begins with byte 0xE5, keeps that byte.
    const std::u16string strChinese = u"\u6fc9\u6c34\u7167\u7247.jpg";
    std::vector<FatEntryBytes> vLong = LongNamed(strLong, FatEntryBytes::File("ATWENT~1TX "));
    ASSERT_EQ(4u, vLong.size());
    EXPECT_EQ(0x43, vLong[0].ab[0]);
    EXPECT_EQ(0x02, vLong[1].ab[0]);
    EXPECT_EQ(0x01, vLong[2].ab[0]);
    std::vector<FatEntryBytes> vChinese = LongNamed(strChinese, FatEntryBytes::File("_~1     JPG").Delete());
    for (FatEntryBytes& e : vChinese) e.ab[0] = 0xE5;  // deleted: every piece loses its order byte
    DirStart(5, 0, Concat(vLong, vChinese));
    m_engine.DealProfessionalRecordVec();
    const std::multiset<std::string> setNames = NodeNames();
    EXPECT_EQ(1u, setNames.count("A twenty-seven char name.tx"));
    EXPECT_EQ(1u, setNames.count(Unicode2Ansi(L"\u6fc9\u6c34\u7167\u7247.jpg")));
    EXPECT_EQ(static_cast<char>(0xE5), Unicode2Ansi(L"\u6fc9")[0]);
}

TEST_F(ProFatEntriesTest, LongNameCutAtTheSectorEndIsJoinedOnce) {
    LearnGeometry();
    std::vector<FatEntryBytes> vFirst;
    for (int i = 0; i < 12; ++i) {
        std::string strName = "FILE" + std::to_string(10 + i) + "  TXT";
        vFirst.push_back(FatEntryBytes::File(strName.c_str()));
    }
    std::vector<FatEntryBytes> vLong = LongNamed(u"Holiday pictures list.txt", FatEntryBytes::File("HOLIDA~1TXT"));
    ASSERT_EQ(3u, vLong.size());
    // Two dot entries + 12 files + 2 pieces fill the first sector; piece 1 and the short entry
    // open the next one.
    vFirst.push_back(vLong[0]);
    vFirst.push_back(vLong[1]);
    DirStart(5, 0, vFirst);
    EXPECT_EQ(1u, m_engine.GetLongFileInfoCount());
    TableSector(SectorOf(5) + 1, {vLong[2], vLong[3]});
    EXPECT_EQ(0u, m_engine.GetLongFileInfoCount());
    m_engine.DealProfessionalRecordVec();
    const std::multiset<std::string> setNames = NodeNames();
    EXPECT_EQ(1u, setNames.count("Holiday pictures list.txt"));
    EXPECT_EQ(0u, setNames.count("holida~1.txt"));
}

TEST_F(ProFatEntriesTest, CutChainJoinsOnlyWhatContinuesIt) {
    LearnGeometry();
    std::vector<FatEntryBytes> vFirst;
    for (int i = 0; i < 12; ++i) {
        std::string strName = "FILE" + std::to_string(10 + i) + "  TXT";
        vFirst.push_back(FatEntryBytes::File(strName.c_str()));
    }
    std::vector<FatEntryBytes> vLong =
        LongNamed(u"Deleted holiday list.txt", FatEntryBytes::File("DELETE~1TXT").Delete());
    ASSERT_EQ(3u, vLong.size());
    vFirst.push_back(vLong[0]);
    vFirst.push_back(vLong[1]);
    DirStart(5, 0, vFirst);
    ASSERT_EQ(1u, m_engine.GetLongFileInfoCount());
    // A live short entry whose checksum is not the chain's does not continue it.
    TableSector(SectorOf(5) + 1, {FatEntryBytes::File("OTHER   TXT")});
    EXPECT_EQ(1u, m_engine.GetLongFileInfoCount());
    // A deleted short entry has no checksum to compare: it continues a chain of its own cluster.
    TableSector(SectorOf(5) + 2, {vLong[2]});
    EXPECT_EQ(0u, m_engine.GetLongFileInfoCount());
    m_engine.DealProfessionalRecordVec();
    const std::multiset<std::string> setNames = NodeNames();
    EXPECT_EQ(1u, setNames.count("Deleted holiday list.txt"));
    EXPECT_EQ(1u, setNames.count("OTHER.TXT"));
    EXPECT_EQ(0u, setNames.count("!ELETE~1.TXT"));
}

TEST_F(ProFatEntriesTest, SelfAndZeroFolderEntriesMakeNoFolderAndUnseenParentsAreLost) {
    LearnGeometry();
    DirStart(50, 0,
             {FatEntryBytes::Directory("SELF       ", 50), FatEntryBytes::Directory("ZERO       ", 0),
              FatEntryBytes::File("A       TXT")});
    DirStart(1234, 0, {FatEntryBytes::File("B       TXT")});
    m_engine.DealProfessionalRecordVec();
    const std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(m_engine);
    EXPECT_EQ(1u, mapTree.count("LostFolder50/A.TXT"));
    EXPECT_EQ(1u, mapTree.count("LostFolder1234/B.TXT"));
    for (const auto& entry : mapTree) {
        EXPECT_EQ(std::string::npos, entry.first.find("SELF"));
        EXPECT_EQ(std::string::npos, entry.first.find("ZERO"));
    }
}

TEST_F(ProFatEntriesTest, NamedFolderHoldsItsFilesAtTheRightDepth) {
    LearnGeometry();
    // Root (cluster 2) lists folder PHOTOS at cluster 7; PHOTOS lists SUB at 9; SUB holds a file.
    TableSector(SectorOf(2), {FatEntryBytes::Directory("PHOTOS     ", 7)});
    DirStart(7, 0, {FatEntryBytes::Directory("SUB        ", 9)});
    DirStart(9, 7, {FatEntryBytes::File("DEEP    TXT", 700, 30)});
    m_engine.DealProfessionalRecordVec();
    const std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(m_engine);
    ASSERT_EQ(1u, mapTree.count("PHOTOS/SUB/DEEP.TXT"));
    EXPECT_EQ(30u, mapTree.at("PHOTOS/SUB/DEEP.TXT").nDirIndex);
    EXPECT_EQ(700u, mapTree.at("PHOTOS/SUB/DEEP.TXT").u64FileSize);
    EXPECT_EQ(4096u, mapTree.at("PHOTOS/SUB/DEEP.TXT").nClusterSize);
    EXPECT_EQ(static_cast<int>(FILE_SOURCE_DEEP_FAT), mapTree.at("PHOTOS/SUB/DEEP.TXT").nSourceType);
}

TEST_F(ProFatEntriesTest, SameNameChildrenGetUniqueNamesAndAFolderFailsWithItsFiles) {
    LearnGeometry();
    // A deleted photo and its successor under one long name; a file pointing past the disk.
    const std::string strOld = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + std::string(2990, 'o');
    const std::string strNew = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + std::string(3990, 'n');
    Put(SectorOf(30), FatBytes(strOld.begin(), strOld.end()));
    Put(SectorOf(40), FatBytes(strNew.begin(), strNew.end()));
    TableSector(SectorOf(2), {FatEntryBytes::Directory("TRIP       ", 7)});
    DirStart(7, 0,
             Concat(Concat(LongNamed(u"Beach photo.jpg", FatEntryBytes::File("BEACHP~1JPG", 3000, 30).Delete()),
                           LongNamed(u"Beach photo.jpg", FatEntryBytes::File("BEACHP~2JPG", 4000, 40))),
                    {FatEntryBytes::File("AAAA    BIN", 900, 0xFFF0)}));
    m_engine.DealProfessionalRecordVec();
    std::map<std::string, _FILE_NODE_> mapTree = CollectFileTree(m_engine);
    ASSERT_EQ(1u, mapTree.count("TRIP"));

    ASSERT_EQ(0, mkdir(m_dir.File("restore").c_str(), 0755));
    EXPECT_NE(0, SaveRootFolderTree(m_engine, mapTree.at("TRIP"), m_dir.File("restore/TRIP")));
    const std::vector<unsigned char> vecFirst = ReadWholeFile(m_dir.File("restore/TRIP/Beach photo.jpg"));
    const std::vector<unsigned char> vecSecond = ReadWholeFile(m_dir.File("restore/TRIP/Beach photo(1).jpg"));
    const std::set<std::string> setGot = {std::string(vecFirst.begin(), vecFirst.end()),
                                          std::string(vecSecond.begin(), vecSecond.end())};
    EXPECT_TRUE((std::set<std::string>{strOld, strNew}) == setGot)
        << vecFirst.size() << " and " << vecSecond.size() << " bytes";
}

TEST_F(ProFatEntriesTest, WithoutAnyGeometryNothingIsPlaced) {
    DirStart(5, 0, {FatEntryBytes::File("FOO     TXT")});
    TableSector(40000, {FatEntryBytes::File("BAR     TXT")});
    EXPECT_EQ(1u, m_engine.GetNoDbrFileCount());
    EXPECT_EQ(1u, m_engine.GetUnDealSectorCount());
    m_engine.DealProfessionalRecordVec();
    EXPECT_EQ(0u, m_engine.GetLostFileCount());
    EXPECT_EQ(0u, m_engine.GetNoDbrFileCount());
    EXPECT_EQ(0u, m_engine.GetUnDealSectorCount());
}

TEST_F(ProFatEntriesTest, DotDotLoopEndsTheDepthWalk) {
    LearnGeometry();
    DirStart(5, 9, {});
    DirStart(9, 5, {});
    __VIRTUAL_DBR_INFO__ dbr = m_engine.GetVirtualDbrList().Geometries()[0];
    int nDepth = 0;
    EXPECT_EQ(0, m_engine.GetRootParentDirIndex(&dbr, 5, nDepth));
    EXPECT_EQ(2, nDepth);
    uint32_t u32Parent = 0;
    EXPECT_EQ(0, m_engine.GetParentClusterNO(&dbr, 9, u32Parent));
    EXPECT_EQ(5u, u32Parent);
    EXPECT_EQ(KR_ERROR_INVALID_PARAMETER, m_engine.GetParentClusterNO(&dbr, 0, u32Parent));
    EXPECT_EQ(KR_ERROR_INVALID_PARAMETER, m_engine.GetParentClusterNO(&dbr, 100000, u32Parent)) << "beyond the area";
}

TEST_F(ProFatEntriesTest, DeletedEntryFindsItsHighWordByContent) {
    // One sector per cluster here, so cluster 0x10005 lies inside a small sparse image.
    DirStart(5, 0, {}, 1000);
    DirStart(9, 0, {}, 1004);
    const __VIRTUAL_DBR_INFO__ dbr = m_engine.GetVirtualDbrList().Geometries()[0];
    ASSERT_EQ(1u, dbr.dwSectorsPerCluster);
    const uint64_t u64High = GetClusterFirstSector(dbr, 0x10005);
    ASSERT_LT(u64High, 80000u);
    Put(u64High, FatBytes{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A});
    uint16_t wHigh = 0;
    EXPECT_EQ(0, m_engine.GetFileRealHighClusterNO(5, wHigh, "pic.png", &dbr));
    EXPECT_EQ(1u, wHigh);
    wHigh = 0;
    EXPECT_EQ(0, m_engine.GetFileRealHighClusterNO(5, wHigh, "noext", &dbr));
    EXPECT_EQ(0u, wHigh) << "nothing to compare without an extension";
    // A folder's high word: the first candidate whose cluster starts with "." and "..".
    DirStart(0x10003, 0, {}, GetClusterFirstSector(dbr, 0x10003));
    wHigh = 0;
    EXPECT_EQ(0, m_engine.GetDirRealHighClusterNO(9, wHigh, &dbr));
    EXPECT_EQ(0u, wHigh) << "cluster 9 itself already starts a folder";
    EXPECT_EQ(0, m_engine.GetDirRealHighClusterNO(3, wHigh, &dbr));
    EXPECT_EQ(1u, wHigh);
    wHigh = 0;
    EXPECT_EQ(0, m_engine.GetDirRealHighClusterNO(4, wHigh, &dbr));
    EXPECT_EQ(0u, wHigh) << "no candidate";
}

}  // namespace

// Table sectors past the memory cap wait in a file beside the store and are placed by the end
// pass just as those kept in memory: none is dropped, whatever the cap.
TEST_F(ProFatEntriesTest, SectorsPastTheMemoryCapWaitOnDiskAndAreAllPlaced) {
    std::set<std::string> setFirst;
    for (const size_t nCap : {PRO_FAT_UNDEALT_MEMORY_SECTORS, size_t(1), size_t(0)}) {
        m_engine.ClearProfessionalVec(nullptr);
        m_engine.SetUndealtMemoryCap(nCap);
        LearnGeometry();
        TableSector(SectorOf(2), {FatEntryBytes::Directory("PHOTOS     ", 7), FatEntryBytes::File("ROOT    TXT", 10, 40)});
        TableSector(SectorOf(2) + 1, {FatEntryBytes::File("MORE    TXT", 20, 41)});
        TableSector(SectorOf(50), {FatEntryBytes::File("FAR     JPG", 30, 42).Delete()});
        EXPECT_EQ(3u, m_engine.GetUnDealSectorCount()) << nCap;
        DirStart(7, 0, {FatEntryBytes::File("FIRST   JPG", 40, 43)});
        m_engine.DealProfessionalRecordVec();
        EXPECT_EQ(0u, m_engine.GetUnDealSectorCount()) << nCap;
        std::set<std::string> setNames;
        for (const auto& entry : CollectFileTree(m_engine)) setNames.insert(entry.first);
        if (setFirst.empty()) setFirst = setNames;
        EXPECT_EQ(setFirst, setNames) << "memory cap " << nCap;
    }
    EXPECT_EQ((std::set<std::string>{"LostFolder50", "MORE.TXT", "PHOTOS", "ROOT.TXT"}), setFirst);
}

TEST(UndealtSectorSpill, RecordsComeBackInOrderAndLeaveNoFile) {
    CTempDir dir;
    CUndealtSectorSpill spill;
    spill.SetPlace(dir.File("store"));
    const unsigned char abA[512] = {1, 2, 3};
    const std::vector<unsigned char> vecB(4096, 0xB5);
    ASSERT_TRUE(spill.Append(uint64_t(1) << 40, abA, sizeof(abA)));
    ASSERT_TRUE(spill.Append(7, vecB.data(), static_cast<uint32_t>(vecB.size())));
    EXPECT_FALSE(spill.Append(8, abA, 0));
    EXPECT_EQ(2u, spill.Count());
    EXPECT_NE(0, access(dir.File("store.undealt").c_str(), F_OK)) << "nameless while in use";
    std::vector<std::pair<uint64_t, std::vector<unsigned char>>> vecGot;
    ASSERT_TRUE(spill.TakeAll([&](uint64_t u64Sector, std::vector<unsigned char>& vecData) {
        vecGot.emplace_back(u64Sector, vecData);
    }));
    ASSERT_EQ(2u, vecGot.size());
    EXPECT_EQ(uint64_t(1) << 40, vecGot[0].first);
    EXPECT_EQ(std::vector<unsigned char>(abA, abA + sizeof(abA)), vecGot[0].second);
    EXPECT_EQ(vecB, vecGot[1].second);
    EXPECT_EQ(0u, spill.Count());
}
