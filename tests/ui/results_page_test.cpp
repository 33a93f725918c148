// The results page over made-up finds, with a stand-in for the jobs: the tree's grouping, ticks
// passed between tree rows and table rows, the summary and "Recover", previews shown as a
// picture or as text, and a new scan's page starting without ticks. Runs offscreen.
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "ui/drui.h"
#include "ui/result_table_model.h"

namespace {
__SEARCH_FILE_INFO__ Find(const char* szName, unsigned long long u64Size, int nSource = 0) {
    __SEARCH_FILE_INFO__ hit{};
    strncpy(hit.szFileName, szName, sizeof(hit.szFileName) - 1);
    hit.u64FileSize = u64Size;
    hit.nSourceType = nSource;
    // Every find has the same record numbers: only their places tell them apart.
    hit.nFileIndex = 7;
    hit.nDirIndex = 9;
    return hit;
}

class CFakeJobs : public IResultJobs {
public:
    PREVIEW_RESULT RunPreview(const __SEARCH_FILE_INFO__& hit, const QString&) override {
        vecPreviewed.push_back(hit.szFileName);
        return preview;
    }
    void RunRecovery(const std::vector<__SEARCH_FILE_INFO__>& vecChosen, size_t nUnreadable,
                     const QString& strFolder) override {
        for (const auto& hit : vecChosen) vecRecovered.push_back(hit.szFileName);
        nLeftOut = nUnreadable;
        strRecoveredInto = strFolder;
    }
    QString FolderOf(const __SEARCH_FILE_INFO__&) override { return "DCIM/100/"; }

    PREVIEW_RESULT preview;
    QStringList vecPreviewed, vecRecovered;
    QString strRecoveredInto;
    size_t nLeftOut = 0;
};

// Finds in memory whose records named in setLost cannot be read back, as when a scan's results
// were lost.
class CLossyFinds : public CFoundFilesInMemory {
public:
    CLossyFinds(std::vector<__SEARCH_FILE_INFO__> vecHits, std::set<std::string> setLost)
        : CFoundFilesInMemory(std::move(vecHits)), m_setLost(std::move(setLost)) {}
    bool Record(size_t nPos, __SEARCH_FILE_INFO__& hit) const override {
        return m_setLost.count(std::string(Name(nPos))) == 0 && CFoundFilesInMemory::Record(nPos, hit);
    }

private:
    std::set<std::string> m_setLost;
};

std::shared_ptr<const IFoundFiles> Finds(std::vector<__SEARCH_FILE_INFO__> vecHits, std::set<std::string> setLost = {}) {
    return std::make_shared<CLossyFinds>(std::move(vecHits), std::move(setLost));
}

QStringList RowTexts(const QTreeWidgetItem* pParent) {
    QStringList texts;
    for (int i = 0; i < pParent->childCount(); ++i) texts << pParent->child(i)->text(0);
    return texts;
}

QSize ShownPicture(const DRUI& window) {
    return window.PreviewLabel()->pixmap().size();
}
}  // namespace

