// The start page's category boxes, the device tree built from image disks, choosing a row and
// moving between the pages. Runs under the offscreen platform.
#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTreeWidget>
#include <QtTest>

#include "device/partition_manager.h"
#include "fixtures/partition_images.h"
#include "fixtures/temp_dir.h"
#include "ui/app_styles.h"
#include "ui/drui.h"
#include "ui/link_config.h"

namespace {
// "P" photo, "M" music, "V" video, "A" Recover All; lower case unticked, "a" unticked, "-" partly.
QString BoxStates(const DRUI& window) {
    QString str;
    str += window.PhotoCheckBox()->isChecked() ? "P" : "p";
    str += window.MusicCheckBox()->isChecked() ? "M" : "m";
    str += window.VideoCheckBox()->isChecked() ? "V" : "v";
    const Qt::CheckState eAll = window.AllCheckBox()->checkState();
    str += eAll == Qt::Checked ? "A" : eAll == Qt::Unchecked ? "a" : "-";
    return str;
}

bool StartEnabled(const DRUI& window) {
    const bool bEnabled = window.StartButton()->isEnabled();
    // The look must follow the state.
    const QString strWant = bEnabled ? MAIN_BUTTON_STYLE : GREY_BUTTON_STYLE;
    return window.StartButton()->styleSheet() == strWant && bEnabled;
}
}  // namespace

class MainPagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // No real disk of the test machine may show up.
        qputenv("KORVALO_DISKS", NoDisk());
    }

    void CategoryBoxesAndRecoverAllFollowEachOther() {
        DRUI window;
        window.Init();
        QCOMPARE(BoxStates(window), QString("PMVA"));
        QVERIFY(StartEnabled(window));

        window.PhotoCheckBox()->click();
        QCOMPARE(BoxStates(window), QString("pMV-"));
        QVERIFY(StartEnabled(window));
        window.MusicCheckBox()->click();
        window.VideoCheckBox()->click();
        QCOMPARE(BoxStates(window), QString("pmva"));
        QVERIFY(!StartEnabled(window));

        window.MusicCheckBox()->click();
        QCOMPARE(BoxStates(window), QString("pMv-"));
        QVERIFY(StartEnabled(window));
        // Reaching the middle state through a mixed choice keeps that choice.
        window.AllCheckBox()->setCheckState(Qt::PartiallyChecked);
        window.CheckBoxAllStatChange(Qt::PartiallyChecked);
        QCOMPARE(BoxStates(window), QString("pMv-"));
        QVERIFY(StartEnabled(window));

        // A click on the box cycles on from the middle state: everything.
        window.AllCheckBox()->click();
        QCOMPARE(BoxStates(window), QString("PMVA"));
        window.AllCheckBox()->click();
        QCOMPARE(BoxStates(window), QString("pmva"));
        QVERIFY(!StartEnabled(window));
        // From unticked a click lands in the middle state, which a user means as "all".
        window.AllCheckBox()->click();
        QCOMPARE(BoxStates(window), QString("PMVA"));
        QVERIFY(StartEnabled(window));
    }

    void DeviceTreeListsImageDisksWithTheirPartitions() {
        CTempDir dir;
        // MBR: a FAT12 card partition over sectors 2048..4095, then a Linux one.
        const std::string strMbr = dir.File("mbr.img");
        {
            CCraftedDisk mbr(strMbr, 8 << 20);
            QVERIFY(mbr.PutMbrTable(0, {{0x01, 2048, 2048}, {0x83, 4096, 8192}}));
        }
        const std::string strGpt = dir.File("gpt.img");
        {
            CCraftedDisk gpt(strGpt, 4 << 20);
            QVERIFY(gpt.PutGpt({{0, 34, 2081, u"EFI system"}, {1, 2082, 8158, u"Data"}}));
        }
        const std::string strBare = dir.File("bare.img");
        const std::string strEmpty = dir.File("empty.img");
        { CCraftedDisk empty(strEmpty, 1 << 20); }
        { CCraftedDisk bare(strBare, 2 << 20); }
        if (!HaveTool("mkfs.fat")) QSKIP("mkfs.fat is missing");
        QVERIFY(RunQuiet("mkfs.fat -F 12 -n CARD --offset=2048 " + strMbr + " 1024"));
        QVERIFY(RunQuiet("mkfs.fat -F 12 -n STICK " + strBare));

        const std::string strDisks = strMbr + ":" + strEmpty + ":" + strGpt + ":" + strBare;
        qputenv("KORVALO_DISKS", QByteArray(strDisks.c_str()));
        DRUI window;
        window.Init();
        qputenv("KORVALO_DISKS", NoDisk());

        QStringList rows;
        const QTreeWidget* pTree = window.DiskTree();
        for (int nDisk = 0; nDisk < pTree->topLevelItemCount(); ++nDisk) {
            const QTreeWidgetItem* pDisk = pTree->topLevelItem(nDisk);
            QVERIFY(pDisk->isExpanded());
            rows << pDisk->text(0);
            for (int n = 0; n < pDisk->childCount(); ++n)
                rows << "  " + pDisk->child(n)->text(0) + " | " + pDisk->child(n)->text(1);
        }
        // The empty disk gets no row and no number.
        QCOMPARE(rows, (QStringList{"Physical Driver 1", "  Partition 1 (FAT12 CARD) | 1.00 MB",
                                    "  Partition 2 | 4.00 MB", "Physical Driver 2", "  EFI system | 1.00 MB",
                                    "  Data | 2.97 MB", "Physical Driver 3", "  FAT12 STICK | 2.00 MB"}));

        // Each partition row keeps its record; the last one is current and Scan is ready.
        const _PARTITION_ITEM_ card = PartitionOfRow(pTree->topLevelItem(0)->child(0));
        QCOMPARE(card.u64StartSector, 2048ull);
        QCOMPARE(card.u64EndSector, 4095ull);
        QCOMPARE(card.nDiskNumber, 0);
        const _PARTITION_ITEM_ data = PartitionOfRow(pTree->topLevelItem(1)->child(1));
        QCOMPARE(data.nDiskNumber, 2);
        QCOMPARE(QString(data.szDiskName), QString::fromStdString(strGpt.substr(0, 15)));
        QCOMPARE(pTree->currentItem(), pTree->topLevelItem(2)->child(0));
        QVERIFY(window.ScanButton()->isEnabled());

        // A disk row carries no area: Scan goes grey; a partition row brings it back.
        window.diskItemClick(pTree->topLevelItem(1), 0);
        QVERIFY(!window.ScanButton()->isEnabled());
        QCOMPARE(window.ScanButton()->styleSheet(), QString(GREY_BUTTON_STYLE));
        window.diskItemClick(pTree->topLevelItem(0)->child(0), 0);
        QVERIFY(window.ScanButton()->isEnabled());
        QCOMPARE(window.ScanButton()->styleSheet(), QString(MAIN_BUTTON_STYLE));

        QSignalSpy spy(&window, &DRUI::ScanRequested);
        window.DiskTree()->setCurrentItem(pTree->topLevelItem(0)->child(0));
        window.ScanButton()->click();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<_PARTITION_ITEM_>().u64StartSector, 2048ull);
        // A double click on a disk row scans the all-zero area.
        window.DiskTree()->setCurrentItem(pTree->topLevelItem(1));
        window.diskItemDoubleClick(pTree->topLevelItem(1), 0);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(window.ScanItem().u64EndSector, 0ull);
        QCOMPARE(window.ScanItem().szDiskName[0], '\0');
    }

    void NoDiskLeavesScanDisabled() {
        DRUI window;
        window.Init();
        QCOMPARE(window.DiskTree()->topLevelItemCount(), 0);
        QVERIFY(!window.ScanButton()->isEnabled());
    }

    void StartAndBackMoveBetweenPages() {
        DRUI window;
        window.Init();
        QSignalSpy dropped(&window, &DRUI::LastScanDropped);
        window.StartButton()->click();
        QCOMPARE(window.Pages()->currentIndex(), int(DRUI_DEVICE_PAGE));
        window.btnSlotBack();
        QCOMPARE(window.Pages()->currentIndex(), int(DRUI_START_PAGE));
        // From the results Back returns to the devices, not the start.
        window.Pages()->addWidget(new QWidget);
        window.Pages()->setCurrentIndex(DRUI_RESULTS_PAGE);
        window.btnSlotBack();
        QCOMPARE(window.Pages()->currentIndex(), int(DRUI_DEVICE_PAGE));
        QCOMPARE(dropped.count(), 2);
    }

    void LinksComeFromTheIniFileWithDefaults() {
        CTempDir dir;
        const std::string strIni = dir.File("links.ini");
        const std::string strText = "about=https://example.org/who\n";
        QVERIFY(WriteWholeFile(strIni, strText.data(), strText.size()));
        const LINK_URLS urls = ReadLinkUrls(QString::fromStdString(strIni));
        QCOMPARE(urls.strAbout, QString("https://example.org/who"));
        QCOMPARE(urls.strSupport, QString("https://korvalo.example/support"));
        QCOMPARE(urls.strHelp, ReadLinkUrls(QString::fromStdString(dir.File("missing.ini"))).strHelp);
    }

private:
    QByteArray NoDisk() const { return QByteArray((m_home.Path() + "/none.img").c_str()); }

    CScopedAppHome m_home;
};

QTEST_MAIN(MainPagesTest)
#include "main_pages_test.moc"
