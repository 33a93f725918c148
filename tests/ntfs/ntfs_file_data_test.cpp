#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "device/disk_reader.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/ntfs_records.h"
#include "fixtures/ntfs_synthetic_volume.h"
#include "fixtures/temp_dir.h"
#include "ntfs/professional_ntfs_recovery.h"
#include "util/app_folder.h"
#include "util/path.h"
#include "util/text.h"

namespace {
std::vector<uint8_t> ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CallBackLog {
    std::vector<int> vecProgress;
    std::vector<int> vecErrors;
    std::vector<std::wstring> vecNames;
    int nAnswer = 0;
    int nAnswerAfter = 0;  // answer nAnswer from this call on
};

int RecoveryCallBack(void* pParam, int nProgress, int, int nError, wchar_t* pName) {
    CallBackLog* pLog = static_cast<CallBackLog*>(pParam);
    pLog->vecProgress.push_back(nProgress);
    pLog->vecErrors.push_back(nError);
    pLog->vecNames.push_back(pName != nullptr ? pName : L"");
    return static_cast<int>(pLog->vecProgress.size()) > pLog->nAnswerAfter ? pLog->nAnswer : 0;
}

int PreviewCallBack(void* pParam, int nProgress, int nResult) {
    CallBackLog* pLog = static_cast<CallBackLog*>(pParam);
    pLog->vecProgress.push_back(nProgress);
    pLog->vecErrors.push_back(nResult);
    return 0;
}

class FileDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strImage = m_dir.File("volume.img");
        ASSERT_TRUE(m_volume.Write(m_strImage));
        std::wstring strPath = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(0, m_engine.Init(&strPath[0], L'E'));
        std::wstring strStore = L"Pro_Ntfs_data";
        ASSERT_EQ(0, m_engine.InitProfessionalScan(&strStore[0]));
        SweepNtfsRecords(m_strImage, m_engine);
        m_engine.ParseProfessionalRecordVec();
        m_engine.InitCallBack(nullptr, &RecoveryCallBack, &m_log, 90);
        std::vector<_FILE_NODE_> vecRoot;
        ASSERT_EQ(0, m_engine.GetChildrenFileNode(nullptr, 0, vecRoot));
        for (const _FILE_NODE_& node : vecRoot) m_mapRoot[node.szFileName] = node;
        ASSERT_EQ(0, mkdir(m_dir.File("out").c_str(), 0755));
    }

    // Sweeps the image again into a fresh store and returns the root folder of that name.
    _FILE_NODE_ RescanForRootFolder(const wchar_t* szStore, const std::string& strFolder) {
        std::wstring strStore = szStore;
        EXPECT_EQ(0, m_engine.InitProfessionalScan(&strStore[0]));
        SweepNtfsRecords(m_strImage, m_engine);
        m_engine.ParseProfessionalRecordVec();
        std::vector<_FILE_NODE_> vecRoot;
        EXPECT_EQ(0, m_engine.GetChildrenFileNode(nullptr, 0, vecRoot));
        _FILE_NODE_ folder = {};
        for (const _FILE_NODE_& node : vecRoot)
            if (node.szFileName == strFolder) folder = node;
        return folder;
    }

    std::vector<uint8_t> Save(_FILE_NODE_& node, const std::string& strName) {
        std::wstring strTarget = Path2Unicode(m_dir.File("out/" + strName).c_str());
        EXPECT_EQ(0, m_engine.SaveFileData(&node, &strTarget[0], 0));
        return ReadFile(m_dir.File("out/" + strName));
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage;
    CSyntheticNtfsVolume m_volume;
    CProfessionalNtfsRecovery m_engine;
    CallBackLog m_log;
    std::map<std::string, _FILE_NODE_> m_mapRoot;
};
}  // namespace

TEST_F(FileDataTest, DeletedFilesComeBackByteIdentical) {
    EXPECT_EQ(m_volume.m_oneRun.vecContent, Save(m_mapRoot["one.bin"], "one.bin"));
    EXPECT_EQ(m_volume.m_longName.vecContent, Save(m_mapRoot["Long name.txt"], "long.txt"));
    std::vector<_FILE_NODE_> vecDocs;
    ASSERT_EQ(0, m_engine.GetChildrenFileNode(&m_mapRoot["Docs"], 1, vecDocs));
    ASSERT_EQ(2u, vecDocs.size());
    for (_FILE_NODE_& node : vecDocs) {
        const std::vector<uint8_t>& vecWant = std::string(node.szFileName) == "a.txt" ? m_volume.m_resident.vecContent
                                                                                      : m_volume.m_fragmented.vecContent;
        EXPECT_EQ(vecWant, Save(node, node.szFileName)) << node.szFileName;
    }
}

