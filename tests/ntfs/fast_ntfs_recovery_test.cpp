// The fast NTFS engine on a volume made by mkntfs whose files were written and deleted through an
// ntfs-3g mount, and on a small volume of our own for the bitmap and record-number rules.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/ntfs3g_mount.h"
#include "fixtures/ntfs_records.h"
#include "fixtures/temp_dir.h"
#include "engine/log_file_manager.h"
#include "fixtures/volume_images.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "util/text.h"

namespace {
struct Progress {
    std::vector<int> vecPercents;
    int nStopAnswer = 0;
};

int RecordProgress(void* pParam, int nProgress, int, int, unsigned long long, unsigned long long, unsigned long long,
                   wchar_t*) {
    Progress* pProgress = static_cast<Progress*>(pParam);
    pProgress->vecPercents.push_back(nProgress);
    return pProgress->nStopAnswer;
}

std::map<std::string, _FILE_NODE_> Children(CFastNtfsRecovery& engine, _FILE_NODE_* pParent, unsigned int nLevel) {
    std::vector<_FILE_NODE_> vecNodes;
    EXPECT_EQ(0, engine.GetChildrenFileNode(pParent, nLevel, vecNodes));
    std::map<std::string, _FILE_NODE_> mapOut;
    for (const _FILE_NODE_& node : vecNodes) mapOut[node.szFileName] = node;
    return mapOut;
}

// Stores of this process's earlier scans must not be reopened: a scan folder of its own.
void UseFreshScanFolder() {
    CLogFileManager::GetInstance().Init();
    CLogFileManager::GetInstance().AddDirIndex();
}

std::vector<unsigned char> Save(CFastNtfsRecovery& engine, _FILE_NODE_ node, const std::string& strPath) {
    std::wstring strTarget = Path2Unicode(strPath.c_str());
    EXPECT_EQ(0, engine.SaveFileData(&node, &strTarget[0], 0)) << node.szFileName;
    return ReadWholeFile(strPath);
}

unsigned long long SumFreeSectors(CFastNtfsRecovery& engine) {
    unsigned long long u64Total = 0, u64Sector = 0, u64Count = 0;
    while (engine.GetUnUsedSectorCount(u64Sector, u64Count) == 1 && u64Count != 0) {
        u64Total += u64Count;
        u64Sector += u64Count;
    }
    return u64Total;
}

std::string ToolOutput(const std::string& strCommand) {
    std::string strOut;
    FILE* pPipe = popen(strCommand.c_str(), "r");
    if (pPipe == nullptr) return strOut;
    char szLine[512];
    while (fgets(szLine, sizeof(szLine), pPipe) != nullptr) strOut += szLine;
    pclose(pPipe);
    return strOut;
}

// A file written with a hole before every block: hundreds of runs, too many for one record, so
// ntfs-3g spreads them over extension records named by an attribute list.
std::vector<unsigned char> WriteFragmented(const std::string& strPath) {
    std::vector<unsigned char> vecAll;
    FILE* pFile = fopen(strPath.c_str(), "wb");
    for (int i = 0; pFile != nullptr && i < 300; ++i) {
        std::vector<uint8_t> vecBlock = MakeTestBytes(4096, 100 + i);
        vecAll.resize(static_cast<size_t>(i) * 8192, 0);
        vecAll.insert(vecAll.end(), vecBlock.begin(), vecBlock.end());
        fseek(pFile, static_cast<long>(i) * 8192, SEEK_SET);
        fwrite(vecBlock.data(), 1, vecBlock.size(), pFile);
    }
    if (pFile != nullptr) fclose(pFile);
    return vecAll;
}
}  // namespace

class FastNtfsRealVolumeTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pDir = new CTempDir();
        s_strImage = s_pDir->File("real.img");
        if (!HaveTool("mkntfs") || !MakeNtfsImage(s_strImage, 16)) return;
        const std::string strMnt = s_pDir->File("mnt");
        CNtfs3gMount mount(s_strImage, strMnt);
        if (!mount.Mounted()) return;
        // name -> {content, deleted}
        s_files = {{"keep.txt", {MakeTestBytes(3000, 1), false}},   {"del.bin", {MakeTestBytes(100000, 2), true}},
                   {"tiny.txt", {MakeTestBytes(200, 3), true}},     {"Photos/p1.bin", {MakeTestBytes(50000, 4), true}},
                   {"Photos/p2.txt", {MakeTestBytes(300, 5), true}}, {"Docs/gone.bin", {MakeTestBytes(20000, 6), true}},
                   {"Docs/stay.txt", {MakeTestBytes(100, 7), false}}};
        mkdir((strMnt + "/Photos").c_str(), 0755);
        mkdir((strMnt + "/Docs").c_str(), 0755);
        for (const auto& file : s_files)
            WriteWholeFile(strMnt + "/" + file.first, file.second.first.data(), file.second.first.size());
        // Kept: deleting it through ntfs-3g removes its name, which lies in an extension record.
        s_files["frag.bin"] = {WriteFragmented(strMnt + "/frag.bin"), false};
        if (!mount.Unmount()) return;
        s_bFragmentedHasList = ToolOutput("ntfsinfo -F /frag.bin '" + s_strImage + "' 2>/dev/null")
                                   .find("$ATTRIBUTE_LIST") != std::string::npos;
        CNtfs3gMount again(s_strImage, strMnt);
        s_bReady = again.Mounted() &&
                   RunQuiet("rm -r '" + strMnt + "/Photos' '" + strMnt + "/del.bin' '" + strMnt + "/tiny.txt' '" +
                            strMnt + "/Docs/gone.bin'") &&
                   again.Unmount();
    }
    static void TearDownTestSuite() {
        delete s_pDir;
        s_pDir = nullptr;
    }
    void SetUp() override {
        if (!s_bReady) GTEST_SKIP() << "needs mkntfs and an ntfs-3g FUSE mount (root, /dev/fuse)";
        UseFreshScanFolder();
        std::wstring strPath = Path2Unicode(s_strImage.c_str());
        ASSERT_EQ(0, m_engine.Init(&strPath[0], L'F'));
    }

    static CTempDir* s_pDir;
    static std::string s_strImage;
    static std::map<std::string, std::pair<std::vector<unsigned char>, bool>> s_files;
    static bool s_bReady;
    static bool s_bFragmentedHasList;
    CScopedAppHome m_home;
    CFastNtfsRecovery m_engine;
};
CTempDir* FastNtfsRealVolumeTest::s_pDir = nullptr;
std::string FastNtfsRealVolumeTest::s_strImage;
std::map<std::string, std::pair<std::vector<unsigned char>, bool>> FastNtfsRealVolumeTest::s_files;
bool FastNtfsRealVolumeTest::s_bReady = false;
bool FastNtfsRealVolumeTest::s_bFragmentedHasList = false;

