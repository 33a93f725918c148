#include "engine/log_file_manager.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fixtures/debug_capture.h"
#include "fixtures/disk_list.h"
#include "fixtures/temp_dir.h"
#include "util/app_folder.h"
#include "util/le.h"

namespace {

unsigned long long g_u64FakeFingerprint = 0;
std::string g_strLastProbedPath;

unsigned long long FakeFingerprint(const char* szPath) {
    g_strLastProbedPath = szPath;
    return g_u64FakeFingerprint;
}

std::vector<unsigned char> ReadBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& strPath) {
    struct stat st;
    return lstat(strPath.c_str(), &st) == 0;
}

_LOG_FILE_INFO_ MakeRecord(int nDiskNo, unsigned long long u64Start, unsigned long long u64Count,
                           unsigned long long u64FreeSpace, const std::string& strDir) {
    _LOG_FILE_INFO_ info;
    memset(&info, 0, sizeof(info));
    info.nDiskNo = nDiskNo;
    info.u64StartSector = u64Start;
    info.u64SectorCount = u64Count;
    info.u64FreeSpace = u64FreeSpace;
    snprintf(info.szLogDirPath, sizeof(info.szLogDirPath), "%s", strDir.c_str());
    return info;
}

std::vector<unsigned char> CatalogueBytes(unsigned long long u64Counter, const std::vector<_LOG_FILE_INFO_>& vecInfo) {
    std::vector<unsigned char> vecBytes(8 + LOG_FILE_INFO_SIZE * vecInfo.size());
    WriteLe64(vecBytes.data(), u64Counter);
    for (size_t i = 0; i < vecInfo.size(); ++i) EncodeLogFileInfo(vecInfo[i], &vecBytes[8 + LOG_FILE_INFO_SIZE * i]);
    return vecBytes;
}

class LogFileManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rsb_createAppFolders(), 0);
        m_strBase = rsb_getScanLogFolder();
        g_u64FakeFingerprint = 5000000;
        Manager().SetFingerprintProbe(&FakeFingerprint);
        Manager().Init();
    }
    void TearDown() override {
        Manager().SetFingerprintProbe(nullptr);
        Manager().SetReuseOnly(false);
    }

    static CLogFileManager& Manager() { return CLogFileManager::GetInstance(); }
    std::string DirPath() const {
        char szDir[LOG_FILE_PATH_SIZE] = "";
        Manager().GetLogFileDirPath(szDir);
        return szDir;
    }
    // Stands in for a store: the numbered folder with one file in it.
    void MakeScanFolder(const std::string& strDir) const {
        ASSERT_EQ(rsb_makeDirs(strDir, 0755), 0);
        ASSERT_TRUE(WriteWholeFile(strDir + "Pro_Fat_1", "x", 1));
    }
    void WriteCatalogue(const std::string& strName, unsigned long long u64Counter,
                        const std::vector<_LOG_FILE_INFO_>& vecInfo) const {
        std::vector<unsigned char> vecBytes = CatalogueBytes(u64Counter, vecInfo);
        ASSERT_TRUE(WriteWholeFile(m_strBase + strName, vecBytes.data(), vecBytes.size()));
    }
    int SaveDeviceScan(const std::string& strDir, unsigned long long u64Found) const {
        return Manager().SaveLogFileInfo("/dev/sdz", 2, 0, 1000, 10, 20, 5, 300, u64Found, strDir.c_str(), "");
    }

    CScopedAppHome m_home;
    std::string m_strBase;
};

