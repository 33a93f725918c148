#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "engine/log_file_manager.h"
#include "fixtures/carving_image.h"
#include "fixtures/disk_list.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/media_samples.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "session/fast_ext_recovery.h"
#include "session/professional_recovery.h"
#include "session/recovery_factory.h"
#include "util/app_folder.h"
#include "util/fault_guard.h"
#include "util/text.h"

namespace {

struct ScanReport {
    int nProgress, nPercent, nRemain;
    unsigned long long u64Done, u64Total, u64Found;
};

// Records every scan report; answers nStopAnswer from report number nStopAt on.
struct ScanRecorder {
    std::vector<ScanReport> vecReports;
    size_t nStopAt = SIZE_MAX;
    int nStopAnswer = 1;

    static int OnScan(void* pParam, int nProgress, int nPercent, int nRemain, unsigned long long u64Done,
                      unsigned long long u64Total, unsigned long long u64Found, wchar_t*) {
        auto* pSelf = static_cast<ScanRecorder*>(pParam);
        pSelf->vecReports.push_back({nProgress, nPercent, nRemain, u64Done, u64Total, u64Found});
        return pSelf->vecReports.size() > pSelf->nStopAt ? pSelf->nStopAnswer : 0;
    }
};

// Scans sweep their whole area while one of these lives, as they do where no file system is
// recognised.
struct CFastEnginesOff {
    CFastEnginesOff() { CFileRecoveryFactory::SetFastEnginesEnabled(false); }
    ~CFastEnginesOff() { CFileRecoveryFactory::SetFastEnginesEnabled(true); }
};

class ProfessionalRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rsb_createAppFolders(), 0);
        CLogFileManager::GetInstance().Init();
    }
    void TearDown() override { CLogFileManager::GetInstance().Init(); }

    std::unique_ptr<CProfessionalRecovery> MakeEngine(const std::string& strImage, long long llStart,
                                                      long long llCount) {
        m_pDisks.reset();  // the old list restores the environment it found when it goes
        m_pDisks.reset(new CScopedDiskList({strImage}));
        std::unique_ptr<CProfessionalRecovery> pEngine(new CProfessionalRecovery());
        EXPECT_EQ(pEngine->Init(0, llStart, llCount, L'C'), 0);
        pEngine->SetNotLoadLogFile();
        pEngine->InitCallBack(&ScanRecorder::OnScan, nullptr, &m_recorder, 0);
        return pEngine;
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::unique_ptr<CScopedDiskList> m_pDisks;
    ScanRecorder m_recorder;
};

}  // namespace

TEST_F(ProfessionalRecoveryTest, UnknownAreaIsSweptWholeWithProgressAfterEveryChunk) {
    std::string strImage = m_dir.File("blank.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 16384LL * 512));
    auto pEngine = MakeEngine(strImage, 0, 16384);
    EXPECT_EQ(pEngine->GetFastRecovery(), nullptr);
    ASSERT_EQ(pEngine->ScanDevice(nullptr), 0);

    const auto& reports = m_recorder.vecReports;
    ASSERT_EQ(reports.size(), 128u + 1u);  // one per 128-sector chunk, then the final report
    EXPECT_EQ(reports[0].nProgress, 10);
    EXPECT_EQ(reports[0].nPercent, 90);
    EXPECT_EQ(reports[0].nRemain, -1);
    EXPECT_EQ(reports[0].u64Done, 128u);
    EXPECT_EQ(reports[0].u64Total, 16384u);
    EXPECT_EQ(reports[127].u64Done, 16384u);
    EXPECT_EQ(reports[127].nProgress, 110);
    const ScanReport& last = reports.back();
    EXPECT_EQ(last.nProgress, 100);
    EXPECT_EQ(last.nPercent, 100);
    EXPECT_EQ(last.u64Done + last.u64Total + last.u64Found, 0u);
    EXPECT_EQ(pEngine->GetLostFileCount(), 0u);
}

TEST_F(ProfessionalRecoveryTest, LastShortRunIsOneShorterChunk) {
    std::string strImage = m_dir.File("odd.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 300LL * 512));
    // An area that starts inside the disk: sectors 100..229.
    auto pEngine = MakeEngine(strImage, 100, 130);
    ASSERT_EQ(pEngine->ScanDevice(nullptr), 0);
    const auto& reports = m_recorder.vecReports;
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].u64Done, 128u);
    EXPECT_EQ(reports[1].u64Done, 130u);
}

