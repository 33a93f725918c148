// The recovery session as a front end drives it: area choice, scan, search, recovery of chosen
// finds, the events it sends and a stop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "engine/log_file_manager.h"
#include "engine/result_codes.h"
#include "fixtures/carving_image.h"
#include "fixtures/failing_sectors.h"
#include "fixtures/media_samples.h"
#include "fixtures/temp_dir.h"
#include "session/recovery_session.h"

namespace {

// Records what the session reports; can ask for a stop once the sweep has passed a sector, or
// at the first recovery report.
class CRecordingListener : public ISessionListener {
public:
    void OnScanProgress(const SESSION_SCAN_PROGRESS& p) override {
        vecScan.push_back(p);
        if (pStopOnScan != nullptr && p.u64SectorsDone >= u64StopAtSector) pStopOnScan->RequestStop();
    }
    void OnRecoveryProgress(const SESSION_RECOVERY_PROGRESS& p) override {
        vecRecovery.push_back(p);
        if (pStopOnRecovery != nullptr) pStopOnRecovery->RequestStop();
    }
    void OnFileDone(const SESSION_FILE_RESULT& result) override { vecDone.push_back(result); }
    void OnNotice(const std::string& strText) override { strNotices += strText + "\n"; }

    CRecoverySession* pStopOnScan = nullptr;
    unsigned long long u64StopAtSector = 0;
    CRecoverySession* pStopOnRecovery = nullptr;
    std::vector<SESSION_SCAN_PROGRESS> vecScan;
    std::vector<SESSION_RECOVERY_PROGRESS> vecRecovery;
    std::vector<SESSION_FILE_RESULT> vecDone;
    std::string strNotices;
};

class RecoverySessionTest : public ::testing::Test {
protected:
    // Three pictures spread over 32 sweep chunks, so a stop half-way leaves one unfound.
    void SetUp() override {
        CCarvingImage image(4096);
        image.FillNeutral(0, 4096, 3);
        for (int i = 0; i < 3; ++i) {
            m_vecPictures.push_back(MakeJpegFile(8000 + 3000 * static_cast<size_t>(i), 70 + i));
            image.FillZero(100 + 1500 * static_cast<unsigned long long>(i), 60);
            image.Plant(100 + 1500 * static_cast<unsigned long long>(i), m_vecPictures.back(), "jpg");
        }
        m_strImage = m_dir.File("card.img");
        ASSERT_TRUE(image.WriteTo(m_strImage));
    }

    CScopedAppHome m_home;
    CTempDir m_dir;
    std::string m_strImage;
    std::vector<MEDIA_BYTES> m_vecPictures;
};

}  // namespace

TEST_F(RecoverySessionTest, ChosenFindsAreRecoveredWithProgressAndOutcomes) {
    CRecordingListener listener;
    CRecoverySession session(&listener);
    ASSERT_EQ(SESSION_OK, session.OpenSource(m_strImage));
    SESSION_AREA area;
    area.eKind = SESSION_AREA::PARTITION;
    area.nPartition = 1;
    EXPECT_EQ(SESSION_BAD_REQUEST, session.ChooseArea(area)) << "a bare image has no partitions";
    area.eKind = SESSION_AREA::SECTOR_RANGE;
    area.u64Start = 4000;
    area.u64Sectors = 100;
    EXPECT_EQ(SESSION_BAD_REQUEST, session.ChooseArea(area));
    EXPECT_NE(std::string::npos, session.LastError().find("outside the disk"));
    area.u64Start = 4096;
    EXPECT_EQ(SESSION_BAD_REQUEST, session.ChooseArea(area));
    EXPECT_NE(std::string::npos, session.LastError().find("start sector 4096 lies past the end")) << session.LastError();
    EXPECT_EQ(SESSION_BAD_REQUEST, session.Recover({}, false)) << "nothing scanned yet";

    const std::string strOut = m_dir.File("out");
    ASSERT_EQ(SESSION_OK, session.SetDestination(strOut, false));
    ASSERT_EQ(SESSION_OK, session.Scan());
    ASSERT_FALSE(listener.vecScan.empty());
    EXPECT_EQ(100, listener.vecScan.back().nPercent);
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_PHOTO, vecHits));
    ASSERT_EQ(3u, vecHits.size());
    EXPECT_EQ(3u, session.Summary().nFound);

    // Two of the three, chosen by the front end.
    ASSERT_EQ(SESSION_OK, session.Recover({vecHits[0], vecHits[2]}, false));
    EXPECT_EQ(2u, session.Summary().nRecovered);
    ASSERT_EQ(2u, listener.vecDone.size());
    for (const SESSION_FILE_RESULT& result : listener.vecDone) {
        EXPECT_EQ(0, result.nResult);
        EXPECT_EQ(strOut + "/photo/" + result.hit.szFileName, result.strPath);
        EXPECT_EQ(result.hit.u64FileSize, ReadWholeFile(result.strPath).size());
    }
    ASSERT_FALSE(listener.vecRecovery.empty());
    const SESSION_RECOVERY_PROGRESS& last = listener.vecRecovery.back();
    EXPECT_EQ(last.u64BytesTotal, vecHits[0].u64FileSize + vecHits[2].u64FileSize);
    EXPECT_EQ(last.u64BytesDone, last.u64BytesTotal);
    EXPECT_EQ(1u, last.nFile);
}