TEST_F(LogFileManagerTest, CatalogueFileHasTheDocumentedLayout) {
    Manager().AddDirIndex();
    const std::string strDir = m_strBase + "1/";
    ASSERT_EQ(Manager().SaveLogFileInfo("/dev/sdz", 2, 100, 1000, 10, 20, 5, 300, 7, strDir.c_str(), ""), 0);

    std::vector<unsigned char> vecBytes = ReadBytes(m_strBase + "config");
    ASSERT_EQ(vecBytes.size(), 8u + 592u);
    const unsigned char* p = vecBytes.data();
    EXPECT_EQ(ReadLe64(p), 1u);
    EXPECT_EQ(ReadLe32(p + 8), 2u);
    EXPECT_EQ(ReadLe32(p + 8 + 4), 0u);
    const uint64_t aExpected[] = {100, 1000, 10, 20, 5, 300, 7, 5000000, 0};
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(ReadLe64(p + 8 + 8 + 8 * i), aExpected[i]) << "field " << i;
    EXPECT_EQ(p[8 + 80], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 8 + 336)), strDir);

    struct stat st;
    ASSERT_EQ(stat((m_strBase + "config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0022, 0u) << "the catalogue must not be writable by others";
    EXPECT_FALSE(Exists(m_strBase + "config.tmp"));

    // A restart reads back exactly what was written.
    ASSERT_EQ(Manager().Init(), 0);
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_EQ(Manager().GetDirIndex(), 1u);
    EXPECT_EQ(memcmp(&Manager().GetLogFileInfos()[0], p + 8, 592), 0);
}

TEST_F(LogFileManagerTest, SavedScanResumesOnlyWhileTheFingerprintMatches) {
    Manager().AddDirIndex();
    const std::string strDir = m_strBase + "1/";
    MakeScanFolder(strDir);
    ASSERT_EQ(SaveDeviceScan(strDir, 7), 0);
    Manager().AddDirIndex();  // another scan started meanwhile
    ASSERT_EQ(Manager().SaveLogConfigFile(), 0);
    ASSERT_EQ(Manager().Init(), 0);

    _LOG_FILE_INFO_ info;
    memset(&info, 0, sizeof(info));
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 2, 0, 999, &info), 0) << "another area";
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 3, 0, 1000, &info), 0) << "another disk";
    ASSERT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 2, 0, 1000, &info), 1);
    EXPECT_EQ(info.u64RunStartSector, 10u);
    EXPECT_EQ(info.u64RunOffset, 5u);
    EXPECT_EQ(info.u64FindFileCount, 7u);
    EXPECT_EQ(DirPath(), strDir);

    // A failed look-up ends continuing the saved scan.
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 9, 0, 1000, nullptr), 0);
    EXPECT_EQ(DirPath(), m_strBase + "2/");

    // Reuse only: the saved scan is handed out as finished and its record stays as it was.
    Manager().SetReuseOnly(true);
    ASSERT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 2, 0, 1000, &info), 1);
    EXPECT_EQ(info.u64RunSectorCount, 0u);
    EXPECT_EQ(info.u64RunOffset, 0u);
    ASSERT_EQ(SaveDeviceScan(strDir, 99), 0);
    EXPECT_EQ(Manager().GetLogFileInfos()[0].u64FindFileCount, 7u);
    Manager().SetReuseOnly(false);

    // The source changed: not resumed, but kept until a new scan of the area supersedes it.
    g_u64FakeFingerprint = 5000001;
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 2, 0, 1000, &info), 0);
    EXPECT_EQ(DirPath(), m_strBase + "2/");
    EXPECT_TRUE(Exists(strDir));
    MakeScanFolder(m_strBase + "2/");
    ASSERT_EQ(SaveDeviceScan(m_strBase + "2/", 1), 0);
    EXPECT_FALSE(Exists(strDir)) << "the superseded scan's folder is removed";
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 2, 0, 1000, &info), 1);
}

