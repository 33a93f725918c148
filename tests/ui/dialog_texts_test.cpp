// The progress dialog's texts and closing rule, and the recovery detail's order and counters.
// Runs under the offscreen platform.
#include <QTableWidget>
#include <QtTest>

#include "ui/detail_dialog.h"
#include "ui/progress_text.h"

class DialogTextsTest : public QObject {
    Q_OBJECT

private slots:
    void OnlyTheFinalScanReportCloses_data() {
        QTest::addColumn<int>("nProgress");
        QTest::addColumn<int>("nPercent");
        QTest::addColumn<bool>("bCloses");
        QTest::newRow("100 x 100") << 100 << 100 << true;
        QTest::newRow("50 x 200") << 50 << 200 << true;
        QTest::newRow("100 x 101") << 100 << 101 << false;
        QTest::newRow("99 x 101") << 99 << 101 << false;
        QTest::newRow("sweep end 110 x 90") << 110 << 90 << false;
        QTest::newRow("fast pass 100 x 9") << 100 << 9 << false;
    }
    void OnlyTheFinalScanReportCloses() {
        QFETCH(int, nProgress);
        QFETCH(int, nPercent);
        QFETCH(bool, bCloses);
        QCOMPARE(IsClosingScanReport(nProgress, nPercent), bCloses);
    }

    void ReportsReadAsTheUserSeesThem() {
        QCOMPARE(ScanStatusText(10, 90, -1, "128", "16384", "3"),
                 QString("  Current Process: 9%\n  Reading Sector: 128/16384\n  Total Files Found: 3\n"
                         "  Estimated time is calculating\n"));
        QCOMPARE(ScanStatusText(60, 90, 75, "9000", "16384", "12"),
                 QString("  Current Process: 54%\n  Reading Sector: 9000/16384\n  Total Files Found: 12\n"
                         "  Estimated Time Left: 1 Min 15 Sec\n"));
        // The fast pass has no sector counts: two lines, whatever its estimate.
        QCOMPARE(ScanStatusText(50, 9, 30, "0", "0", "0"),
                 QString("  Current Process: 4%\n  Estimated time is calculating\n"));
        QCOMPARE(RecoveryStatusText(50, 100, "/out/photo/a.jpg"), QString("  Process: 50%\n  Destination: /out/photo/a.jpg"));
        QCOMPARE(SearchStatusText(30), QString("  Process: 30%\n  Searching drive for recovery files"));
        QCOMPARE(PreviewStatusText(70, "clip 50%.mp4"), QString("  Process: 70%\n  Previewing file:clip 50%.mp4"));
        QCOMPARE(JobTitleText(JOB_PREVIEW, "a.png"), QString("  Preview File\n  a.png\n"));
        QCOMPARE(JobInitialStatusText(JOB_SCAN), QString("  Current Process: 0%\n  Estimated Time Left: 0 second\n"));
        QVERIFY(JobInitialStatusText(JOB_RECOVERY).isEmpty());
        QCOMPARE(JobCancelQuestion(JOB_RECOVERY), QString("Are you sure to cancel the recoverying?"));
    }

    // Failures newest first, then files kept in part in their order, then successes.
    void DetailListsFailuresFirstNewestOnTop() {
        CDetail detail;
        detail.AddTableItem("s1.jpg", 0);
        detail.AddTableItem("P1.jpg", FILE_PARTIAL);
        detail.AddTableItem("A.jpg", 1);
        detail.AddTableItem("s2.jpg", 0);
        detail.AddTableItem("P2.jpg", FILE_PARTIAL);
        detail.AddTableItem("B.jpg", 1);
        QStringList names, states;
        for (int nRow = 0; nRow < detail.Table()->rowCount(); ++nRow) {
            names << detail.Table()->item(nRow, 0)->text();
            states << detail.Table()->item(nRow, 1)->text();
        }
        QCOMPARE(names, (QStringList{"B.jpg", "A.jpg", "P1.jpg", "P2.jpg", "s1.jpg", "s2.jpg"}));
        const QString strPartial = "Partial: unreadable sectors";
        QCOMPARE(states, (QStringList{"Failed", "Failed", strPartial, strPartial, "Success", "Success"}));
        QCOMPARE(detail.Table()->item(0, 1)->foreground().color(), QColor(255, 0, 0));
        QCOMPARE(detail.SummaryText(), QString("  Recovery Detail\n  Sucess:2 Failed:2 Partial:2\n"));
        detail.show();
        QTest::mouseClick(&detail, Qt::RightButton);
        QVERIFY(!detail.isVisible());
    }
};

QTEST_MAIN(DialogTextsTest)
#include "dialog_texts_test.moc"
