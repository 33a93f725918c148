// The carving engine: what a sweep records, how far it steps, and the carved files' data.
#include "carving/file_type_recovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "carving_test_disk.h"
#include "engine/log_file_manager.h"
#include "fixtures/carving_image.h"
#include "fixtures/carving_sweep.h"
#include "fixtures/debug_capture.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/temp_dir.h"
#include "util/app_folder.h"
#include "util/rsb.h"
#include "util/safe_writer.h"
#include "util/text.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kSector = 512;

Bytes ReadFileBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every recovery-callback call, with a stop answer on a chosen call.
struct RecoveryLog {
    struct Call {
        int nProgress, nPercent, nError;
    };
    std::vector<Call> vecCalls;
    int nAnswerOnFirstCall = 0;
};

int RecordRecovery(void* pParam, int nProgress, int nPercent, int nError, wchar_t*) {
    auto* pLog = static_cast<RecoveryLog*>(pParam);
    pLog->vecCalls.push_back({nProgress, nPercent, nError});
    return pLog->vecCalls.size() == 1 ? pLog->nAnswerOnFirstCall : 0;
}

struct PreviewLog {
    std::vector<std::pair<int, int>> vecCalls;  // (progress, result)
};

int RecordPreview(void* pParam, int nProgress, int nRet) {
    static_cast<PreviewLog*>(pParam)->vecCalls.emplace_back(nProgress, nRet);
    return 0;
}

// Counts progress calls and answers every one with nAnswer.
struct StopAnswer {
    int nAnswer;
    int nCalls;
};
int StopAtFirstProgress(void* pParam, int, int, int, unsigned long long, unsigned long long,
                        unsigned long long, wchar_t*) {
    auto* pStop = static_cast<StopAnswer*>(pParam);
    ++pStop->nCalls;
    return pStop->nAnswer;
}

_FILE_NODE_ CarvedNode(const char* szName, unsigned long long u64Sector, unsigned long long u64Size) {
    _FILE_NODE_ node{};
    node.nSourceType = FILE_SOURCE_CARVING;
    node.u64RecordSector = u64Sector;
    node.u64FileSize = u64Size;
    snprintf(node.szFileName, sizeof(node.szFileName), "%s", szName);
    return node;
}

class FileTypeRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override { CLogFileManager::GetInstance().Init(); }
    void TearDown() override {
        CFileTypeJudge::InitCallBack(nullptr, nullptr, nullptr, 0);
        CFileTypeJudge::m_ErrorCode = 0;
    }

    // Writes the image and opens the engine on it as a fresh image scan.
    void OpenImage(const CCarvingImage& image) {
        m_strImage = m_dir.File("carve.img");
        ASSERT_TRUE(image.WriteTo(m_strImage));
        m_wstrImage = Path2Unicode(m_strImage.c_str());
        ASSERT_EQ(m_engine.Init(&m_wstrImage[0], L'E'), 0);
        ASSERT_EQ(m_reader.Init(&m_wstrImage[0], image.SectorCount()), 0);
    }
    _CARVING_SWEEP_RESULT_ Sweep(const CCarvingImage& image) {
        return SweepCarving(m_engine, &m_reader, 0, image.SectorCount());
    }
    std::vector<_FILE_NODE_> Nodes() {
        std::vector<_FILE_NODE_> vec;
        EXPECT_EQ(m_engine.GetChildrenFileNode(nullptr, 0, vec), 0);
        std::sort(vec.begin(), vec.end(),
                  [](const _FILE_NODE_& a, const _FILE_NODE_& b) { return a.u64RecordSector < b.u64RecordSector; });
        return vec;
    }
    // The store files of the current scan folder.
    std::vector<std::string> StoreNames() {
        char szFolder[1024] = {};
        CLogFileManager::GetInstance().GetLogFileDirPath(szFolder, sizeof(szFolder));
        std::vector<std::string> vec;
        for (const auto& entry : std::filesystem::directory_iterator(szFolder))
            vec.push_back(entry.path().filename().string());
        return vec;
    }

    CScopedAppHome m_home;
    CJudgeContextScope m_contextScope;
    CTempDir m_dir;
    std::string m_strImage;
    std::wstring m_wstrImage;
    CDiskReader m_reader;
    CFileTypeRecovery m_engine;
};