TEST_F(LogFileManagerTest, SavingUpdatesOrReplacesTheRecordOfAnArea) {
    const std::string strDir1 = m_strBase + "1/";
    MakeScanFolder(strDir1);
    ASSERT_EQ(SaveDeviceScan(strDir1, 7), 0);
    ASSERT_EQ(SaveDeviceScan(strDir1, 9), 0);
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_EQ(Manager().GetLogFileInfos()[0].u64FindFileCount, 9u);

    // The fingerprint moved while this very scan wrote its stores: they must survive.
    g_u64FakeFingerprint = 4000000;
    ASSERT_EQ(SaveDeviceScan(strDir1, 11), 0);
    EXPECT_TRUE(Exists(strDir1 + "Pro_Fat_1"));
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_EQ(Manager().GetLogFileInfos()[0].u64FreeSpace, 4000000u);

    // A newer scan of the same area in another folder supersedes the old one entirely.
    const std::string strDir2 = m_strBase + "2/";
    MakeScanFolder(strDir2);
    ASSERT_EQ(SaveDeviceScan(strDir2, 3), 0);
    EXPECT_FALSE(Exists(strDir1));
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_STREQ(Manager().GetLogFileInfos()[0].szLogDirPath, strDir2.c_str());

    // Image scans are never matched: each appends, without a fingerprint.
    ASSERT_EQ(Manager().SaveLogFileInfo("/dev/sdz", 128, 0, 50, 0, 0, 0, 50, 1, strDir2.c_str(), "/img/a.dd"), 0);
    ASSERT_EQ(Manager().SaveLogFileInfo("/dev/sdz", 128, 0, 50, 0, 0, 0, 50, 1, strDir2.c_str(), "/img/a.dd"), 0);
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 3u);
    EXPECT_EQ(Manager().GetLogFileInfos()[2].u64FreeSpace, 0u);
    EXPECT_STREQ(Manager().GetLogFileInfos()[2].szImagePath, "/img/a.dd");
}

TEST_F(LogFileManagerTest, FolderNumbersAdvanceAndClearLeftovers) {
    const std::string strDir4 = m_strBase + "4/";
    WriteCatalogue("config", 3, {MakeRecord(1, 0, 10, 5000000, strDir4)});
    MakeScanFolder(strDir4);
    ASSERT_EQ(Manager().Init(), 0);
    EXPECT_EQ(DirPath(), m_strBase + "3/");

    Manager().AddDirIndex();
    EXPECT_EQ(DirPath(), strDir4);
    EXPECT_FALSE(Exists(strDir4));
    EXPECT_TRUE(Manager().GetLogFileInfos().empty());
    ASSERT_EQ(Manager().SaveLogConfigFile(), 0);
    EXPECT_EQ(ReadLe64(ReadBytes(m_strBase + "config").data()), 4u);

    Manager().ReduceDirIndex();
    EXPECT_EQ(DirPath(), m_strBase + "3/");
    for (int i = 0; i < 5; ++i) Manager().ReduceDirIndex();
    EXPECT_EQ(Manager().GetDirIndex(), 0u) << "the counter does not wrap below 0";
}

TEST_F(LogFileManagerTest, InterruptedSaveIsCompletedAtStartUp) {
    ASSERT_EQ(unlink((m_strBase + "config").c_str()), 0);
    WriteCatalogue("config.tmp", 7, {MakeRecord(1, 0, 10, 5, m_strBase + "7/")});
    ASSERT_EQ(Manager().Init(), 0);
    EXPECT_EQ(Manager().GetDirIndex(), 7u);
    EXPECT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_TRUE(Exists(m_strBase + "config"));
    EXPECT_FALSE(Exists(m_strBase + "config.tmp"));

    // With "config" present the leftover is not adopted.
    WriteCatalogue("config.tmp", 9, {});
    ASSERT_EQ(Manager().Init(), 0);
    EXPECT_EQ(Manager().GetDirIndex(), 7u);
}

TEST_F(LogFileManagerTest, OddCatalogueFilesLoadSafely) {
    CTempDir outside;
    const std::string strConfig = m_strBase + "config";
    ASSERT_TRUE(WriteWholeFile(strConfig, "", 0));
    EXPECT_EQ(Manager().Init(), 87);
    ASSERT_TRUE(WriteWholeFile(strConfig, "12345", 5));
    EXPECT_EQ(Manager().Init(), 87);
    EXPECT_EQ(Manager().GetDirIndex(), 0u);

    // A trailing partial record is ignored; paths without a terminator are cut inside their field.
    std::vector<unsigned char> vecBytes = CatalogueBytes(2, {MakeRecord(1, 0, 10, 5, "")});
    memset(&vecBytes[8 + 80], 'A', 512);
    vecBytes.resize(vecBytes.size() + 100, 0xEE);
    ASSERT_TRUE(WriteWholeFile(strConfig, vecBytes.data(), vecBytes.size()));
    ASSERT_EQ(Manager().Init(), 0);
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_EQ(strlen(Manager().GetLogFileInfos()[0].szImagePath), 255u);
    EXPECT_EQ(strlen(Manager().GetLogFileInfos()[0].szLogDirPath), 255u);

    // A link in place of the catalogue is not read through; a FIFO does not hang start-up.
    std::vector<unsigned char> vecGood = CatalogueBytes(42, {});
    ASSERT_TRUE(WriteWholeFile(outside.File("cat"), vecGood.data(), vecGood.size()));
    ASSERT_EQ(unlink(strConfig.c_str()), 0);
    ASSERT_EQ(symlink(outside.File("cat").c_str(), strConfig.c_str()), 0);
    EXPECT_EQ(Manager().Init(), 87);
    EXPECT_EQ(Manager().GetDirIndex(), 0u);
    ASSERT_EQ(unlink(strConfig.c_str()), 0);
    ASSERT_EQ(mkfifo(strConfig.c_str(), 0600), 0);
    EXPECT_EQ(Manager().Init(), 87);
}

