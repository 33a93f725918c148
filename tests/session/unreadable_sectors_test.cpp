// The deep scan on a disk with bad sectors: it sweeps past them losing only those sectors, lists
// them (also across a stop and resume), keeps files around them whole, and brings a file over
// them back partial. Once with the device layer's failing reader, once through the kernel's own
// read-error path (nbdkit and nbdfuse).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fixtures/carving_image.h"
#include "fixtures/disk_list.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/media_samples.h"
#include "fixtures/nbd_failing_disk.h"
#include "fixtures/temp_dir.h"
#include "session/professional_recovery.h"
#include "util/app_folder.h"
#include "util/text.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Text(const std::vector<SECTOR_RANGE>& vecRanges) {
    std::string strText;
    for (const SECTOR_RANGE& range : vecRanges)
        strText += std::to_string(range.u64First) + "+" + std::to_string(range.u64Count) + " ";
    return strText;
}

unsigned long long SteadyFingerprint(const char*) {
    return 987654321;
}

int StopAtHalf(void*, int, int, int, unsigned long long u64Done, unsigned long long u64Total, unsigned long long,
               wchar_t*) {
    return u64Total != 0 && u64Done * 2 >= u64Total ? 1 : 0;
}

// The search hit of that name (the key names its category), or nullptr.
const __SEARCH_FILE_INFO__* FindHit(CProfessionalRecovery& engine, const wchar_t* szKey, const std::string& strName,
                                    std::vector<__SEARCH_FILE_INFO__>& vecHits) {
    std::wstring wstrKey = szKey;
    vecHits.clear();
    engine.SearchFileNode(&wstrKey[0], vecHits);
    for (const __SEARCH_FILE_INFO__& hit : vecHits)
        if (strName == hit.szFileName) return &hit;
    return nullptr;
}

// That find recovered into strOut: the result, and the bytes written in vecOut.
int Recover(CProfessionalRecovery& engine, const wchar_t* szKey, const std::string& strName,
            const std::string& strOut, Bytes& vecOut) {
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    const __SEARCH_FILE_INFO__* pHit = FindHit(engine, szKey, strName, vecHits);
    if (pHit == nullptr) {
        ADD_FAILURE() << strName << " was not found";
        return -1;
    }
    __SEARCH_FILE_INFO__ hit = *pHit;
    std::wstring wstrOut = Path2Unicode(strOut.c_str());
    const int nResult = engine.SaveFileData(&hit, &wstrOut[0], 0);
    vecOut = ReadWholeFile(strOut);
    return nResult;
}

class UnreadableScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rsb_createAppFolders(), 0);
        CLogFileManager::GetInstance().Init();
        CLogFileManager::GetInstance().SetFingerprintProbe(&SteadyFingerprint);
    }
    void TearDown() override {
        CLogFileManager::GetInstance().SetFingerprintProbe(nullptr);
        CLogFileManager::GetInstance().Init();
    }

    // Three files of random bytes one after another on a fresh FAT16 card, then deleted (so the
    // sweep of the free space reads them); a bad range of 8 sectors (a whole page) in the middle one.
    void MakeFatCard() {
        m_strCard = m_dir.File("card.img");
        ASSERT_TRUE(MakeFatImageWithClusters(m_strCard, 16, 16, 4));
        std::mt19937 rng(14);
        for (const char* szName : {"BEFORE.BIN", "MIDDLE.BIN", "AFTER.BIN"}) {
            Bytes vecData(40 * 512 + 100);
            for (unsigned char& c : vecData) c = static_cast<unsigned char>(rng());
            const std::string strFile = m_dir.File(szName);
            ASSERT_TRUE(WriteWholeFile(strFile, vecData.data(), vecData.size()));
            ASSERT_TRUE(RunMtools({"mcopy", "-i", m_strCard, strFile, "::/"}));
            m_vecFiles.push_back(vecData);
        }
        for (const char* szName : {"::/BEFORE.BIN", "::/MIDDLE.BIN", "::/AFTER.BIN"})
            ASSERT_TRUE(RunMtools({"mdel", "-i", m_strCard, szName}));
        const Bytes vecCard = ReadWholeFile(m_strCard);
        auto it = std::search(vecCard.begin(), vecCard.end(), m_vecFiles[1].begin(), m_vecFiles[1].begin() + 512);
        ASSERT_NE(it, vecCard.end());
        const unsigned long long u64Middle = static_cast<unsigned long long>(it - vecCard.begin()) / 512;
        m_bad = SECTOR_RANGE{(u64Middle + 16) / 8 * 8, 8};
    }

    // Sweeps the card read through strPath and checks every file and the reported range.
    void ScanCardAndCheck(const std::string& strPath) {
        CProfessionalRecovery engine;
        std::wstring wstrPath = Path2Unicode(strPath.c_str());
        engine.Init(&wstrPath[0], L'C');
        ASSERT_EQ(engine.ScanDevice(nullptr), 0);
        EXPECT_EQ(Text({m_bad}), Text(engine.GetUnreadableRanges()));
        EXPECT_EQ(m_bad.u64Count, engine.GetUnreadableSectorCount());

        Bytes vecOut;
        EXPECT_EQ(0, Recover(engine, L"*.other|", "!EFORE.BIN", m_dir.File("before.out"), vecOut));
        EXPECT_EQ(m_vecFiles[0], vecOut);
        EXPECT_EQ(0, Recover(engine, L"*.other|", "!FTER.BIN", m_dir.File("after.out"), vecOut));
        EXPECT_EQ(m_vecFiles[2], vecOut);
        // The middle file comes back up to its first bad sector, and names it.
        SetLastUnreadableSector(UINT64_MAX);
        EXPECT_EQ(KR_ERROR_READ_FAULT, Recover(engine, L"*.other|", "!IDDLE.BIN", m_dir.File("middle.out"), vecOut));
        const unsigned long long u64Failed = GetLastUnreadableSector();
        EXPECT_GE(u64Failed, m_bad.u64First);
        EXPECT_LT(u64Failed, m_bad.u64First + m_bad.u64Count);
        ASSERT_FALSE(vecOut.empty());
        ASSERT_LT(vecOut.size(), m_vecFiles[1].size());
        EXPECT_TRUE(std::equal(vecOut.begin(), vecOut.end(), m_vecFiles[1].begin()));
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strCard;
    std::vector<Bytes> m_vecFiles;
    SECTOR_RANGE m_bad{0, 0};
};

}  // namespace