TEST_F(FileTypeRecoveryTest, BackToBackJpegHeadsSplitTheFirstFile) {
    CCarvingImage image(1100);
    image.FillNeutral(0, 1100, 1);
    image.Plant(1000, MakeSampleJpeg(3000, 2), "jpg");  // its own end lies past the next head
    image.Plant(1003, MakeSampleJpeg(700, 3), "jpg");
    image.FillZero(1004, 1);
    image.Poke(1003ULL * kSector + 700, Bytes(kSector - 700 % kSector, 0));
    OpenImage(image);

    _CARVING_SWEEP_RESULT_ result = Sweep(image);
    ASSERT_EQ(result.nResult, 0);
    ASSERT_GE(result.vecSteps.size(), 2u);
    EXPECT_EQ(result.vecSteps[0].u64Sector, 1000u);
    EXPECT_LE(result.vecSteps[0].u64SectorsUsed, 3u);
    EXPECT_EQ(result.vecSteps[1].u64Sector, 1003u);

    std::vector<_FILE_NODE_> vecNodes = Nodes();
    ASSERT_GE(vecNodes.size(), 2u);
    EXPECT_STREQ(vecNodes[0].szFileName, "1000.jpg");
    EXPECT_LE(vecNodes[0].u64FileSize, 1536u);
    EXPECT_STREQ(vecNodes[1].szFileName, "1003.jpg");
}

TEST_F(FileTypeRecoveryTest, CarvedNodesAreNamedFromTheFirstRowAndFilledAsCarved) {
    CCarvingImage image(400);
    image.FillNeutral(0, 400, 11);
    struct Sample {
        unsigned long long u64Sector;
        Bytes vecFile;
        const char* szName;
    };
    const std::vector<Sample> vecSamples = {
        {2, MakeSampleJpeg(5000, 1), "2.jpg"},      {40, MakeSamplePng(3000, 2), "40.png"},
        {80, MakeSampleGif(2000, 3), "80.gif"},     {120, MakeSampleZip(4000, 4), "120.zip"},
        {160, MakeSamplePdf(6000, 5), "160.pdf"},   {220, MakeSampleMp3(9000, 6), "220.mp3"},
        {300, MakeSampleMpeg(8000, 7), "300.mpeg"},  // MPEG's first row is "mpeg", not "mpg"
    };
    for (const Sample& s : vecSamples) image.Plant(s.u64Sector, s.vecFile, "");
    OpenImage(image);

    _CARVING_SWEEP_RESULT_ result = Sweep(image);
    EXPECT_EQ(result.nResult, 0);
    std::vector<_FILE_NODE_> vecNodes = Nodes();
    ASSERT_EQ(vecNodes.size(), vecSamples.size());
    EXPECT_EQ(result.u64FileCount, vecSamples.size());
    EXPECT_EQ(m_engine.GetLostFileCount(), vecSamples.size());
    unsigned int nCount = 0;
    EXPECT_EQ(m_engine.GetChildrenFileCount(nullptr, 0, nCount), 0);
    EXPECT_EQ(nCount, vecSamples.size());

    for (size_t i = 0; i < vecSamples.size(); ++i) {
        const _FILE_NODE_& node = vecNodes[i];
        SCOPED_TRACE(vecSamples[i].szName);
        EXPECT_STREQ(node.szFileName, vecSamples[i].szName);
        EXPECT_EQ(node.u64RecordSector, vecSamples[i].u64Sector);
        EXPECT_EQ(node.wcDrive, L'E');
        EXPECT_EQ(node.nSourceType, FILE_SOURCE_CARVING);
        EXPECT_EQ(node.bIsDir, 0);
        EXPECT_EQ(node.bIsHealth, 1);
        EXPECT_EQ(node.nDirIndex, 0u);
        EXPECT_EQ(node.nClusterSize, CARVED_CLUSTER_SIZE);
        EXPECT_EQ(node.u64DataStartSector, 0u);
        EXPECT_EQ(node.u64PartitionStartSector, 0u);
        EXPECT_EQ(node.ftLastWriteTime.dwLowDateTime, 0u);
        // Never an empty file, and never past the next planted head.
        EXPECT_GT(node.u64FileSize, 0u);
        if (i + 1 < vecSamples.size()) {
            EXPECT_LE(node.u64RecordSector * kSector + node.u64FileSize, vecSamples[i + 1].u64Sector * kSector);
        }
        // The rest of the name field is zero, as the record format wants.
        size_t nNameLen = strlen(node.szFileName);
        EXPECT_TRUE(std::all_of(node.szFileName + nNameLen, node.szFileName + sizeof(node.szFileName),
                                [](char c) { return c == 0; }));
    }
    // Each node's number is its place in the store.
    std::vector<unsigned int> vecIndexes;
    for (const _FILE_NODE_& node : vecNodes) vecIndexes.push_back(node.nFileIndex);
    std::sort(vecIndexes.begin(), vecIndexes.end());
    for (size_t i = 0; i < vecIndexes.size(); ++i) EXPECT_EQ(vecIndexes[i], i + 1);

    // Carved files have no folders below the root.
    std::vector<_FILE_NODE_> vecNone;
    EXPECT_EQ(m_engine.GetChildrenFileNode(&vecNodes[0], 0, vecNone), 0);
    EXPECT_EQ(m_engine.GetChildrenFileNode(nullptr, 1, vecNone), 0);
    EXPECT_TRUE(vecNone.empty());

    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = L"*.jpg|*.png";
    m_engine.SearchFileNode(&wstrKey[0], vecHits);
    EXPECT_EQ(vecHits.size(), 2u);
}