TEST_F(LogFileManagerTest, SaveReplacesTheCatalogueWholeOrNotAtAll) {
    CTempDir outside;
    const std::string strConfig = m_strBase + "config";
    const std::string strTmp = m_strBase + "config.tmp";
    for (int i = 0; i < 4; ++i) Manager().AddDirIndex();
    ASSERT_EQ(Manager().SaveLogConfigFile(), 0);
    const std::vector<unsigned char> vecOld = ReadBytes(strConfig);

    // A planted link at the temporary name is replaced, never written through.
    ASSERT_TRUE(WriteWholeFile(outside.File("victim"), "keep", 4));
    ASSERT_EQ(symlink(outside.File("victim").c_str(), strTmp.c_str()), 0);
    Manager().AddDirIndex();
    ASSERT_EQ(Manager().SaveLogConfigFile(), 0);
    EXPECT_EQ(ReadBytes(outside.File("victim")).size(), 4u);
    EXPECT_EQ(ReadLe64(ReadBytes(strConfig).data()), 5u);
    Manager().ReduceDirIndex();
    ASSERT_EQ(Manager().SaveLogConfigFile(), 0);
    ASSERT_EQ(ReadBytes(strConfig), vecOld);

    // The temporary file cannot be made: the error comes back and "config" is untouched.
    ASSERT_EQ(rsb_makeDirs(strTmp + "/sub", 0755), 0);
    Manager().AddDirIndex();
    EXPECT_NE(Manager().SaveLogConfigFile(), 0);
    EXPECT_EQ(ReadBytes(strConfig), vecOld);
    ASSERT_EQ(rmdir((strTmp + "/sub").c_str()), 0);
    ASSERT_EQ(rmdir(strTmp.c_str()), 0);

    // A write that stops part-way leaves the old catalogue and no partial file behind.
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Manager().SaveLogFileInfo("/dev/sdz", i, 0, 10, 0, 0, 0, 0, 0, "d/", ""), 0);
    const std::vector<unsigned char> vecBefore = ReadBytes(strConfig);
    Manager().AddDirIndex();
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*pOldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int nResult = Manager().SaveLogConfigFile();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, pOldHandler);
    EXPECT_EQ(nResult, EFBIG);
    EXPECT_EQ(ReadBytes(strConfig), vecBefore);
    EXPECT_FALSE(Exists(strTmp));
}