// A bad sector inside a file's runs: what came before it is written, the file fails with the
// read fault and the sector is named.
TEST_F(FileDataTest, BadSectorEndsTheFileWhereItIs) {
    const std::vector<uint8_t>& vecContent = m_volume.m_oneRun.vecContent;
    const std::vector<uint8_t> vecImage = ReadFile(m_strImage);
    auto it = std::search(vecImage.begin(), vecImage.end(), vecContent.begin(), vecContent.begin() + 512);
    ASSERT_NE(it, vecImage.end());
    const unsigned long long u64Bad = static_cast<unsigned long long>(it - vecImage.begin()) / 512 + 3;
    CScopedFailingSectors failing(m_strImage, {{u64Bad, 1}});
    SetLastUnreadableSector(UINT64_MAX);
    std::wstring strTarget = Path2Unicode(m_dir.File("out/bad.bin").c_str());
    EXPECT_EQ(KR_ERROR_READ_FAULT, m_engine.SaveFileData(&m_mapRoot["one.bin"], &strTarget[0], 0));
    EXPECT_EQ(std::vector<uint8_t>(vecContent.begin(), vecContent.begin() + 3 * 512), ReadFile(m_dir.File("out/bad.bin")));
    EXPECT_EQ(u64Bad, GetLastUnreadableSector());
}

TEST_F(FileDataTest, ProgressOfPiecesEmptyFilesAndFailures) {
    Save(m_mapRoot["one.bin"], "one.bin");
    EXPECT_EQ((std::vector<int>{100}), m_log.vecProgress);  // 10,000 bytes: one piece

    m_log = CallBackLog();
    EXPECT_TRUE(Save(m_mapRoot["empty.txt"], "empty.txt").empty());
    struct stat st;
    EXPECT_EQ(0, stat(m_dir.File("out/empty.txt").c_str(), &st));
    EXPECT_EQ((std::vector<int>{100}), m_log.vecProgress);

    // 100,000 bytes in 25 clusters of 4096: pieces of 65,536 and 36,864 bytes.
    std::vector<uint8_t> vecBig = MakeTestBytes(100000, 9);
    ASSERT_TRUE(WriteImageAt(m_strImage, (CSyntheticNtfsVolume::kVolumeStart + 500 * 8) * 512, vecBig));
    std::vector<uint8_t> vecRecord =
        CNtfsRecordBuilder(35, 0).FileName(5, u"big.bin").NonResidentData({{500, 25}}, 100000, 4096).Build();
    ASSERT_TRUE(WriteImageAt(m_strImage, CSyntheticNtfsVolume::RecordSector(35) * 512, vecRecord));
    _FILE_NODE_ node = m_mapRoot["one.bin"];
    node.u64RecordSector = CSyntheticNtfsVolume::RecordSector(35);
    node.u64FileSize = 100000;
    m_log = CallBackLog();
    EXPECT_EQ(vecBig, Save(node, "big.bin"));
    EXPECT_EQ((std::vector<int>{65, 100}), m_log.vecProgress);

    // A record that is gone: the failure is reported once with progress 100.
    m_log = CallBackLog();
    node.u64RecordSector = 3;
    std::wstring strTarget = Path2Unicode(m_dir.File("out/gone.bin").c_str());
    EXPECT_EQ(-1, m_engine.SaveFileData(&node, &strTarget[0], 0));
    EXPECT_TRUE(m_log.vecProgress.empty());  // negative record codes are not errno values
    node.u64RecordSector = CSyntheticNtfsVolume::RecordSector(35);
    // A destination that cannot be made (a plain file in place of its folder) is reported.
    std::wstring strBad = Path2Unicode(m_dir.File("out/one.bin/x.bin").c_str());
    EXPECT_EQ(ENOTDIR, m_engine.SaveFileData(&node, &strBad[0], 0));
    ASSERT_EQ(1u, m_log.vecErrors.size());
    EXPECT_EQ(ENOTDIR, m_log.vecErrors[0]);
    EXPECT_EQ(100, m_log.vecProgress[0]);
}