TEST_F(FastNtfsRealVolumeTest, DeletedAndLiveFilesComeBackUnderTheirFolders) {
    EXPECT_TRUE(s_bFragmentedHasList) << "frag.bin was meant to need an attribute list";
    Progress progress;
    m_engine.InitCallBack(RecordProgress, nullptr, &progress, 100);
    ASSERT_EQ(0, m_engine.ScanDevice(nullptr));
    ASSERT_FALSE(progress.vecPercents.empty());
    EXPECT_EQ(100, progress.vecPercents.back());
    EXPECT_EQ(1, std::count(progress.vecPercents.begin(), progress.vecPercents.end(), 100));

    std::map<std::string, _FILE_NODE_> mapRoot = Children(m_engine, nullptr, 0);
    for (const auto& entry : mapRoot) {
        EXPECT_NE('$', entry.first[0]) << "the volume's own files make no node";
        EXPECT_GE(entry.second.nDirIndex, 12u);
        EXPECT_EQ(FILE_SOURCE_FAST_NTFS, entry.second.nSourceType);
    }
    ASSERT_EQ(1u, mapRoot.count("Photos"));
    ASSERT_EQ(1u, mapRoot.count("Docs"));
    EXPECT_EQ(1, mapRoot["Photos"].bIsDir);
    EXPECT_EQ(0, mapRoot["frag.bin"].nReserved);
    EXPECT_EQ(1, mapRoot["Photos"].nReserved);  // the folder itself was deleted
    EXPECT_EQ(0, mapRoot["Docs"].nReserved);
    std::map<std::string, std::map<std::string, _FILE_NODE_>> mapFolders = {
        {"", mapRoot}, {"Photos/", Children(m_engine, &mapRoot["Photos"], 1)},
        {"Docs/", Children(m_engine, &mapRoot["Docs"], 1)}};

    ASSERT_EQ(0, mkdir(s_pDir->File("out").c_str(), 0755));
    int nSaved = 0;
    for (const auto& file : s_files) {
        const size_t nSlash = file.first.find('/') + 1;
        const std::string strFolder = file.first.substr(0, nSlash), strName = file.first.substr(nSlash);
        SCOPED_TRACE(file.first);
        std::map<std::string, _FILE_NODE_>& mapFolder = mapFolders[strFolder];
        ASSERT_EQ(1u, mapFolder.count(strName));
        const _FILE_NODE_& node = mapFolder[strName];
        EXPECT_EQ(file.second.second ? 1 : 0, node.nReserved);
        EXPECT_EQ(1, node.bIsHealth);
        EXPECT_EQ(file.second.first, Save(m_engine, node, s_pDir->File("out/" + std::to_string(++nSaved))));
    }
}

TEST_F(FastNtfsRealVolumeTest, FreeRunsAddUpToTheVolumesFreeSpace) {
    const std::string strInfo = ToolOutput("ntfsinfo -m '" + s_strImage + "' 2>/dev/null");
    const size_t nAt = strInfo.find("Free Clusters:");
    if (nAt == std::string::npos) GTEST_SKIP() << "ntfsinfo gives no free-cluster count";
    const unsigned long long u64FreeClusters = std::stoull(strInfo.substr(nAt + 14));
    EXPECT_EQ(0u, SumFreeSectors(m_engine)) << "no bitmap loaded yet";
    ASSERT_EQ(0, m_engine.BuildBitMapInfo());
    EXPECT_EQ(0u, m_engine.GetUnreadableBitmapBytes());
    EXPECT_EQ(u64FreeClusters * m_engine.GetSectorsPerCluster(), SumFreeSectors(m_engine));
}

TEST_F(FastNtfsRealVolumeTest, AStopAnswerEndsTheScanWithoutAFinalReport) {
    Progress progress;
    progress.nStopAnswer = 7;
    m_engine.InitCallBack(RecordProgress, nullptr, &progress, 9);
    EXPECT_EQ(7, m_engine.ScanDevice(nullptr));
    ASSERT_EQ(1u, progress.vecPercents.size());
    EXPECT_LT(progress.vecPercents[0], 100);
    EXPECT_EQ(0u, Children(m_engine, nullptr, 0).count("Photos")) << "no folder pass after a stop";
}