TEST_F(RecoverySessionTest, StoppedScanIsRecoveredThenContinuedThenReused) {
    // Stopped half-way: what was found so far is still recovered.
    unsigned long long u64StoppedAt = 0;
    {
        CRecordingListener listener;
        CRecoverySession session(&listener);
        listener.pStopOnScan = &session;
        listener.u64StopAtSector = 2048;
        ASSERT_EQ(SESSION_OK, session.OpenSource(m_strImage));
        ASSERT_EQ(SESSION_OK, session.SetDestination(m_dir.File("out"), false));
        EXPECT_EQ(SESSION_STOPPED, session.Scan());
        // Where the scan log says the sweep got to.
        ASSERT_EQ(1u, CLogFileManager::GetInstance().GetLogFileInfos().size());
        u64StoppedAt = CLogFileManager::GetInstance().GetLogFileInfos()[0].u64SweptSectorCount;
        EXPECT_GT(u64StoppedAt, 100u);
        EXPECT_LT(u64StoppedAt, 3100u);
        std::vector<__SEARCH_FILE_INFO__> vecHits;
        ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_ALL, vecHits));
        ASSERT_FALSE(vecHits.empty());
        ASSERT_LT(vecHits.size(), 3u);
        EXPECT_EQ(SESSION_STOPPED, session.Recover(vecHits, false)) << "the outcome still says the scan stopped";
        ASSERT_EQ(vecHits.size(), listener.vecDone.size());
        for (const SESSION_FILE_RESULT& result : listener.vecDone) EXPECT_EQ(0, result.nResult) << result.strReason;
        EXPECT_TRUE(session.Summary().bScanStopped);
    }
    // Run again: the sweep goes on from where it stopped, and each picture is listed once.
    std::vector<__SEARCH_FILE_INFO__> vecResumed;
    {
        CRecordingListener listener;
        CRecoverySession session(&listener);
        ASSERT_EQ(SESSION_OK, session.OpenSource(m_strImage));
        ASSERT_EQ(SESSION_OK, session.Scan());
        EXPECT_NE(std::string::npos, listener.strNotices.find("using the saved scan"));
        EXPECT_EQ(SESSION_SCAN_RESUMED, session.Summary().eScanOrigin);
        for (const SESSION_SCAN_PROGRESS& p : listener.vecScan)
            EXPECT_TRUE(p.u64SectorsDone == 0 || p.u64SectorsDone >= u64StoppedAt) << "the first half was swept again";
        EXPECT_EQ(4096u - u64StoppedAt, session.Summary().u64SectorsSwept);
        ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_ALL, vecResumed));
        std::set<std::string> setNames;
        for (const __SEARCH_FILE_INFO__& hit : vecResumed) setNames.insert(hit.szFileName);
        EXPECT_EQ(3u, setNames.size());
        EXPECT_EQ(3u, vecResumed.size());
    }
    // And again: reused as it stands, nothing swept; a rescan sweeps it all.
    CRecoverySession session;
    ASSERT_EQ(SESSION_OK, session.OpenSource(m_strImage));
    ASSERT_EQ(SESSION_OK, session.Scan());
    EXPECT_EQ(SESSION_SCAN_REUSED, session.Summary().eScanOrigin);
    EXPECT_EQ(0u, session.Summary().u64SectorsSwept);
    ASSERT_EQ(SESSION_OK, session.Scan(SESSION_RESCAN));
    EXPECT_EQ(4096u, session.Summary().u64SectorsSwept);
}