TEST_F(FileTypeRecoveryTest, SweepStepsPastSizedFilesAndStaysInsideHeaderSizedOnes) {
    // Types sized from a header field or an unreliable rule use only their head sector.
    for (EXTEND_NAME_TYPE nType : {EXT_DOC, EXT_OLE, EXT_XLS, EXT_PPT, EXT_WAV, EXT_AVI, EXT_ASF, EXT_SWF,
                                   EXT_BMP, EXT_CAB, EXT_TTF, EXT_ICO})
        EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(nType, 10'000'000, kSector), 1u) << nType;
    EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(EXT_JPG, 1536, kSector), 3u);
    EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(EXT_JPG, 1537, kSector), 4u);
    EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(EXT_PNG, 100, kSector), 1u);
    EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(EXT_GIF, 0, kSector), 1u);  // never a zero step
    EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(EXT_PPTX, 8192, 4096), 2u);
    // A video walk that never met an end stops at its cap; the sweep jumps the whole capped size.
    EXPECT_EQ(CFileTypeRecovery::SectorsToSkip(EXT_MP4, 4294967296ULL, kSector), 8388608u);
}

TEST_F(FileTypeRecoveryTest, EveryPlantedHeadIsFoundWhateverFollowsIt) {
    // Zero padding, other data, back-to-back heads and a file cut by the end of the device.
    CCarvingImage image(600);
    image.FillNeutral(0, 600, 21);
    image.Plant(10, MakeSamplePng(1500, 1), "png");
    image.FillZero(13, 1);
    image.Plant(14, MakeSampleGif(900, 2), "gif");  // back to back with the PNG's padding
    image.Plant(16, MakeSampleJpeg(4000, 3), "jpg");  // other data after it
    image.Plant(30, MakeSampleZip(2048, 4), "zip");
    image.Plant(34, MakeSamplePdf(1200, 5), "pdf");   // right behind the ZIP
    image.Plant(597, MakeSampleMp3(9000, 6), "mp3");  // truncated at the device end
    OpenImage(image);

    _CARVING_SWEEP_RESULT_ result = Sweep(image);
    std::vector<_FILE_NODE_> vecNodes = Nodes();
    ASSERT_EQ(vecNodes.size(), image.Planted().size());
    for (size_t i = 0; i < vecNodes.size(); ++i) {
        const _CARVING_PLANTED_FILE_& planted = image.Planted()[i];
        EXPECT_EQ(vecNodes[i].u64RecordSector, planted.u64Sector);
        EXPECT_EQ(std::string(vecNodes[i].szFileName), std::to_string(planted.u64Sector) + "." + planted.strExt);
        // A file never runs past the end of the device.
        EXPECT_LE(vecNodes[i].u64RecordSector * kSector + vecNodes[i].u64FileSize, image.Bytes().size());
    }
    EXPECT_EQ(result.u64FileCount, image.Planted().size());
}