TEST_F(FileDataTest, FolderSaveIsBreadthFirstWithEnterableFolders) {
    // Docs gets a sub-folder holding one file (record 36 under 37 under Docs).
    ASSERT_TRUE(WriteImageAt(m_strImage, CSyntheticNtfsVolume::RecordSector(37) * 512,
                             CNtfsRecordBuilder(37, 3).FileName(20, u"Sub").Build()));
    std::vector<uint8_t> vecDeep = MakeTestBytes(33, 11);
    std::vector<uint8_t> vecRecord = CNtfsRecordBuilder(36, 0).FileName(37, u"deep.txt").ResidentData(vecDeep).Build();
    ASSERT_TRUE(WriteImageAt(m_strImage, CSyntheticNtfsVolume::RecordSector(36) * 512, vecRecord));
    _FILE_NODE_ docs = RescanForRootFolder(L"Pro_Ntfs_tree", "Docs");
    ASSERT_EQ(20u, docs.nDirIndex);

    const std::string strRoot = m_dir.File("out");
    int nBase = 0;
    std::wstring strRootWide = Path2Unicode(strRoot.c_str());
    GetPathDirIndex(strRootWide.c_str(), nBase);
    std::wstring strTarget = Path2Unicode((strRoot + "/Docs").c_str());
    // A link planted where the tree's sub-folder goes is passed by, never written through. No
    // job's writer is active, so each file's writer opens on its folder: the walk must go on
    // under the folder actually made.
    const std::string strOutside = m_dir.File("outside");
    ASSERT_EQ(0, mkdir(strOutside.c_str(), 0755));
    ASSERT_EQ(0, mkdir((strRoot + "/Docs").c_str(), 0755));
    ASSERT_EQ(0, symlink(strOutside.c_str(), (strRoot + "/Docs/Sub").c_str()));
    m_log = CallBackLog();
    ASSERT_EQ(0, m_engine.SaveFileData(&docs, &strTarget[0], nBase));

    EXPECT_EQ(m_volume.m_resident.vecContent, ReadFile(strRoot + "/Docs/a.txt"));
    EXPECT_EQ(m_volume.m_fragmented.vecContent, ReadFile(strRoot + "/Docs/frag.bin"));
    EXPECT_EQ(vecDeep, ReadFile(strRoot + "/Docs/Sub(1)/deep.txt"));
    EXPECT_NE(0, access((strOutside + "/deep.txt").c_str(), F_OK));
    struct stat st;
    ASSERT_EQ(0, lstat((strRoot + "/Docs/Sub(1)").c_str(), &st));
    EXPECT_EQ(S_IFDIR | 0755u, st.st_mode);
    // Files of a folder, then what lies in its sub-folders, under the names used.
    ASSERT_FALSE(m_log.vecNames.empty());
    EXPECT_EQ(Path2Unicode((strRoot + "/Docs/Sub(1)/deep.txt").c_str()), m_log.vecNames.back());

    // Any non-zero answer during a folder save ends the whole save, not only the classic stop code.
    m_log = CallBackLog();
    m_log.nAnswer = 1;
    std::wstring strSecond = Path2Unicode((strRoot + "/Again").c_str());
    docs.szFileName[0] = 'D';
    EXPECT_EQ(1, m_engine.SaveFileData(&docs, &strSecond[0], nBase));
    EXPECT_EQ(1u, m_log.vecProgress.size());
    EXPECT_NE(0, access((strRoot + "/Again/Sub/deep.txt").c_str(), F_OK));
}