class ResultsPageTest : public QObject {
    Q_OBJECT

private slots:
    void GroupsTicksSummaryAndRecover() {
        DRUI window;
        window.Init();
        CFakeJobs jobs;
        window.SetResultJobs(&jobs);
        // x.rm's record cannot be read back: it is listed, but left out of a recovery, and said so.
        window.ShowResults(Finds({Find("a.JPG", 1000), Find("b.jpg", 2000, 2), Find("c.mp3", 10), Find("d", 1),
                                  Find("x.rm", 1), Find("y.rtf", 1)},
                                 {"x.rm"}));
        QTreeWidget* pTree = window.FileTree();
        QStringList groups;
        for (int i = 0; i < pTree->topLevelItemCount(); ++i) groups << pTree->topLevelItem(i)->text(0);
        QCOMPARE(groups, (QStringList{"Photo(2)", "Music(2)", "Archive(1)", "Other(1)"}));
        QCOMPARE(RowTexts(pTree->topLevelItem(0)), QStringList{"jpg Files (2)"});
        QCOMPARE(RowTexts(pTree->topLevelItem(1)), (QStringList{"mp3 Files (1)", "rm Files (1)"}));
        QCOMPARE(RowTexts(pTree->topLevelItem(2)), QStringList{"rtf Files (1)"});
        QCOMPARE(RowTexts(pTree->topLevelItem(3)), QStringList{"unKnow Files (1)"});
        QCOMPARE(window.SelectLabel()->text(), QString("Select 0 Bytes in 0 file"));
        QVERIFY(!window.RecoverButton()->isEnabled());

        // Ticking a group ticks its extensions and their finds.
        QTreeWidgetItem* pPhoto = pTree->topLevelItem(0);
        QTreeWidgetItem* pJpg = pPhoto->child(0);
        pPhoto->setCheckState(0, Qt::Checked);
        QCOMPARE(pJpg->checkState(0), Qt::Checked);
        QCOMPARE(window.Selection().Count(), size_t(2));
        QVERIFY(window.SelectLabel()->text().endsWith("in 2 files"));
        QVERIFY(window.RecoverButton()->isEnabled());

        // Choosing the extension lists its finds and previews the first at once.
        pJpg->setSelected(true);
        QAbstractItemModel* pModel = window.FileTable()->model();
        QCOMPARE(pModel->rowCount(), 2);
        QCOMPARE(jobs.vecPreviewed, QStringList{"a.JPG"});
        QCOMPARE(pModel->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(pModel->index(1, 0).data(Qt::ToolTipRole).toString(), QString("DCIM/100/b.jpg"));
        QCOMPARE(pModel->index(0, 0).data(FILE_NODE_ROLE).typeName(), "_FILE_NODE_");

        // Unticking one find in the table leaves both rows partly ticked.
        pModel->setData(pModel->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(pJpg->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(pPhoto->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(window.SelectLabel()->text(), QString("Select 1.95 KB in 1 file"));

        // A click on the other row previews it; a second selection of it does not.
        QTableView* pTable = window.FileTable();
        pTable->show();
        const QRect row1 = pTable->visualRect(pModel->index(1, 1));
        QTest::mouseClick(pTable->viewport(), Qt::LeftButton, {}, row1.center());
        QCOMPARE(jobs.vecPreviewed, (QStringList{"a.JPG", "b.jpg"}));

        // Finds with equal record numbers stay apart: ticking the music group adds two more.
        pTree->topLevelItem(1)->setCheckState(0, Qt::Checked);
        QCOMPARE(window.Selection().Count(), size_t(3));
        window.RecoverInto("/tmp/out");
        QCOMPARE(jobs.vecRecovered, (QStringList{"b.jpg", "c.mp3"}));
        QCOMPARE(jobs.nLeftOut, size_t(1));
        QCOMPARE(jobs.strRecoveredInto, QString("/tmp/out"));

        // A new scan's page starts with nothing ticked.
        window.ShowResults(Finds({Find("e.png", 5)}));
        QCOMPARE(window.Selection().Count(), size_t(0));
        QCOMPARE(window.FileTree()->topLevelItem(0)->checkState(0), Qt::Unchecked);
        QVERIFY(!window.RecoverButton()->isEnabled());
    }

    void PreviewShowsPicturesFittedAndOtherFilesAsText() {
        DRUI window;
        window.Init();
        window.ShowResults(Finds({Find("a.jpg", 1)}));
        QTemporaryDir dir;
        struct CASE {
            QSize picture, shown;
        } cases[] = {{{100, 50}, {100, 50}}, {{1400, 300}, {700, 150}}, {{100, 400}, {50, 200}}};
        for (const CASE& c : cases) {
            const QString strPath = dir.filePath(QString("p%1.png").arg(c.picture.width()));
            QImage picture(c.picture, QImage::Format_RGB32);
            picture.fill(Qt::red);
            QVERIFY(picture.save(strPath));
            window.ShowPreview({strPath, QByteArray()});
            QCOMPARE(ShownPicture(window), c.shown);
        }
        // A picture that cannot be loaded leaves the area as it was.
        window.ShowPreview({dir.filePath("missing.png"), QByteArray()});
        QCOMPARE(ShownPicture(window), QSize(50, 200));

        QByteArray bytes(256, 'A');
        bytes[3] = '\0';
        window.ShowPreview({QString(), bytes});
        QCOMPARE(window.PreviewLabel()->text(), "AAA." + QString(252, 'A') + "\r\n");
        QCOMPARE(window.PreviewLabel()->textFormat(), Qt::PlainText);
    }
};

QTEST_MAIN(ResultsPageTest)
#include "results_page_test.moc"