TEST_F(LogFileManagerTest, StoreNameIsTheSmallestMatchInByteOrder) {
    CDebugCapture capture;
    const std::string strDir = m_strBase + "1/";
    ASSERT_EQ(rsb_makeDirs(strDir, 0755), 0);
    // Created companions first and in descending order, so creation order never gives the answer.
    for (int i = 39; i >= 0; --i) {
        char szName[64];
        snprintf(szName, sizeof(szName), "Pro_Fat_%02d", i);
        for (const char* szSuffix : {"_Relation", "_DirInfo", ""})
            ASSERT_TRUE(WriteWholeFile(strDir + szName + szSuffix, "", 0));
    }
    // Bytes above 0x7F sort after ASCII; a signed comparison would pick this name.
    ASSERT_TRUE(WriteWholeFile(strDir + "Fast_\xE4", "", 0));
    ASSERT_TRUE(WriteWholeFile(strDir + "Fast_b", "", 0));
    ASSERT_TRUE(WriteWholeFile(strDir + "Fast_B", "", 0));

    char szName[LOG_FILE_PATH_SIZE] = "unchanged";
    EXPECT_EQ(Manager().GetLogFileNameByFileType(strDir.c_str(), "Pro_Fat_", szName), 0);
    EXPECT_STREQ(szName, "Pro_Fat_00");
    Manager().GetLogFileNameByFileType(strDir.c_str(), "Fast_", szName);
    EXPECT_STREQ(szName, "Fast_B");

    strcpy(szName, "unchanged");
    Manager().GetLogFileNameByFileType(strDir.c_str(), "File_Type_", szName);
    EXPECT_STREQ(szName, "unchanged");
    EXPECT_FALSE(capture.Contains("open dir failed\n"));
    Manager().GetLogFileNameByFileType((m_strBase + "none/").c_str(), "Fast_", szName);
    EXPECT_STREQ(szName, "unchanged");
    EXPECT_TRUE(capture.Contains("open dir failed\n"));
}

TEST_F(LogFileManagerTest, DeletionNeverFollowsSymbolicLinks) {
    CTempDir outside;
    ASSERT_EQ(rsb_makeDirs(outside.File("tree/sub"), 0755), 0);
    ASSERT_TRUE(WriteWholeFile(outside.File("tree/a.txt"), "a", 1));
    ASSERT_TRUE(WriteWholeFile(outside.File("tree/sub/b.txt"), "b", 1));

    const std::string strDir = m_strBase + "5/";
    MakeScanFolder(strDir + "nested/deeper/");
    ASSERT_EQ(symlink(outside.File("tree").c_str(), (strDir + "link_dir").c_str()), 0);
    ASSERT_EQ(symlink(outside.File("tree/a.txt").c_str(), (strDir + "nested/link_file").c_str()), 0);
    EXPECT_EQ(Manager().DeleteLogFileDir(strDir.c_str()), 0);
    EXPECT_FALSE(Exists(strDir));

    // A link standing in place of the scan folder itself.
    ASSERT_EQ(symlink(outside.File("tree").c_str(), (m_strBase + "6").c_str()), 0);
    EXPECT_EQ(Manager().DeleteLogFileDir((m_strBase + "6/").c_str()), 0);
    EXPECT_FALSE(Exists(m_strBase + "6"));

    EXPECT_TRUE(Exists(outside.File("tree/a.txt")));
    EXPECT_TRUE(Exists(outside.File("tree/sub/b.txt")));
}

TEST_F(LogFileManagerTest, OnlyOwnNumberedFoldersAreEverDeleted) {
    CTempDir outside;
    ASSERT_TRUE(WriteWholeFile(outside.File("precious"), "p", 1));
    const std::string strOutside = outside.Path() + "/";
    // A damaged catalogue naming folders that are not ours, for an area whose fingerprint changed.
    WriteCatalogue("config", 1,
                   {MakeRecord(2, 0, 1000, 1, strOutside), MakeRecord(3, 0, 1000, 5000000, strOutside)});
    ASSERT_EQ(Manager().Init(), 0);
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 2, 0, 1000, nullptr), 0);
    EXPECT_EQ(Manager().LoadRecoveryLogInfo("/dev/sdz", 3, 0, 1000, nullptr), 0) << "never resume outside";
    size_t nForgotten = 0;
    EXPECT_EQ(Manager().ForgetSource(outside.Path().c_str(), nForgotten), 0);

    for (const std::string& strPath : {m_strBase + "config", m_strBase, m_strBase + "../", m_strBase + "1/../"})
        Manager().DeleteLogFileDir(strPath.c_str());
    EXPECT_TRUE(Exists(outside.File("precious")));
    EXPECT_TRUE(Exists(m_strBase + "config"));
}

