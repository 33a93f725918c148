// The recovery session as a front end drives it: area choice, scan, search, recovery of chosen
// finds, the events it sends and a stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carving/file_category.h"
#include "fixtures/carving_image.h"
#include "fixtures/media_samples.h"
#include "fixtures/temp_dir.h"
#include "session/recovery_session.h"

namespace {

// Records what the session reports; can ask for a stop at the first scan report.
class CRecordingListener : public ISessionListener {
public:
    void OnScanProgress(const SESSION_SCAN_PROGRESS& p) override {
        vecScanPercents.push_back(p.nPercent);
        if (pStopOnScan != nullptr) pStopOnScan->RequestStop();
    }
    void OnRecoveryProgress(const SESSION_RECOVERY_PROGRESS& p) override { vecRecovery.push_back(p); }
    void OnFileDone(const SESSION_FILE_RESULT& result) override { vecDone.push_back(result); }

    CRecoverySession* pStopOnScan = nullptr;
    std::vector<int> vecScanPercents;
    std::vector<SESSION_RECOVERY_PROGRESS> vecRecovery;
    std::vector<SESSION_FILE_RESULT> vecDone;
};

class RecoverySessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        CCarvingImage image(2048);
        image.FillNeutral(0, 2048, 3);
        for (int i = 0; i < 3; ++i) {
            m_vecPictures.push_back(MakeJpegFile(8000 + 3000 * static_cast<size_t>(i), 70 + i));
            image.FillZero(100 + 300 * static_cast<unsigned long long>(i), 60);
            image.Plant(100 + 300 * static_cast<unsigned long long>(i), m_vecPictures.back(), "jpg");
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
    area.u64Start = 2000;
    area.u64Sectors = 100;
    EXPECT_EQ(SESSION_BAD_REQUEST, session.ChooseArea(area));
    EXPECT_NE(std::string::npos, session.LastError().find("outside the disk"));
    EXPECT_EQ(SESSION_BAD_REQUEST, session.Recover({}, false)) << "nothing scanned yet";

    const std::string strOut = m_dir.File("out");
    ASSERT_EQ(SESSION_OK, session.SetDestination(strOut, false));
    ASSERT_EQ(SESSION_OK, session.Scan());
    ASSERT_FALSE(listener.vecScanPercents.empty());
    EXPECT_EQ(100, listener.vecScanPercents.back());
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

TEST_F(RecoverySessionTest, StopEndsTheScanAndNothingIsRecoveredAfterIt) {
    CRecordingListener listener;
    CRecoverySession session(&listener);
    listener.pStopOnScan = &session;
    ASSERT_EQ(SESSION_OK, session.OpenSource(m_strImage));
    ASSERT_EQ(SESSION_OK, session.SetDestination(m_dir.File("out"), false));
    EXPECT_EQ(SESSION_STOPPED, session.Scan());
    // The report that asked ends the sweep (a size walk under way reports once more at most).
    ASSERT_FALSE(listener.vecScanPercents.empty());
    EXPECT_LE(listener.vecScanPercents.size(), 2u);
    EXPECT_LT(listener.vecScanPercents.back(), 100);
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    ASSERT_EQ(SESSION_OK, session.Search(FILE_CATEGORY_ALL, vecHits));
    EXPECT_EQ(SESSION_STOPPED, session.Recover(vecHits, false));
    EXPECT_TRUE(listener.vecDone.empty());
    EXPECT_TRUE(session.Summary().bStopped);
}