// The name a store opened at that time gets: month, day and hour unpadded, the minute in two
// characters (a blank before minutes below 10).
std::string StoreNameAt(const SYSTEMTIME& t) {
    char sz[64];
    snprintf(sz, sizeof(sz), "File_Type_0_%d%d%d%d%2d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return sz;
}

TEST_F(FileTypeRecoveryTest, StoreIsNamedAfterTheStartSectorAndTheLocalTime) {
    CCarvingImage image(8);
    SYSTEMTIME before{}, after{};
    rsb_getLocalTime(&before);
    OpenImage(image);
    rsb_getLocalTime(&after);
    std::vector<std::string> vecNames = StoreNames();
    const bool bFound = std::find(vecNames.begin(), vecNames.end(), StoreNameAt(before)) != vecNames.end() ||
                        std::find(vecNames.begin(), vecNames.end(), StoreNameAt(after)) != vecNames.end();
    EXPECT_TRUE(bFound) << StoreNameAt(before);
    // Its two companion files sit beside it.
    EXPECT_EQ(vecNames.size(), 3u);
}

TEST_F(FileTypeRecoveryTest, ReopenedStoreServesTheEarlierFinds) {
    CCarvingImage image(100);
    image.FillNeutral(0, 100, 4);
    image.Plant(7, MakeSampleGif(700, 1), "gif");
    image.FillZero(9, 1);
    image.Poke(7ULL * kSector + 700, Bytes(kSector * 2 - 700, 0));
    OpenImage(image);
    Sweep(image);
    std::vector<_FILE_NODE_> vecBefore = Nodes();
    ASSERT_EQ(vecBefore.size(), 1u);
    std::string strStore;
    for (const std::string& strName : StoreNames())
        if (strName.rfind(FILE_TYPE_STORE_PREFIX, 0) == 0 && strName.find('_', 12) == std::string::npos)
            strStore = strName;
    ASSERT_FALSE(strStore.empty());
    m_engine.Init(&m_wstrImage[0], L'E');  // flushes and drops the first store

    CFileTypeRecovery reopened;
    std::wstring wstrStore = Ansi2Unicode(strStore.c_str());
    ASSERT_EQ(reopened.InitLogFile(&wstrStore[0], L'F', &m_wstrImage[0], kSector, image.SectorCount()), 0);
    std::vector<_FILE_NODE_> vecAfter;
    reopened.GetChildrenFileNode(nullptr, 0, vecAfter);
    ASSERT_EQ(vecAfter.size(), 1u);
    EXPECT_EQ(memcmp(&vecAfter[0], &vecBefore[0], sizeof(_FILE_NODE_)), 0);
    // Its data is readable through the reopened engine.
    std::string strOut = m_dir.File("again.gif");
    std::wstring wstrOut = Path2Unicode(strOut.c_str());
    ASSERT_EQ(reopened.SaveFileData(&vecAfter[0], &wstrOut[0], 0), 0);
    EXPECT_EQ(ReadFileBytes(strOut).size(), vecAfter[0].u64FileSize);
}

TEST_F(FileTypeRecoveryTest, RecoveryWritesExactlyTheFileSize) {
    CCarvingImage image(20);
    image.FillNeutral(0, 20, 9);
    OpenImage(image);
    RecoveryLog log;
    m_engine.InitCallBack(nullptr, RecordRecovery, &log, 0);
    _FILE_NODE_ node = CarvedNode("10.dat", 10, 1000);
    std::string strOut = m_dir.File("out.dat");
    std::wstring wstrOut = Path2Unicode(strOut.c_str());
    ASSERT_TRUE(WriteWholeFile(strOut, std::string(5000, 'x').data(), 5000));  // never overwritten
    EXPECT_EQ(m_engine.SaveFileData(&node, &wstrOut[0], 0), 0);
    EXPECT_EQ(ReadFileBytes(strOut), Bytes(5000, 'x'));
    Bytes vecOut = ReadFileBytes(m_dir.File("out(1).dat"));
    EXPECT_EQ(vecOut, Bytes(image.Bytes().begin() + 10 * kSector, image.Bytes().begin() + 10 * kSector + 1000));
    ASSERT_EQ(log.vecCalls.size(), 1u);  // one chunk, no error report
    EXPECT_EQ(log.vecCalls[0].nProgress, 100);
    EXPECT_EQ(log.vecCalls[0].nError, 0);
    struct stat st{};
    ASSERT_EQ(stat(strOut.c_str(), &st), 0);

    // A large file crosses several chunks and reports each.
    log = RecoveryLog{};
    node = CarvedNode("0.dat", 0, 20 * kSector - 3);
    EXPECT_EQ(m_engine.SaveFileData(&node, &wstrOut[0], 0), 0);
    EXPECT_EQ(ReadFileBytes(m_dir.File("out(2).dat")), Bytes(image.Bytes().begin(), image.Bytes().end() - 3));
}

TEST_F(FileTypeRecoveryTest, RecoveryPassesByLinksPlantedInTheDestination) {
    CCarvingImage image(20);
    image.FillNeutral(0, 20, 5);
    OpenImage(image);
    // DIR/photo links to a folder outside; DIR/photo(1)/10.jpg to a file outside.
    const std::string strDir = m_dir.File("DIR"), strOutside = m_dir.File("outside");
    ASSERT_TRUE(RunQuiet("mkdir -p '" + strDir + "/photo(1)' '" + strOutside + "' && echo keep > '" + strOutside +
                         "/victim' && ln -s '" + strOutside + "' '" + strDir + "/photo' && ln -s '" + strOutside +
                         "/victim' '" + strDir + "/photo(1)/10.jpg'"));
    CSafeWriter writer;
    ASSERT_EQ(writer.Open(strDir), 0);
    CActiveRecoveryWriterScope active(writer);
    _FILE_NODE_ node = CarvedNode("10.jpg", 10, 1000);
    std::wstring wstrTarget = Path2Unicode((strDir + "/photo/10.jpg").c_str());
    EXPECT_EQ(m_engine.SaveFileData(&node, &wstrTarget[0], 0), 0);
    EXPECT_EQ(ReadFileBytes(strDir + "/photo(1)/10(1).jpg"),
              Bytes(image.Bytes().begin() + 10 * kSector, image.Bytes().begin() + 10 * kSector + 1000));
    EXPECT_EQ(ReadFileBytes(strOutside + "/victim"), Bytes({'k', 'e', 'e', 'p', '\n'}));
    const std::filesystem::directory_iterator itOutside(strOutside);
    EXPECT_EQ(std::distance(begin(itOutside), end(itOutside)), 1) << "nothing new outside DIR";
}

TEST_F(FileTypeRecoveryTest, RecoveryStopAnswerIsReturnedAndNotReportedAgain) {
    CCarvingImage image(400);
    OpenImage(image);
    RecoveryLog log;
    log.nAnswerOnFirstCall = KR_STOPPED_BY_USER;
    m_engine.InitCallBack(nullptr, RecordRecovery, &log, 0);
    _FILE_NODE_ node = CarvedNode("0.dat", 0, 300 * kSector);
    std::string strOut = m_dir.File("stopped.dat");
    std::wstring wstrOut = Path2Unicode(strOut.c_str());
    EXPECT_EQ(m_engine.SaveFileData(&node, &wstrOut[0], 0), KR_STOPPED_BY_USER);
    ASSERT_EQ(log.vecCalls.size(), 1u);
    EXPECT_EQ(log.vecCalls[0].nError, 0);
    EXPECT_EQ(ReadFileBytes(strOut).size(), 65536u);  // the first chunk was written before the stop
}

TEST_F(FileTypeRecoveryTest, RecoveryErrorsAreReportedOnceMore) {
    CCarvingImage image(16);
    OpenImage(image);
    RecoveryLog log;
    m_engine.InitCallBack(nullptr, RecordRecovery, &log, 0);
    _FILE_NODE_ node = CarvedNode("100.dat", 100, 1000);  // past the device
    std::string strOut = m_dir.File("bad.dat");
    std::wstring wstrOut = Path2Unicode(strOut.c_str());
    int nRet = m_engine.SaveFileData(&node, &wstrOut[0], 0);
    EXPECT_GT(nRet, 0);
    ASSERT_EQ(log.vecCalls.size(), 1u);
    EXPECT_EQ(log.vecCalls[0].nProgress, 100);
    EXPECT_EQ(log.vecCalls[0].nError, nRet);

    // A file that runs past the end comes back up to it, as a read fault naming the first sector.
    _FILE_NODE_ cut = CarvedNode("10.dat", 10, 4000);
    std::wstring wstrCut = Path2Unicode(m_dir.File("cut.dat").c_str());
    EXPECT_EQ(m_engine.SaveFileData(&cut, &wstrCut[0], 0), KR_ERROR_READ_FAULT);
    EXPECT_EQ(ReadFileBytes(m_dir.File("cut.dat")), Bytes(image.Bytes().begin() + 10 * kSector, image.Bytes().end()));
    EXPECT_EQ(GetLastUnreadableSector(), 16u);

    CDebugCapture capture;
    std::string strNoFolder = m_dir.File("bad.dat/x.dat");  // a file where a folder would be
    std::wstring wstrNoFolder = Path2Unicode(strNoFolder.c_str());
    EXPECT_EQ(m_engine.SaveFileData(&node, &wstrNoFolder[0], 0), ENOTDIR);
    EXPECT_TRUE(capture.Contains("open Recovery File  erro = " + std::to_string(ENOTDIR) + "\n"));
    EXPECT_EQ(m_engine.SaveFileData(nullptr, &wstrOut[0], 0), KR_ERROR_INVALID_PARAMETER);
}

TEST_F(FileTypeRecoveryTest, NonPicturePreviewFillsAtMostTheCallersBuffer) {
    CCarvingImage image(200);
    image.FillNeutral(0, 200, 13);
    OpenImage(image);
    _FILE_NODE_ node = CarvedNode("77.wmv", 77, 5000);
    Bytes vecBuf(8000, 0);
    wchar_t wszPath[256] = L"untouched";
    PreviewLog log;

    int nBufLen = 1000;
    EXPECT_EQ(m_engine.PreView(&node, wszPath, vecBuf.data(), nBufLen, RecordPreview, &log), 0);
    EXPECT_EQ(nBufLen, 1000);
    const auto itFile = image.Bytes().begin() + 77 * kSector;
    EXPECT_TRUE(std::equal(vecBuf.begin(), vecBuf.begin() + 1000, itFile));
    EXPECT_EQ(vecBuf[1000], 0);  // nothing past the caller's length
    ASSERT_FALSE(log.vecCalls.empty());
    EXPECT_EQ(log.vecCalls.back(), std::make_pair(100, 0));
    EXPECT_STREQ(wszPath, L"untouched");

    nBufLen = static_cast<int>(vecBuf.size());
    EXPECT_EQ(m_engine.PreView(&node, wszPath, vecBuf.data(), nBufLen, nullptr, nullptr), 0);
    EXPECT_EQ(nBufLen, 5000);  // the file is shorter than the buffer
    EXPECT_TRUE(std::equal(vecBuf.begin(), vecBuf.begin() + 5000, itFile));

    nBufLen = 100;
    EXPECT_EQ(m_engine.PreView(nullptr, wszPath, vecBuf.data(), nBufLen, nullptr, nullptr), KR_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(nBufLen, 0);
}

TEST_F(FileTypeRecoveryTest, PicturePreviewGoesToTmpFileInTheScanLogFolder) {
    CCarvingImage image(600);
    image.FillNeutral(0, 600, 17);
    OpenImage(image);
    _FILE_NODE_ node = CarvedNode("500.PNG", 500, 3000);  // the extension is compared in lower case
    const std::string strFolder = rsb_getScanLogFolder();
    const std::string strTmp = strFolder + "tmp.png";
    // Something planted at the preview path is replaced, never written through.
    ASSERT_EQ(rsb_makeDirs(strFolder, 0755), 0);
    const std::string strVictim = m_dir.File("victim");
    ASSERT_TRUE(WriteWholeFile(strVictim, "keep", 4));
    ASSERT_EQ(symlink(strVictim.c_str(), strTmp.c_str()), 0);

    wchar_t wszPath[256] = {};
    Bytes vecBuf(100, 0);
    int nBufLen = static_cast<int>(vecBuf.size());
    EXPECT_EQ(m_engine.PreView(&node, wszPath, vecBuf.data(), nBufLen, nullptr, nullptr), 0);
    EXPECT_EQ(nBufLen, 0);
    EXPECT_EQ(Unicode2Path(wszPath), strTmp);
    EXPECT_EQ(ReadFileBytes(strTmp), Bytes(image.Bytes().begin() + 500 * kSector, image.Bytes().begin() + 500 * kSector + 3000));
    EXPECT_EQ(ReadFileBytes(strVictim), Bytes({'k', 'e', 'e', 'p'}));
    struct stat st{};
    ASSERT_EQ(lstat(strTmp.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat(strFolder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(FileTypeRecoveryTest, FailedPicturePreviewLeavesNoTmpFile) {
    CCarvingImage image(16);
    OpenImage(image);
    _FILE_NODE_ node = CarvedNode("500.jpg", 500, 3000);  // past the device
    wchar_t wszPath[256] = {};
    int nBufLen = 0;
    PreviewLog log;
    int nRet = m_engine.PreView(&node, wszPath, nullptr, nBufLen, RecordPreview, &log);
    EXPECT_NE(nRet, 0);
    ASSERT_EQ(log.vecCalls.size(), 1u);
    EXPECT_EQ(log.vecCalls[0], std::make_pair(100, nRet));
    EXPECT_NE(access((rsb_getScanLogFolder() + "tmp.jpg").c_str(), F_OK), 0);
}

TEST_F(FileTypeRecoveryTest, StopDuringASizeWalkRecordsNothing) {
    // A JPEG that the first pass cannot end: its size rule walks on and reports progress.
    CCarvingImage image(400);
    image.FillNeutral(0, 400, 23);
    image.Plant(5, MakeSampleJpeg(100000, 1), "jpg");
    OpenImage(image);
    // Any answer but 0 stops, not only the classic one.
    for (int nAnswer : {KR_STOPPED_BY_USER, 1, 5}) {
        StopAnswer stop{nAnswer, 0};
        m_engine.InitCallBack(StopAtFirstProgress, nullptr, &stop, 0);
        Bytes vecHead(image.Bytes().begin() + 5 * kSector, image.Bytes().begin() + 6 * kSector);
        unsigned long long u64Used = 77, u64Files = 4;
        int nRet = m_engine.ParseFileBuf(vecHead.data(), kSector, 5, 0, 400, 0, &m_reader, kSector, u64Used, u64Files);
        if (stop.nCalls == 0) GTEST_SKIP() << "the JPEG size rule does not walk the device";
        EXPECT_EQ(nRet, nAnswer);
        EXPECT_EQ(CFileTypeRecovery::GetWalkStopAnswer(), nAnswer);
        EXPECT_EQ(u64Used, 77u);
        EXPECT_EQ(u64Files, 4u);
        EXPECT_EQ(m_engine.GetLostFileCount(), 0u);
        EXPECT_TRUE(Nodes().empty());
    }
}

// A structure walk whose next record lies in a sector that cannot be read: the file ends before
// that sector, not at the record's offset inside it.
TEST_F(FileTypeRecoveryTest, StructureWalkEndsBeforeAnUnreadableSector) {
    // ftyp (20 bytes), mdat, then a moov whose header sits 100 bytes into sector 30 of the file.
    Bytes vecMovie = {0, 0, 0, 20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'};
    const uint32_t u32Mdat = 30 * kSector + 100 - 20;
    const unsigned char ucMdat[8] = {static_cast<unsigned char>(u32Mdat >> 24), static_cast<unsigned char>(u32Mdat >> 16),
                                     static_cast<unsigned char>(u32Mdat >> 8), static_cast<unsigned char>(u32Mdat),
                                     'm', 'd', 'a', 't'};
    vecMovie.insert(vecMovie.end(), ucMdat, ucMdat + 8);
    const Bytes vecBody = NeutralBytes(u32Mdat - 8, 9);
    vecMovie.insert(vecMovie.end(), vecBody.begin(), vecBody.end());
    const unsigned char ucMoov[8] = {0, 0, 0, 16, 'm', 'o', 'o', 'v'};
    vecMovie.insert(vecMovie.end(), ucMoov, ucMoov + 8);
    vecMovie.resize(vecMovie.size() + 8, 0);
    CCarvingImage image(200);
    image.Plant(50, vecMovie, "mp4");
    OpenImage(image);
    const Bytes vecHead(image.Bytes().begin() + 50 * kSector, image.Bytes().begin() + 51 * kSector);
    for (bool bBad : {false, true}) {
        std::unique_ptr<CScopedFailingSectors> pFailing;
        if (bBad) pFailing.reset(new CScopedFailingSectors(m_strImage, {{80, 1}}));
        unsigned long long u64Used = 0, u64Files = 0;
        ASSERT_EQ(m_engine.ParseFileBuf(vecHead.data(), kSector, 50, 0, 200, 0, &m_reader, kSector, u64Used, u64Files),
                  KR_SUCCESS);
        std::vector<_FILE_NODE_> vecNodes = Nodes();
        ASSERT_FALSE(vecNodes.empty());
        EXPECT_EQ(vecNodes.back().u64FileSize, bBad ? 30u * kSector : vecMovie.size()) << (bBad ? "bad" : "good");
    }
}

TEST_F(FileTypeRecoveryTest, SectorsThatStartNothingAreNotRecorded) {
    CCarvingImage image(4);
    image.FillNeutral(0, 4, 3);
    OpenImage(image);
    unsigned long long u64Used = 9, u64Files = 2;
    EXPECT_EQ(m_engine.ParseFileBuf(image.Bytes().data(), kSector, 0, 0, 4, 0, &m_reader, kSector, u64Used, u64Files),
              KR_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(u64Used, 9u);
    EXPECT_EQ(u64Files, 2u);
    // A PE head is recognised but has no size rule: nothing is carved.
    Bytes vecPe(kSector, 0);
    vecPe[0] = 'M', vecPe[1] = 'Z', vecPe[60] = 0x80;
    memcpy(vecPe.data() + 0x80, "PE\0\0", 4);
    vecPe[0x80 + 22] = 0x02;
    EXPECT_EQ(m_engine.ParseFileBuf(vecPe.data(), kSector, 0, 0, 4, 0, &m_reader, kSector, u64Used, u64Files),
              KR_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(m_engine.GetLostFileCount(), 0u);
}

}  // namespace