TEST_F(UnreadableScanTest, FatCardWithFailingReader) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy")) GTEST_SKIP() << "dosfstools or mtools missing";
    MakeFatCard();
    ASSERT_FALSE(HasFatalFailure());
    CScopedFailingSectors failing(m_strCard, {m_bad});
    ScanCardAndCheck(m_strCard);
}

// The kernel's own read-error path: the card through nbdkit (ddrescue filter) and nbdfuse.
TEST_F(UnreadableScanTest, FatCardThroughTheKernelsReadErrors) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy")) GTEST_SKIP() << "dosfstools or mtools missing";
    MakeFatCard();
    ASSERT_FALSE(HasFatalFailure());
    CNbdFailingDisk disk(m_strCard, m_bad, m_dir.Path());
    if (!disk.Ready()) GTEST_SKIP() << disk.SkipReason();
    ScanCardAndCheck(disk.Path());
}

// A raw card: files in the same chunk as a bad sector stay whole, a carved file ends before the
// bad sector it runs into, and a stopped scan taken up again keeps the ranges of its first half.
TEST_F(UnreadableScanTest, CarvingSweepAndResumeKeepEveryRange) {
    CCarvingImage image(4096);
    const MEDIA_BYTES vecNear = MakeJpegFile(9000, 1), vecOver = MakeJpegFile(9000, 2);
    image.Plant(10, vecNear, "jpg");   // sectors 10..27, in the chunk of the bad sector 100
    image.Plant(300, vecOver, "jpg");  // runs over the bad sector 305
    const std::string strImage = m_dir.File("raw.img");
    ASSERT_TRUE(image.WriteTo(strImage));
    CScopedDiskList disks({strImage});
    CScopedFailingSectors failing(strImage, {{100, 1}, {305, 1}, {2040, 20}, {3000, 1}});

    std::vector<SECTOR_RANGE> vecFirstHalf;
    {
        CProfessionalRecovery engine;
        ASSERT_EQ(engine.Init(0, 0, 4096, L'C'), 0);
        engine.SetNotLoadLogFile();
        engine.InitCallBack(&StopAtHalf, nullptr, nullptr, 0);
        ASSERT_EQ(engine.ScanDevice(nullptr), 1);
        vecFirstHalf = engine.GetUnreadableRanges();
    }
    EXPECT_EQ("100+1 305+1 2040+8 ", Text(vecFirstHalf));

    CProfessionalRecovery engine;
    ASSERT_EQ(engine.Init(0, 0, 4096, L'C'), 0);
    ASSERT_EQ(engine.IsFindLogFile(), 1);
    ASSERT_EQ(engine.ScanDevice(nullptr), 0);
    // Merged across the chunk boundary at 2048 and across the two halves.
    EXPECT_EQ("100+1 305+1 2040+20 3000+1 ", Text(engine.GetUnreadableRanges()));
    EXPECT_EQ(23u, engine.GetUnreadableSectorCount());
    char szFolder[LOG_FILE_PATH_SIZE] = {};
    CLogFileManager::GetInstance().GetLogFileDirPath(szFolder, sizeof(szFolder));
    std::ifstream saved(std::string(szFolder) + PRO_UNREADABLE_FILE_NAME);
    std::string strSaved((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_EQ("100 1\n305 1\n2040 20\n3000 1\n", strSaved);

    Bytes vecOut;
    EXPECT_EQ(0, Recover(engine, L"*.jpg|", "10.jpg", m_dir.File("near.jpg"), vecOut));
    EXPECT_EQ(vecNear, vecOut);
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    const __SEARCH_FILE_INFO__* pOver = FindHit(engine, L"*.jpg|", "300.jpg", vecHits);
    ASSERT_NE(pOver, nullptr);
    EXPECT_GT(pOver->u64FileSize, 0u);
    EXPECT_LE(pOver->u64FileSize, 5u * 512u);
}