TEST_F(ProfessionalRecoveryTest, CarvedFileLongerThanTheChunkIsFoundOnceAndWhole) {
    CCarvingImage image(1024);
    MEDIA_BYTES vecJpeg = MakeJpegFile(9000, 7);  // 18 sectors from sector 120: past the first chunk
    const unsigned long long u64Sectors = image.SectorsOf(vecJpeg.size());
    ASSERT_GT(120 + u64Sectors, 128u);
    image.Plant(120, vecJpeg, "jpg");
    std::string strImage = m_dir.File("carve.img");
    ASSERT_TRUE(image.WriteTo(strImage));
    auto pEngine = MakeEngine(strImage, 0, 1024);
    ASSERT_EQ(pEngine->ScanDevice(nullptr), 0);
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = L"*.jpg|";
    pEngine->SearchFileNode(&wstrKey[0], vecHits);
    ASSERT_EQ(vecHits.size(), 1u);
    EXPECT_STREQ(vecHits[0].szFileName, "120.jpg");
    EXPECT_EQ(vecHits[0].u64FileSize, vecJpeg.size());
}

namespace {
// An ISO media file cut short, as a camera leaves it when its power fails: the media box states
// more bytes than the file holds, so whatever follows on the card is taken for its contents.
MEDIA_BYTES TruncatedRecording(size_t nMediaBytes, uint32_t u32StatedExtra) {
    MEDIA_BYTES vec = {0, 0, 0, 20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'};
    const uint32_t u32Stated = static_cast<uint32_t>(8 + nMediaBytes) + u32StatedExtra;
    const unsigned char ucBox[8] = {static_cast<unsigned char>(u32Stated >> 24), static_cast<unsigned char>(u32Stated >> 16),
                                    static_cast<unsigned char>(u32Stated >> 8), static_cast<unsigned char>(u32Stated),
                                    'm', 'd', 'a', 't'};
    vec.insert(vec.end(), ucBox, ucBox + 8);
    MEDIA_BYTES vecBody = NeutralBytes(nMediaBytes, 5);
    vec.insert(vec.end(), vecBody.begin(), vecBody.end());
    return vec;
}
}  // namespace

TEST_F(ProfessionalRecoveryTest, FolderInsideAnOverlongCarvedFileKeepsItsDeletedFilesAndNames) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy")) GTEST_SKIP() << "dosfstools or mtools missing";
    // The deep engine's case: with the fast pass the live folder would not be swept at all.
    CFastEnginesOff fastEnginesOff;
    const std::string strCard = m_dir.File("card.img");
    ASSERT_TRUE(MakeFatImageWithClusters(strCard, 32, 40, 1));
    const MEDIA_BYTES vecClip = TruncatedRecording(6000, 256 * 1024);
    const MEDIA_BYTES vecSong = MakeMp3File(30);
    const std::string strClip = m_dir.File("clip.mp4"), strSong = m_dir.File("First Song.mp3");
    ASSERT_TRUE(WriteWholeFile(strClip, vecClip.data(), vecClip.size()));
    ASSERT_TRUE(WriteWholeFile(strSong, vecSong.data(), vecSong.size()));
    // The folder's table is allocated right after the clip, inside what the clip claims.
    ASSERT_TRUE(RunMtools({"mcopy", "-i", strCard, strClip, "::/"}));
    ASSERT_TRUE(RunMtools({"mmd", "-i", strCard, "::/Album"}));
    ASSERT_TRUE(RunMtools({"mcopy", "-i", strCard, strSong, "::/Album/"}));
    ASSERT_TRUE(RunMtools({"mdel", "-i", strCard, "::/Album/First Song.mp3"}));

