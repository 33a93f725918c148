// The progress dialog as the jobs drive it: reports through queued signals, the final report,
// a recovery's detail and end, and the cancel protocol (No keeps the job; Yes waits for it to
// stop). Runs under the offscreen platform.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "ui/job_reports.h"
#include "ui/message_box.h"
#include "ui/scan_dialog.h"

namespace {
// Answers the question box that the next close opens.
void AnswerQuestionSoon(bool bYes) {
    QTimer::singleShot(50, [bYes] {
        auto* pBox = qobject_cast<CMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(pBox != nullptr);
        if (bYes)
            pBox->btnSlotOK();
        else
            pBox->btnSlotNO();
    });
}
}  // namespace

class ProgressDialogTest : public QObject {
    Q_OBJECT

private slots:
    void EveryImageIsCompiledIn() {
        for (const char* szName : {"about", "close", "drive", "help", "minimize", "music", "photo", "physical_drive",
                                   "question", "recover_file", "scan_files", "support", "video"})
            QVERIFY2(!QPixmap(QString(":/image/%1.png").arg(szName)).isNull(), szName);
    }

    void ScanReportsShowAndTheFinalOneCloses() {
        CJobReports owner;
        SCANUI dialog;
        dialog.InitSlot(&owner, JOB_SCAN);
        dialog.show();
        emit owner.ScanProcessCallBack(10, 90, -1, "128", "16384", "3", QString());
        QTRY_COMPARE(dialog.BarValue(), 9);
        QCOMPARE(dialog.StatusText(), ScanStatusText(10, 90, -1, "128", "16384", "3"));
        emit owner.ScanProcessCallBack(100, 100, 0, "0", "0", "0", QString());
        QTRY_VERIFY(!dialog.isVisible());
        QVERIFY(dialog.IsFinished());
    }

    void RecoveryEndsWithItsDetailAndClosesWithoutAsking() {
        CJobReports owner;
        SCANUI dialog;
        dialog.InitSlot(&owner, JOB_RECOVERY);
        dialog.show();
        emit owner.RecoveryCallBack(100, 100, 0, "/out/photo/a.jpg");
        emit owner.RecoveryCallBack(100, 100, 30, "/out/video/b.mp4");
        emit owner.RecoveryCallBack(100, 100, 0, "/out/audio/c.mp3");
        owner.RequestStop(JOB_RECOVERY);  // the job sets it itself when it ends
        owner.MarkDone(JOB_RECOVERY);
        emit owner.RecoveryCallBack(100, 1000, 0, QString());
        QTRY_COMPARE(dialog.FinishButtonText(), QString("Finished"));
        QCOMPARE(dialog.Detail().Table()->item(0, 0)->text(), QString("/out/video/b.mp4"));
        QCOMPARE(dialog.Detail().SuccessCount(), 2);
        QCOMPARE(dialog.Detail().FailureCount(), 1);
        QVERIFY(dialog.isVisible());
        dialog.close();  // no question: nothing is running any more
        QVERIFY(!dialog.isVisible());
    }

    void NoKeepsTheJobAndYesWaitsForItToStop() {
        CJobReports owner;
        SCANUI dialog;
        dialog.InitSlot(&owner, JOB_SCAN);
        dialog.show();
        AnswerQuestionSoon(false);
        dialog.close();
        QVERIFY(dialog.isVisible());
        QVERIFY(!owner.IsStopRequested(JOB_SCAN));

        // The job notices the request at its next report and marks itself done a little later.
        std::thread job([&owner] {
            while (!owner.IsStopRequested(JOB_SCAN)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            owner.MarkDone(JOB_SCAN);
        });
        AnswerQuestionSoon(true);
        QElapsedTimer timer;
        timer.start();
        dialog.close();
        job.join();
        QVERIFY(!dialog.isVisible());
        QVERIFY(owner.IsStopRequested(JOB_SCAN));
        QVERIFY(timer.elapsed() >= 250);
    }
};

QTEST_MAIN(ProgressDialogTest)
#include "progress_dialog_test.moc"