TEST_F(LogFileManagerTest, FingerprintAndPathLimits) {
    CScopedDiskList disks({"/images/card.img"});
    EXPECT_EQ(Manager().GetSourceFingerprint(nullptr, 0), 5000000u);
    EXPECT_EQ(g_strLastProbedPath, "/images/card.img");
    EXPECT_EQ(Manager().GetSourceFingerprint("", 7), 0u) << "no such disk";

    // A path that does not fit its field is refused, not cut into the name of another folder.
    const std::string strLong = m_strBase + std::string(300, '9') + "/";
    EXPECT_EQ(Manager().SaveLogFileInfo("/dev/sdz", 2, 0, 10, 0, 0, 0, 0, 0, strLong.c_str(), ""), ENAMETOOLONG);
    EXPECT_TRUE(Manager().GetLogFileInfos().empty());
    char szSmall[4];
    EXPECT_EQ(Manager().GetLogFileDirPath(szSmall, sizeof(szSmall)), ENAMETOOLONG);
    EXPECT_STREQ(szSmall, "");
}

TEST_F(LogFileManagerTest, EachSourceKeepsItsMostRecentScansUntilForgotten) {
    CTempDir sources;
    const std::string strCard = sources.File("card.img"), strOther = sources.File("other.img");
    ASSERT_TRUE(WriteWholeFile(strCard, "c", 1));
    ASSERT_TRUE(WriteWholeFile(strOther, "o", 1));
    ASSERT_EQ(symlink(strCard.c_str(), sources.File("link.img").c_str()), 0);
    auto save = [&](const std::string& strSource, unsigned long long u64Start, int nFolder) {
        const std::string strDir = m_strBase + std::to_string(nFolder) + "/";
        MakeScanFolder(strDir);
        ASSERT_EQ(Manager().SaveLogFileInfo(strSource.c_str(), 0, u64Start, 8, 0, 8, 8, 8, 1, strDir.c_str(), ""), 0);
    };
    save(strOther, 0, 1);
    // Six areas of the card, the first under another spelling of its path.
    save(sources.File("link.img"), 0, 2);
    for (int i = 1; i < 6; ++i) save(strCard, 8 * static_cast<unsigned long long>(i), 2 + i);
    save(strOther, 0, 8);  // the same area again: supersedes folder 1

    std::vector<std::string> vecLeft;
    for (const _LOG_FILE_INFO_& info : Manager().GetLogFileInfos()) vecLeft.push_back(info.szLogDirPath);
    const std::vector<std::string> vecExpected = {m_strBase + "4/", m_strBase + "5/", m_strBase + "6/",
                                                  m_strBase + "7/", m_strBase + "8/"};
    EXPECT_EQ(vecLeft, vecExpected);
    for (int nGone : {1, 2, 3}) EXPECT_FALSE(Exists(m_strBase + std::to_string(nGone))) << nGone;
    EXPECT_EQ(Manager().SourceOf(Manager().GetLogFileInfos()[0]), strCard);

    size_t nForgotten = 0;
    ASSERT_EQ(Manager().ForgetSource(sources.File("link.img").c_str(), nForgotten), 0);
    EXPECT_EQ(nForgotten, 4u);
    ASSERT_EQ(Manager().Init(), 0);
    ASSERT_EQ(Manager().GetLogFileInfos().size(), 1u);
    EXPECT_EQ(Manager().SourceOf(Manager().GetLogFileInfos()[0]), strOther);
    EXPECT_TRUE(Exists(m_strBase + "8/Pro_Fat_1"));
    for (int nGone : {4, 5, 6, 7}) EXPECT_FALSE(Exists(m_strBase + std::to_string(nGone))) << nGone;

    // However many sources, the catalogue stays bounded.
    for (int i = 0; i < 40; ++i) {
        const std::string strImage = sources.File("img" + std::to_string(i));
        ASSERT_TRUE(WriteWholeFile(strImage, "i", 1));
        save(strImage, 0, 100 + i);
    }
    EXPECT_EQ(Manager().GetLogFileInfos().size(), CLogFileManager::KEEP_SCANS_IN_ALL);
    EXPECT_FALSE(Exists(m_strBase + "8"));
    EXPECT_TRUE(Exists(m_strBase + "139"));
}

}  // namespace