    auto pEngine = MakeEngine(strCard, 0, 40 * 2048);
    ASSERT_EQ(pEngine->ScanDevice(nullptr), 0);
    std::vector<_FILE_NODE_> vecCarved;
    pEngine->GetChildrenFileNode(nullptr, 0, vecCarved);
    bool bOverlong = false;
    for (const _FILE_NODE_& node : vecCarved)
        bOverlong |= node.nSourceType == FILE_SOURCE_CARVING && std::string(node.szFileName).find(".mp4") != std::string::npos &&
                     (node.u64FileSize + 511) / 512 > (vecClip.size() + 511) / 512;
    ASSERT_TRUE(bOverlong) << "the clip must be carved over the folder after it for this case";

    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = L"*.mp3|";
    pEngine->SearchFileNode(&wstrKey[0], vecHits);
    const __SEARCH_FILE_INFO__* pSong = nullptr;
    for (const __SEARCH_FILE_INFO__& hit : vecHits)
        if (std::string(hit.szFileName) == "First Song.mp3") pSong = &hit;
    ASSERT_NE(pSong, nullptr) << "the deleted song lost its name";
    EXPECT_EQ(pSong->nSourceType, FILE_SOURCE_DEEP_FAT);
    const std::string strOut = m_dir.File("song.mp3");
    std::wstring wstrOut = Path2Unicode(strOut.c_str());
    __SEARCH_FILE_INFO__ song = *pSong;
    ASSERT_EQ(pEngine->SaveFileData(&song, &wstrOut[0], 0), 0);
    EXPECT_EQ(ReadWholeFile(strOut), vecSong);
}

TEST_F(ProfessionalRecoveryTest, StopAnswerEndsTheScanAndKeepsThePosition) {
    std::string strImage = m_dir.File("stop.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 4096LL * 512));
    m_recorder.nStopAt = 3;  // the fourth report answers 1
    auto pEngine = MakeEngine(strImage, 0, 4096);
    EXPECT_EQ(pEngine->ScanDevice(nullptr), 1);
    ASSERT_EQ(m_recorder.vecReports.size(), 4u);  // no final report after a stop
    EXPECT_EQ(m_recorder.vecReports.back().nProgress, 4 * 128 * 100 / 4096 + 10);

    const auto& records = CLogFileManager::GetInstance().GetLogFileInfos();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].u64SectorCount, 4096u);
    EXPECT_EQ(records[0].u64RunOffset, 512u);
    EXPECT_EQ(records[0].u64SweptSectorCount, 512u);
}

namespace {
unsigned long long SteadyFingerprint(const char*) {
    return 123456789;  // the device did not change between the two scans
}
// Stops the scan at the first report at or past u64StopAt swept sectors; remembers the reports.
struct StopAtSector {
    unsigned long long u64StopAt = ULLONG_MAX;
    std::vector<unsigned long long> vecDone;
    static int OnScan(void* pParam, int, int, int, unsigned long long u64Done, unsigned long long,
                      unsigned long long, wchar_t*) {
        auto* pSelf = static_cast<StopAtSector*>(pParam);
        pSelf->vecDone.push_back(u64Done);
        return u64Done >= pSelf->u64StopAt ? 1 : 0;
    }
};
std::vector<std::string> FoundJpegs(CProfessionalRecovery& engine) {
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = L"*.jpg|";
    engine.SearchFileNode(&wstrKey[0], vecHits);
    std::vector<std::string> vecNames;
    for (const __SEARCH_FILE_INFO__& hit : vecHits) vecNames.emplace_back(hit.szFileName);
    std::sort(vecNames.begin(), vecNames.end());
    return vecNames;
}
}  // namespace