TEST_F(FileDataTest, RunsEndingBeforeTheSizeFailTheFileAndItsFolder) {
    // Docs gets "cut.bin": 100,000 bytes stated, two clusters of runs.
    std::vector<uint8_t> vecRecord =
        CNtfsRecordBuilder(36, 0).FileName(20, u"cut.bin").NonResidentData({{500, 2}}, 100000, 4096).Build();
    ASSERT_TRUE(WriteImageAt(m_strImage, CSyntheticNtfsVolume::RecordSector(36) * 512, vecRecord));
    _FILE_NODE_ docs = RescanForRootFolder(L"Pro_Ntfs_cut", "Docs");
    std::vector<_FILE_NODE_> vecDocs;
    ASSERT_EQ(0, m_engine.GetChildrenFileNode(&docs, 1, vecDocs));
    _FILE_NODE_* pCut = nullptr;
    for (_FILE_NODE_& node : vecDocs)
        if (std::string(node.szFileName) == "cut.bin") pCut = &node;
    ASSERT_NE(nullptr, pCut);

    std::wstring strTarget = Path2Unicode(m_dir.File("out/cut.bin").c_str());
    m_log = CallBackLog();
    EXPECT_EQ(KR_ERROR_DATA_MISSING, m_engine.SaveFileData(pCut, &strTarget[0], 0));
    ASSERT_FALSE(m_log.vecErrors.empty());
    EXPECT_EQ(KR_ERROR_DATA_MISSING, m_log.vecErrors.back());

    // The folder's other files are still written, and the folder reports the failure.
    const std::string strRoot = m_dir.File("out");
    int nBase = 0;
    std::wstring strRootWide = Path2Unicode(strRoot.c_str());
    GetPathDirIndex(strRootWide.c_str(), nBase);
    std::wstring strFolder = Path2Unicode((strRoot + "/Docs").c_str());
    EXPECT_EQ(KR_ERROR_DATA_MISSING, m_engine.SaveFileData(&docs, &strFolder[0], nBase));
    EXPECT_EQ(m_volume.m_resident.vecContent, ReadFile(strRoot + "/Docs/a.txt"));
    EXPECT_EQ(m_volume.m_fragmented.vecContent, ReadFile(strRoot + "/Docs/frag.bin"));
}

TEST_F(FileDataTest, PreviewsGoToMemoryOrToASafeTemporaryPicture) {
    unsigned char szBuf[4096];
    int nLen = sizeof(szBuf);
    wchar_t wszPreview[NTFS_PREVIEW_PATH_CHARS] = {};
    CallBackLog log;
    ASSERT_EQ(0, m_engine.PreView(&m_mapRoot["one.bin"], wszPreview, szBuf, nLen, &PreviewCallBack, &log));
    ASSERT_EQ(4096, nLen);
    EXPECT_TRUE(std::equal(szBuf, szBuf + 4096, m_volume.m_oneRun.vecContent.begin()));
    EXPECT_EQ(100, log.vecProgress.back());

    _FILE_NODE_ picture = m_mapRoot["one.bin"];
    strcpy(picture.szFileName, "HOLIDAY.JPG");
    const std::string strTemp = rsb_getScanLogFolder() + "tmp.jpg";
    ASSERT_EQ(0, rsb_makeDirs(rsb_getScanLogFolder(), 0755));
    // A link planted under the preview name is replaced, never followed.
    const std::string strVictim = m_dir.File("victim");
    ASSERT_TRUE(WriteWholeFile(strVictim, "keep", 4));
    ASSERT_EQ(0, symlink(strVictim.c_str(), strTemp.c_str()));
    nLen = sizeof(szBuf);
    ASSERT_EQ(0, m_engine.PreView(&picture, wszPreview, szBuf, nLen, nullptr, nullptr));
    EXPECT_EQ(0, nLen);
    EXPECT_EQ(Path2Unicode(strTemp.c_str()), std::wstring(wszPreview));
    EXPECT_EQ(m_volume.m_oneRun.vecContent, ReadFile(strTemp));
    EXPECT_EQ((std::vector<uint8_t>{'k', 'e', 'e', 'p'}), ReadFile(strVictim));

    // A failed preview leaves no temporary file behind.
    picture.u64RecordSector = 3;
    nLen = sizeof(szBuf);
    EXPECT_EQ(-1, m_engine.PreView(&picture, wszPreview, szBuf, nLen, nullptr, nullptr));
    EXPECT_NE(0, access(strTemp.c_str(), F_OK));
    nLen = sizeof(szBuf);
    EXPECT_EQ(87, m_engine.PreView(nullptr, wszPreview, szBuf, nLen, nullptr, nullptr));
}

TEST_F(FileDataTest, HealthComparesTheFirstBytesWithTheExtension) {
    _FILE_NODE_ node = m_mapRoot["one.bin"];
    EXPECT_EQ(1, m_engine.IsFileDataHealth(&node, 0));  // no known type for .bin
    strcpy(node.szFileName, "photo.jpg");
    EXPECT_EQ(0, m_engine.IsFileDataHealth(&node, 0));  // random bytes are no JPEG
    strcpy(node.szFileName, "noextension");
    EXPECT_EQ(1, m_engine.IsFileDataHealth(&node, 0));
    _FILE_NODE_ empty = m_mapRoot["empty.txt"];
    EXPECT_EQ(0, m_engine.IsFileDataHealth(&empty, 0));  // resident value of no bytes
}
