// File data of deep FAT nodes: recovery cluster by cluster, empty files, the cluster-size limit,
// stops, previews to the scan-log folder or into a buffer, and the health test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device/disk_reader.h"
#include "engine/log_file_manager.h"
#include "fat/fat_file_data.h"
#include "fat/professional_fat_recovery.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "util/app_folder.h"
#include "util/text.h"

namespace {

std::string ReadAll(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

struct Progress {
    std::vector<int> vProgress;
    std::vector<int> vErrors;
    std::wstring wstrLastName;
    int nStopAt = -1;  // answer -9527 once this progress is reached
};
int OnRecovery(void* pParam, int nProgress, int nPercent, int nError, wchar_t* pName) {
    Progress* p = static_cast<Progress*>(pParam);
    EXPECT_EQ(100, nPercent);
    p->vProgress.push_back(nProgress);
    p->vErrors.push_back(nError);
    p->wstrLastName = pName != nullptr ? pName : L"";
    return p->nStopAt >= 0 && nProgress >= p->nStopAt ? KR_STOPPED_BY_USER : 0;
}
int OnPreview(void* pParam, int nProgress, int /*nRet*/) {
    static_cast<Progress*>(pParam)->vProgress.push_back(nProgress);
    return 0;
}

// Data area at sector 100 of a small image, 8 sectors (4096 bytes) per cluster.
class FatFileDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        CLogFileManager::GetInstance().Init();
        m_strImage = m_dir.File("disk.img");
        ASSERT_TRUE(MakeZeroImage(m_strImage, 4096ll * 512));
        m_strData.resize(5000);
        for (size_t i = 0; i < m_strData.size(); ++i) m_strData[i] = static_cast<char>((i * 131 + 7) & 0xFF);
        const int hFile = open(m_strImage.c_str(), O_WRONLY);
        // Cluster 5 starts at 100 + 3 x 8 = sector 124.
        ASSERT_EQ(5000, pwrite(hFile, m_strData.data(), 5000, 124 * 512));
        close(hFile);
        std::wstring wstrPath = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(0, m_engine.Init(&wstrPath[0], L'C'));
        m_engine.InitCallBack(nullptr, OnRecovery, &m_progress, 90);
    }
    _FILE_NODE_ Node(const char* szName, uint64_t u64Size) const {
        _FILE_NODE_ node;
        memset(&node, 0, sizeof(node));
        node.nSourceType = FILE_SOURCE_DEEP_FAT;
        node.nDirIndex = 5;
        node.nClusterSize = 4096;
        node.u64FileSize = u64Size;
        node.u64DataStartSector = 90;
        node.u64PartitionStartSector = 10;
        strncpy(node.szFileName, szName, sizeof(node.szFileName) - 1);
        return node;
    }
    int Save(_FILE_NODE_ node, const std::string& strTarget) {
        std::wstring wstrTarget = Path2Unicode(strTarget.c_str());
        return m_engine.SaveFileData(&node, &wstrTarget[0], 0);
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage;
    std::string m_strData;
    Progress m_progress;
    CProfessionalFatRecovery m_engine;
};

TEST_F(FatFileDataTest, FileIsReadFromConsecutiveClustersAndCutToItsSize) {
    const std::string strOut = m_dir.File("out.bin");
    ASSERT_TRUE(WriteWholeFile(strOut, std::string(9000, 'x').data(), 9000));  // an older file
    ASSERT_EQ(0, Save(Node("data.bin", 5000), strOut));
    EXPECT_EQ(std::string(9000, 'x'), ReadAll(strOut)) << "a file already there is never overwritten";
    EXPECT_EQ(m_strData, ReadAll(m_dir.File("out(1).bin")));
    EXPECT_EQ(Path2Unicode(m_dir.File("out(1).bin").c_str()), m_progress.wstrLastName) << "the name used is told";
    EXPECT_EQ((std::vector<int>{81, 100}), m_progress.vProgress) << "4096 then 904 bytes";
}

// The file is sectors 124..133 (a whole cluster, then two sectors of the next). A bad sector in
// it keeps what came before and names the sector; one in the slack after its end costs nothing.
TEST_F(FatFileDataTest, BadSectorEndsTheFileWhereItIs) {
    struct Case {
        unsigned long long u64Bad;
        int nResult;
        size_t nKept;
    };
    for (const Case& c : {Case{127, KR_ERROR_READ_FAULT, 3 * 512}, Case{133, KR_ERROR_READ_FAULT, 4096 + 512},
                          Case{124, KR_ERROR_READ_FAULT, 0}, Case{134, 0, 5000}}) {
        CScopedFailingSectors failing(m_strImage, {{c.u64Bad, 1}});
        const std::string strOut = m_dir.File("bad" + std::to_string(c.u64Bad) + ".bin");
        SetLastUnreadableSector(UINT64_MAX);
        EXPECT_EQ(c.nResult, Save(Node("data.bin", 5000), strOut)) << c.u64Bad;
        EXPECT_EQ(m_strData.substr(0, c.nKept), ReadAll(strOut)) << c.u64Bad;
        EXPECT_EQ(c.nResult == 0 ? UINT64_MAX : c.u64Bad, GetLastUnreadableSector()) << c.u64Bad;
    }
}

TEST_F(FatFileDataTest, EmptyFileIsCreatedAndReportedDone) {
    const std::string strOut = m_dir.File("empty.txt");
    ASSERT_EQ(0, Save(Node("empty.txt", 0), strOut));
    struct stat st;
    ASSERT_EQ(0, stat(strOut.c_str(), &st));
    EXPECT_EQ(0, st.st_size);
    EXPECT_EQ((std::vector<int>{100}), m_progress.vProgress);
}

TEST_F(FatFileDataTest, RefusesHugeClustersAndStopsWhenAsked) {
    _FILE_NODE_ node = Node("big.bin", 5000);
    node.nClusterSize = FAT_MAX_READ_CLUSTER_BYTES;
    EXPECT_EQ(FAT_ERROR_CLUSTER_TOO_LARGE, Save(node, m_dir.File("big.bin")));
    unsigned char abBuf[64];
    int nLen = sizeof(abBuf);
    EXPECT_EQ(FAT_ERROR_CLUSTER_TOO_LARGE, m_engine.PreView(&node, nullptr, abBuf, nLen, nullptr, nullptr));

    m_progress = Progress();
    m_progress.nStopAt = 50;
    EXPECT_EQ(KR_STOPPED_BY_USER, Save(Node("data.bin", 5000), m_dir.File("stopped.bin")));
    EXPECT_EQ(4096u, ReadAll(m_dir.File("stopped.bin")).size()) << "the part written stays";

    // A file running past the end of the device ends with the read error, reported once more.
    m_progress = Progress();
    _FILE_NODE_ past = Node("past.bin", 5000);
    past.nDirIndex = 600;
    EXPECT_EQ(KR_ERROR_READ_FAULT, Save(past, m_dir.File("past.bin")));
    ASSERT_FALSE(m_progress.vErrors.empty());
    EXPECT_EQ(KR_ERROR_READ_FAULT, m_progress.vErrors.back());
    EXPECT_EQ(KR_ERROR_INVALID_PARAMETER, m_engine.SaveFileData(nullptr, nullptr, 0));
}

TEST_F(FatFileDataTest, PicturesPreviewToAFreshFileOthersIntoTheBuffer) {
    rsb_createAppFolders();
    const std::string strTmp = rsb_getScanLogFolder() + "tmp.jpg";
    const std::string strVictim = m_dir.File("victim");
    ASSERT_TRUE(WriteWholeFile(strVictim, "keep", 4));
    ASSERT_EQ(0, symlink(strVictim.c_str(), strTmp.c_str()));

    _FILE_NODE_ photo = Node("photo.JPG", 5000);
    wchar_t wszPath[256] = {};
    unsigned char abBuf[100];
    int nLen = sizeof(abBuf);
    Progress preview;
    ASSERT_EQ(0, m_engine.PreView(&photo, wszPath, abBuf, nLen, OnPreview, &preview));
    EXPECT_EQ(strTmp, Unicode2Path(wszPath));
    EXPECT_EQ(0, nLen);
    EXPECT_EQ(m_strData, ReadAll(strTmp));
    EXPECT_EQ("keep", ReadAll(strVictim)) << "the planted link is replaced, not followed";
    EXPECT_EQ(100, preview.vProgress.back());

    _FILE_NODE_ clip = Node("clip.mp4", 5000);
    nLen = sizeof(abBuf);
    ASSERT_EQ(0, m_engine.PreView(&clip, wszPath, abBuf, nLen, nullptr, nullptr));
    ASSERT_EQ(100, nLen);
    EXPECT_EQ(0, memcmp(abBuf, m_strData.data(), 100));
}

TEST_F(FatFileDataTest, HealthFollowsTheExtension) {
    _FILE_NODE_ node = Node("x.png", 5000);
    EXPECT_EQ(0, m_engine.IsFileDataHealth(&node, 8)) << "no PNG head at cluster 5";
    node = Node("notes", 5000);
    EXPECT_EQ(1, m_engine.IsFileDataHealth(&node, 8)) << "nothing to check without an extension";
    node = Node("x.txt", 5000);
    EXPECT_EQ(1, m_engine.IsFileDataHealth(&node, 8)) << "no signature for that extension";
    node = Node("x.png", 5000);
    node.nDirIndex = 100000;
    EXPECT_EQ(1, m_engine.IsFileDataHealth(&node, 8)) << "unreadable counts as healthy";
}

}  // namespace