TEST_F(ProfessionalRecoveryTest, StoppedScanResumesWhereItStoppedAndKeepsEarlierFinds) {
    CLogFileManager::GetInstance().SetFingerprintProbe(&SteadyFingerprint);
    CCarvingImage image(4096);
    for (unsigned long long u64Sector : {100ULL, 700ULL, 1500ULL, 2040ULL, 2600ULL, 3500ULL})
        image.Plant(u64Sector, MakeJpegFile(9000, static_cast<int>(u64Sector)), "jpg");
    std::string strImage = m_dir.File("resume.img");
    ASSERT_TRUE(image.WriteTo(strImage));
    CScopedDiskList disks({strImage});

    // What one uninterrupted scan finds.
    std::vector<std::string> vecWhole;
    {
        CProfessionalRecovery engine;
        ASSERT_EQ(engine.Init(0, 0, 4096, L'C'), 0);
        engine.SetNotLoadLogFile();
        ASSERT_EQ(engine.ScanDevice(nullptr), 0);
        vecWhole = FoundJpegs(engine);
    }
    ASSERT_EQ(vecWhole.size(), 6u);

    // A fresh scan stopped half-way...
    StopAtSector first;
    first.u64StopAt = 2048;
    unsigned long long u64SavedFound = 0;
    {
        CProfessionalRecovery engine;
        ASSERT_EQ(engine.Init(0, 0, 4096, L'C'), 0);
        engine.SetNotLoadLogFile();
        engine.InitCallBack(&StopAtSector::OnScan, nullptr, &first, 0);
        ASSERT_EQ(engine.ScanDevice(nullptr), 1);
        u64SavedFound = engine.GetLostFileCount();
    }
    const auto& records = CLogFileManager::GetInstance().GetLogFileInfos();
    ASSERT_EQ(records.size(), 1u);
    const unsigned long long u64Stopped = records[0].u64RunOffset;
    EXPECT_LT(u64Stopped, 4096u);
    EXPECT_EQ(records[0].u64FindFileCount, u64SavedFound);
    // The stop came inside the size walk of the picture at 1500 (the walk's progress passed the
    // stop point): that picture is not kept with a cut size, and the scan keeps its head as the
    // place to go on from.
    EXPECT_EQ(u64Stopped, 1500u);
    EXPECT_EQ(u64SavedFound, 2u);

    // ...and taken up again: it goes on from the saved place and ends with every file once.
    StopAtSector second;
    CProfessionalRecovery engine;
    ASSERT_EQ(engine.Init(0, 0, 4096, L'C'), 0);
    engine.InitCallBack(&StopAtSector::OnScan, nullptr, &second, 0);
    ASSERT_EQ(engine.ScanDevice(nullptr), 0);
    ASSERT_GE(second.vecDone.size(), 2u);
    EXPECT_GT(second.vecDone.front(), u64Stopped);
    EXPECT_EQ(FoundJpegs(engine), vecWhole);
    CLogFileManager::GetInstance().SetFingerprintProbe(nullptr);
}