// Our own volume: 2048 sectors, 8 per cluster, the MFT at cluster 4, $Bitmap in cluster 10
// starting 0x0F 0x00 0x01 and used after that.
TEST(FastNtfsSyntheticTest, BitmapRunsRecordNumbersAndMissingVolume) {
    CScopedAppHome home;
    UseFreshScanFolder();
    CTempDir dir;
    const std::string strImage = dir.File("small.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 1 << 20));
    const uint32_t nCluster = 4096;
    auto putRecord = [&](uint32_t u32Record, const std::vector<uint8_t>& vecRecord) {
        return WriteImageAt(strImage, 4 * nCluster + 1024 * u32Record, vecRecord);
    };
    std::vector<uint8_t> vecBitmap(32, 0xFF);
    vecBitmap[0] = 0x0F;
    vecBitmap[1] = 0x00;
    vecBitmap[2] = 0x01;
    const std::vector<uint8_t> vecKept = MakeTestBytes(50, 9);
    ASSERT_TRUE(WriteImageAt(strImage, 0, MakeNtfsBootSector(8, 2047, 4)));
    ASSERT_TRUE(putRecord(0, CNtfsRecordBuilder(0, 1).FileName(5, u"$MFT").NonResidentData({{4, 4}}, 16384, nCluster).Build()));
    ASSERT_TRUE(putRecord(3, CNtfsRecordBuilder(3, 0).FileName(5, u"system.txt").ResidentData({'s'}).Build()));
    ASSERT_TRUE(putRecord(6, CNtfsRecordBuilder(6, 1).FileName(5, u"$Bitmap").NonResidentData({{10, 1}}, 32, nCluster).Build()));
    ASSERT_TRUE(putRecord(11, CNtfsRecordBuilder(11, 3).FileName(5, u"$Extend").Build()));
    ASSERT_TRUE(putRecord(12, CNtfsRecordBuilder(12, 0).FileName(11, u"$ObjId").ResidentData({'o'}).Build()));
    // A folder of the volume's own below $Extend, and a file in it.
    ASSERT_TRUE(putRecord(14, CNtfsRecordBuilder(14, 3).FileName(11, u"$RmMetadata").Build()));
    ASSERT_TRUE(putRecord(15, CNtfsRecordBuilder(15, 1).FileName(14, u"$Repair").ResidentData({'r'}).Build()));
    ASSERT_TRUE(putRecord(13, CNtfsRecordBuilder(13, 0).FileName(5, u"kept.txt").ResidentData(vecKept).Build()));
    ASSERT_TRUE(WriteImageAt(strImage, 10 * nCluster, vecBitmap));

    CFastNtfsRecovery engine;
    std::wstring strPath = Path2Unicode(strImage.c_str());
    ASSERT_EQ(0, engine.Init(&strPath[0], L'F'));
    ASSERT_EQ(0, engine.BuildBitMapInfo());
    struct {
        unsigned long long u64Sector, u64ExpectSector, u64ExpectCount;
    } cases[] = {{0, 32, 96}, {32, 32, 96}, {35, 35, 93}, {128, 136, 56}, {192, 192, 0}, {5000, 2048, 0}};
    for (const auto& c : cases) {
        unsigned long long u64Sector = c.u64Sector, u64Count = 99;
        EXPECT_EQ(1, engine.GetUnUsedSectorCount(u64Sector, u64Count));
        EXPECT_EQ(c.u64ExpectSector, u64Sector) << c.u64Sector;
        EXPECT_EQ(c.u64ExpectCount, u64Count) << c.u64Sector;
    }

    ASSERT_EQ(0, engine.ScanDevice(nullptr));
    std::map<std::string, _FILE_NODE_> mapRoot = Children(engine, nullptr, 0);
    ASSERT_EQ(1u, mapRoot.size()) << "records 0-11 and files in $Extend make no node";
    EXPECT_EQ(1u, engine.GetLostFileCount()) << "nor does anything deeper below $Extend";
    ASSERT_EQ(1u, mapRoot.count("kept.txt"));
    EXPECT_EQ(vecKept, Save(engine, mapRoot["kept.txt"], dir.File("kept.txt")));
}

TEST(FastNtfsSyntheticTest, WithoutAnNtfsBootSectorThereIsNoVolume) {
    CScopedAppHome home;
    UseFreshScanFolder();
    CTempDir dir;
    const std::string strImage = dir.File("zeros.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 1 << 20));
    std::wstring strPath = Path2Unicode(strImage.c_str());
    CFastNtfsRecovery none;
    EXPECT_NE(0, none.Init(&strPath[0], L'F'));
    EXPECT_EQ(0, none.ScanDevice(nullptr));
    EXPECT_EQ(0u, none.GetLostFileCount());
    EXPECT_NE(0, none.BuildBitMapInfo());
    EXPECT_EQ(0u, SumFreeSectors(none));
}
