// The window's jobs on a real card image: the scan's reports reach the interface thread in order
// and end with the closing report, the search lists the deleted photo, and the recovery writes it
// back byte-exact with a report per file and the closing report. Runs under the offscreen platform.
#include <QTemporaryDir>
#include <QtTest>
#include <vector>

#include "app/my_thread.h"
#include "app/session_jobs.h"
#include "carving/file_category.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/media_samples.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "util/text.h"

namespace {
struct REPORT {
    int nProgress, nPercent, nError;
    QString strName;
};

// Runs one job to its end on a worker thread, then delivers its queued reports here.
void RunJob(CMyThread::JOB_FUNCTION pJob, CSessionJobs& jobs) {
    CMyThread thread;
    thread.SetFunc(pJob, &jobs);
    thread.start();
    QVERIFY(thread.wait(120000));
    QCoreApplication::processEvents();
}
}  // namespace

class SessionJobsTest : public QObject {
    Q_OBJECT

private slots:
    void ScanSearchAndRecoverACard() {
        if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy")) QSKIP("dosfstools or mtools missing");
        QTemporaryDir dir, home, out;
        qputenv("KORVALO_HOME", home.path().toUtf8());
        const std::string strCard = dir.filePath("card.img").toStdString();
        QVERIFY(MakeFatImageWithClusters(strCard, 16, 16, 4));
        const MEDIA_BYTES vecPhoto = MakeJpegFile(20000, 5);
        const std::string strPhoto = dir.filePath("Beach.jpg").toStdString();
        QVERIFY(WriteWholeFile(strPhoto, vecPhoto.data(), vecPhoto.size()));
        QVERIFY(RunMtools({"mcopy", "-i", strCard, strPhoto, "::/"}));
        QVERIFY(RunMtools({"mdel", "-i", strCard, "::/Beach.jpg"}));

        CJobReports reports;
        std::vector<REPORT> vecScan, vecRecovery;
        connect(&reports, &CJobReports::ScanProcessCallBack, this,
                [&](int nProgress, int nPercent, int, QString, QString, QString, QString) {
                    vecScan.push_back({nProgress, nPercent, 0, QString()});
                }, Qt::QueuedConnection);
        connect(&reports, &CJobReports::RecoveryCallBack, this,
                [&](int nProgress, int nPercent, int nError, QString strName) {
                    vecRecovery.push_back({nProgress, nPercent, nError, strName});
                }, Qt::QueuedConnection);

        CSessionJobs jobs(reports);
        jobs.SetScanArea(strCard, 0, 16 * 2048);
        RunJob(&CSessionJobs::_ScanProcess, jobs);
        QVERIFY(reports.IsDone(JOB_SCAN));
        QVERIFY(vecScan.size() >= 2);
        for (size_t i = 0; i + 1 < vecScan.size(); ++i)
            QVERIFY2(vecScan[i].nProgress * vecScan[i].nPercent < 10000, "only the last report may close");
        QCOMPARE(vecScan.back().nProgress * vecScan.back().nPercent, 10000);

        jobs.SetCategories(FILE_CATEGORY_ALL);
        RunJob(&CSessionJobs::_SearchProcess, jobs);
        QVERIFY(reports.IsDone(JOB_SEARCH));
        std::vector<__SEARCH_FILE_INFO__> vecPhotos;
        const std::shared_ptr<const IFoundFiles> pFinds = jobs.Finds();
        __SEARCH_FILE_INFO__ hit;
        for (size_t i = 0; i < pFinds->Count(); ++i)
            if (pFinds->Size(i) == vecPhoto.size() && pFinds->Record(i, hit)) vecPhotos.push_back(hit);
        QCOMPARE(vecPhotos.size(), size_t(1));

        // The photo previews through a picture file holding its bytes.
        std::vector<int> vecPreview;
        connect(&reports, &CJobReports::PreViewCallBackForSlot, this,
                [&](int nProgress, int) { vecPreview.push_back(nProgress); }, Qt::QueuedConnection);
        jobs.SetPreview(vecPhotos[0]);
        RunJob(&CSessionJobs::_PreviewProcess, jobs);
        QVERIFY(reports.IsDone(JOB_PREVIEW));
        QVERIFY(!vecPreview.empty() && vecPreview.back() == 100);
        QCOMPARE(ReadWholeFile(Unicode2Path(jobs.PreviewPath().c_str())), vecPhoto);

        jobs.SetRecovery(vecPhotos, out.path().toStdString());
        RunJob(&CSessionJobs::_RecoveryProcess, jobs);
        QVERIFY(reports.IsDone(JOB_RECOVERY));
        QCOMPARE(jobs.FileResults().size(), size_t(1));
        QCOMPARE(ReadWholeFile(jobs.FileResults()[0].strPath), vecPhoto);
        // One report for the file (100, no error, its path), the closing report last.
        auto itFile = std::find_if(vecRecovery.begin(), vecRecovery.end(),
                                   [](const REPORT& r) { return r.nProgress == 100 && r.nPercent == 100; });
        QVERIFY(itFile != vecRecovery.end());
        QCOMPARE(itFile->nError, 0);
        QCOMPARE(itFile->strName.toStdString(), jobs.FileResults()[0].strPath);
        QCOMPARE(vecRecovery.back().nPercent, 1000);
    }
};

QTEST_MAIN(SessionJobsTest)
#include "session_jobs_test.moc"