TEST_F(ProfessionalRecoveryTest, NullParentWithLevelAndCarvedParentsHaveNoChildren) {
    std::string strImage = m_dir.File("small.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 256LL * 512));
    auto pEngine = MakeEngine(strImage, 0, 256);
    ASSERT_EQ(pEngine->ScanDevice(nullptr), 0);
    std::vector<_FILE_NODE_> vecChildren;
    EXPECT_EQ(pEngine->GetChildrenFileNode(nullptr, 1, vecChildren), KR_ERROR_INVALID_PARAMETER);
    _FILE_NODE_ carved;
    memset(&carved, 0, sizeof(carved));
    carved.nSourceType = FILE_SOURCE_CARVING;
    EXPECT_EQ(pEngine->GetChildrenFileNode(&carved, 0, vecChildren), 0);
    EXPECT_TRUE(vecChildren.empty());
    // A node of an engine this scan does not have is not reported as saved.
    _FILE_NODE_ orphan = carved;
    orphan.nSourceType = FILE_SOURCE_FAST_FAT;
    std::wstring wstrTarget = L"/nonexistent/x";
    EXPECT_EQ(pEngine->SaveFileData(&orphan, &wstrTarget[0], 0), KR_ERROR_INVALID_PARAMETER);
}

TEST_F(ProfessionalRecoveryTest, FactoryMakesTheDeepScanForAnyArea) {
    std::string strImage = m_dir.File("any.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 64LL * 1024));
    CScopedDiskList disks({strImage});
    std::unique_ptr<IFileRecoveryParse> pEngine(
        CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(0, 0, 128, L'C', RECOVERY_TYPE_PROFESSIONAL));
    EXPECT_NE(dynamic_cast<CProfessionalRecovery*>(pEngine.get()), nullptr);
}

// Sources the factory's probe cannot read whole are still swept: an image shorter than the probe,
// and one whose first sectors fail. Only the fast engine's choice looks at the start, and it
// reads what it can: an ext volume whose boot sectors fail is still told by its superblock.
TEST_F(ProfessionalRecoveryTest, OddSourcesStillGetTheDeepScan) {
    const MEDIA_BYTES vecJpeg = MakeJpegFile(3000, 3);
    struct Case {
        unsigned long long u64Sectors, u64JpegSector;
        std::vector<SECTOR_RANGE> vecBad;
    };
    for (const Case& c : {Case{12, 2, {}}, Case{256, 40, {{0, 8}}}}) {
        CCarvingImage image(c.u64Sectors);
        image.Plant(c.u64JpegSector, vecJpeg, "jpg");
        const std::string strImage = m_dir.File("odd" + std::to_string(c.u64Sectors) + ".img");
        ASSERT_TRUE(image.WriteTo(strImage));
        CScopedFailingSectors failing(strImage, c.vecBad);
        std::wstring wstrImage = Path2Unicode(strImage.c_str());
        std::unique_ptr<IFileRecoveryParse> pEngine(CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(
            &wstrImage[0], L'C', RECOVERY_TYPE_PROFESSIONAL));
        auto* pDeep = dynamic_cast<CProfessionalRecovery*>(pEngine.get());
        ASSERT_NE(pDeep, nullptr) << strImage;
        ASSERT_EQ(pDeep->ScanDevice(nullptr), 0);
        EXPECT_EQ(FoundJpegs(*pDeep), std::vector<std::string>{std::to_string(c.u64JpegSector) + ".jpg"});
        EXPECT_EQ(pDeep->GetUnreadableSectorCount(), c.vecBad.empty() ? 0u : c.vecBad[0].u64Count);
    }
    const std::string strExt = m_dir.File("ext.img");
    if (!MakeExtImage(strExt, "ext4", 8)) GTEST_SKIP() << "mke2fs missing";
    CScopedFailingSectors failing(strExt, {{0, 2}});
    std::wstring wstrExt = Path2Unicode(strExt.c_str());
    std::unique_ptr<IFileRecoveryParse> pFast(
        CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(&wstrExt[0], L'C', RECOVERY_TYPE_FAST));
    EXPECT_NE(dynamic_cast<CFastExtRecovery*>(pFast.get()), nullptr);
}

#ifndef KORVALO_NO_FAULT_GUARD
TEST(FaultGuard, AbandonsTheFaultingUnitAndRestoresTheHandlersAfter) {
    struct sigaction before = {};
    sigaction(SIGSEGV, nullptr, &before);
    {
        CFaultGuard guard("fault\n");
        int nRuns = 0;
        auto faulting = [&]() {
            ++nRuns;
            raise(SIGSEGV);
            ++nRuns;  // never reached
        };
        EXPECT_FALSE(guard.Run(faulting));
        EXPECT_EQ(nRuns, 1);
        // Leaving the handler by a jump must not leave the signal blocked.
        sigset_t mask;
        ASSERT_EQ(0, sigprocmask(SIG_BLOCK, nullptr, &mask));
        EXPECT_FALSE(sigismember(&mask, SIGSEGV));
        // The guard keeps working after a fault.
        auto fine = [&]() { ++nRuns; };
        EXPECT_TRUE(guard.Run(fine));
        EXPECT_FALSE(guard.Run(faulting));
        EXPECT_EQ(nRuns, 3);
    }
    struct sigaction after = {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}
#endif

namespace {
struct PLANTED_FILE {
    std::string strPath;  // on the volume
    MEDIA_BYTES vecBytes;
    std::string strFolder;  // the folder path the find must be listed under
};
}  // namespace

TEST_F(ProfessionalRecoveryTest, IntactFatVolumeIsListedThroughItsTableAndOnlyItsFreeSpaceIsSwept) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy")) GTEST_SKIP() << "dosfstools or mtools missing";
    for (int nBits : {16, 32}) {
        SCOPED_TRACE(nBits);
        m_recorder.vecReports.clear();
        const std::string strCard = m_dir.File("card" + std::to_string(nBits) + ".img");
        ASSERT_TRUE(MakeFatImageWithClusters(strCard, nBits, 40, nBits == 32 ? 1 : 4));
        const std::vector<PLANTED_FILE> vecFiles = {
            {"Holiday photo.jpg", MakeJpegFile(7000, 3), ""},        // deleted
            {"KEEP.PNG", MakePngFile(40, 30, 4), ""},                 // live
            {"Album/First Song.mp3", MakeMp3File(40), "Album/"},      // live
            {"Trip/Beach at dawn.jpg", MakeJpegFile(12000, 5), "Trip/"},  // in a deleted folder
            {"Trip/clip.mp4", MakeMp4File(9000, 6), "Trip/"},
        };
        ASSERT_TRUE(RunMtools({"mmd", "-i", strCard, "::/Album", "::/Trip"}));
        for (const PLANTED_FILE& file : vecFiles) {
            const std::string strLocal = m_dir.File("planted");
            ASSERT_TRUE(WriteWholeFile(strLocal, file.vecBytes.data(), file.vecBytes.size()));
            ASSERT_TRUE(RunMtools({"mcopy", "-o", "-i", strCard, strLocal, "::/" + file.strPath}));
        }
        ASSERT_TRUE(RunMtools({"mdel", "-i", strCard, "::/Holiday photo.jpg"}));
        ASSERT_TRUE(RunMtools({"mdeltree", "-i", strCard, "::/Trip"}));
        CFatImageWalk walk;
        ASSERT_TRUE(walk.Load(strCard));

        auto pEngine = MakeEngine(strCard, 0, 40 * 2048);
        ASSERT_NE(pEngine->GetFastRecovery(), nullptr);
        ASSERT_EQ(pEngine->ScanDevice(nullptr), 0);
        bool bSwept = false;
        for (const ScanReport& report : m_recorder.vecReports) {
            if (report.nPercent != PRO_SWEEP_PERCENT) continue;
            bSwept = true;
            EXPECT_EQ(report.u64Total, walk.FreeDataSectors()) << "the sweep covers the free clusters only";
        }
        EXPECT_TRUE(bSwept);

        // Every file once, from the table, byte-exact, in its folder: the deep engines and the
        // carver meet the deleted ones again in the free space, and those copies are dropped.
        std::vector<__SEARCH_FILE_INFO__> vecHits;
        std::wstring wstrKey = BuildSearchKey(FILE_CATEGORY_ALL);
        pEngine->SearchFileNode(&wstrKey[0], vecHits);
        for (const PLANTED_FILE& file : vecFiles) {
            SCOPED_TRACE(file.strPath);
            int nCopies = 0;
            for (__SEARCH_FILE_INFO__& hit : vecHits) {
                if (hit.u64FileSize != file.vecBytes.size()) continue;
                const std::string strOut = m_dir.File("out" + std::to_string(nCopies));
                std::wstring wstrOut = Path2Unicode(strOut.c_str());
                if (pEngine->SaveFileData(&hit, &wstrOut[0], 0) != 0 || ReadWholeFile(strOut) != file.vecBytes) continue;
                unlink(strOut.c_str());
                ++nCopies;
                EXPECT_EQ(hit.nSourceType, FILE_SOURCE_FAST_FAT);
                wchar_t wszFolder[256] = {};
                EXPECT_EQ(pEngine->GetFileNodeParentDirPath(&hit, wszFolder, 256), 0);
                EXPECT_EQ(Unicode2Path(wszFolder), file.strFolder);
            }
            EXPECT_EQ(nCopies, 1);
        }
    }
}