TEST_F(RecoverySessionTest, StopEndsARecoveryWithinAFileAndRemovesIt) {
    const MEDIA_BYTES vecLarge = MakeJpegFile(3 << 20, 80);
    CCarvingImage image(8192);
    image.Plant(16, vecLarge, "jpg");
    const std::string strImage = m_dir.File("large.img"), strOut = m_dir.File("out");
    ASSERT_TRUE(image.WriteTo(strImage));
    CRecordingListener listener;
    CRecoverySession session(&listener);
    ASSERT_EQ(SESSION_OK, session.OpenSource(strImage));
    ASSERT_EQ(SESSION_OK, session.SetDestination(strOut, false));
    ASSERT_EQ(SESSION_OK, session.Scan());
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_ALL, vecHits));
    ASSERT_EQ(1u, vecHits.size());
    ASSERT_EQ(vecLarge.size(), vecHits[0].u64FileSize);

    listener.pStopOnRecovery = &session;
    EXPECT_EQ(SESSION_STOPPED, session.Recover({vecHits[0], vecHits[0]}, false));
    EXPECT_EQ(1u, listener.vecRecovery.size()) << "the first chunk's report stops the file";
    ASSERT_EQ(1u, listener.vecDone.size());
    EXPECT_EQ(KR_STOPPED_BY_USER, listener.vecDone[0].nResult);
    EXPECT_NE(0, access(listener.vecDone[0].strPath.c_str(), F_OK)) << "the cut file stays behind";
    EXPECT_TRUE(session.Summary().bRecoveryStopped);
    EXPECT_EQ(2u, session.Summary().nNotAttempted);
    EXPECT_EQ(0u, session.Summary().nRecovered);
}

// Sectors that cannot be read: the summary lists them, a file over one comes back as far as it
// could be read and names the sector, and the outcome (the command line's exit status) is 7.
TEST_F(RecoverySessionTest, UnreadableSectorsMakeAFilePartialAndTheOutcomeSeven) {
    const MEDIA_BYTES vecSound = MakeWavFile(20000, 81);
    CCarvingImage image(1024);
    image.Plant(100, vecSound, "wav");
    const std::string strImage = m_dir.File("bad.img");
    ASSERT_TRUE(image.WriteTo(strImage));
    CScopedFailingSectors failing(strImage, {{120, 2}});
    CRecordingListener listener;
    CRecoverySession session(&listener);
    ASSERT_EQ(SESSION_OK, session.OpenSource(strImage));
    ASSERT_EQ(SESSION_OK, session.SetDestination(m_dir.File("out"), false));
    ASSERT_EQ(SESSION_OK, session.Scan());
    ASSERT_EQ(1u, session.Summary().vecUnreadable.size());
    EXPECT_EQ(120u, session.Summary().vecUnreadable[0].u64First);
    EXPECT_EQ(2u, session.Summary().u64UnreadableSectors);
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_ALL, vecHits));
    ASSERT_EQ(1u, vecHits.size());
    EXPECT_EQ(SESSION_UNREADABLE, session.Recover(vecHits, false));
    ASSERT_EQ(1u, listener.vecDone.size());
    EXPECT_TRUE(listener.vecDone[0].bPartial);
    EXPECT_EQ(20u * 512u, listener.vecDone[0].u64BytesKept);
    EXPECT_NE(std::string::npos, listener.vecDone[0].strReason.find("partial: cannot read sector 120"));
    EXPECT_EQ(MEDIA_BYTES(vecSound.begin(), vecSound.begin() + 20 * 512), ReadWholeFile(listener.vecDone[0].strPath));
}
