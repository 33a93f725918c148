#pragma once
// DRUI: the main window. A frameless window of fixed size that holds its pages in a stacked
// layout; it is dragged by any free spot, a right click closes it, and Escape does nothing.
// The start page picks the categories to look for, the device page the partition to scan, the
// results page (drui_results.cpp) the finds to recover.
#include <QMainWindow>
#include <memory>
#include <vector>

#include "ui/disk_tree.h"
#include "ui/found_files.h"
#include "ui/recovery_selection.h"
#include "ui/result_groups.h"
#include "ui/result_jobs.h"

class CResultTableModel;
class QCheckBox;
class QHBoxLayout;
class QVBoxLayout;
class QLabel;
class QPushButton;
class QStackedLayout;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

// Size of the main window.
constexpr int DRUI_WIDTH = 1000;
constexpr int DRUI_HEIGHT = 660;
// The preview area, and the box a picture must fit to be shown as it is.
constexpr int DRUI_PREVIEW_WIDTH = 720;
constexpr int DRUI_PREVIEW_HEIGHT = 200;
constexpr int DRUI_PREVIEW_FIT_WIDTH = 700;

// Pages of the stacked layout, in the order they are added.
enum DRUI_PAGE { DRUI_START_PAGE = 0, DRUI_DEVICE_PAGE = 1, DRUI_RESULTS_PAGE = 2 };

class DRUI : public QMainWindow {
    Q_OBJECT

public:
    explicit DRUI(QWidget* pParent = nullptr);
    ~DRUI() override;

    // Makes the pages, the page stack and the application folders.
    void Init();
    // Who runs the preview and recovery jobs of the results page (not owned).
    void SetResultJobs(IResultJobs* pJobs) { m_pResultJobs = pJobs; }
    // Builds a new results page over these finds and shows it; ticks of an earlier scan go.
    void ShowResults(std::shared_ptr<const IFoundFiles> pFinds);
    // Removes the results page and lets go of its finds (before whatever they read from goes).
    void DropResults();

    QStackedLayout* Pages() const { return m_pStackedLayout; }
    QPushButton* StartButton() const { return m_pStartBtn; }
    QPushButton* ScanButton() const { return m_pScanBtn; }
    QCheckBox* AllCheckBox() const { return m_pAllCheckBox; }
    QCheckBox* PhotoCheckBox() const { return m_pPhotoCheckBox; }
    QCheckBox* MusicCheckBox() const { return m_pMusicCheckBox; }
    QCheckBox* VideoCheckBox() const { return m_pVideoCheckBox; }
    QTreeWidget* DiskTree() const { return m_pDiskTree; }
    // The area the last press of "Scan" asked for.
    const _PARTITION_ITEM_& ScanItem() const { return m_scanItem; }
    // The results page's parts (null before the first results).
    QTreeWidget* FileTree() const { return m_pFileTree; }
    QTableView* FileTable() const { return m_pFileTable; }
    QLabel* PreviewLabel() const { return m_pPreviewLabel; }
    QLabel* SelectLabel() const { return m_pSelectLabel; }
    QPushButton* RecoverButton() const { return m_pRecoverBtn; }
    const CRecoverySelection& Selection() const { return m_selection; }
    // Recovers the ticked finds into strFolder (what "Recover" does once a folder is chosen).
    void RecoverInto(const QString& strFolder);
    // Shows what a preview job gave: a picture, or the text view of the first bytes.
    void ShowPreview(const PREVIEW_RESULT& preview);

signals:
    // "Scan" was pressed (or a row double-clicked) for this area.
    void ScanRequested(_PARTITION_ITEM_ item);
    // "Back" left the results: the engine of the last scan is no longer needed.
    void LastScanDropped();

public slots:
    void btnSlot();
    void btnSlotBack();
    void btnSlotScan();
    void btnMinSlot();
    void btnCloseSlot();
    void btnAboutSlot();
    void btnSupportSlot();
    void btnHelpSlot();
    void btnOpenUrl(QString url);
    void CheckBoxStatChange(int nStat);
    void CheckBoxAllStatChange(int nStat);
    void diskItemClick(QTreeWidgetItem* item, int column);
    void diskItemDoubleClick(QTreeWidgetItem* item, int column);
    // The results page (drui_results.cpp).
    void btnRecovery();
    void treeItemSelectChanged();
    void treeItemChanged(QTreeWidgetItem* item, int column);
    void tableTicksChanged();
    void tableItemSelectChanged();

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    // The page builders (drui_pages.cpp).
    QWidget* InitLayout1Widget();
    QWidget* InitLayout2Widget();
    QWidget* CreateTitleBar(QWidget* pParent);
    // A page's column, begun with the title bar and the grey line under it.
    QVBoxLayout* BeginPage(QWidget* pPage);
    // The light header under the grey line: image and heading; the row is returned for more.
    QHBoxLayout* AddPageHeader(QVBoxLayout* pColumn, const char* szImage, const QString& strHeading, int nHeight,
                               int nFontSize);
    QWidget* CreateBottomBar(QWidget* pParent);
    // "Back" at the left and the page's main button at the right (returned in pMainButton).
    QWidget* CreateBackRow(const QString& strMain, QPushButton*& pMainButton, int nButtonHeight, int nMargin,
                           QWidget* pParent);
    QWidget* CreateCategoryTile(const char* szStyle, const char* szImage, const QString& strCaption,
                                QCheckBox*& pCheckBox, QWidget* pParent);
    QTreeWidget* CreateDiskTree(QWidget* pParent);
    QPushButton* CreateButton(int nIndex, int x, QWidget* pParent);
    QWidget* InitLayout3Widget();
    QTreeWidget* CreateTree(QWidget* pParent);
    QTableView* CreateTable(QWidget* pParent);
    // Shows the finds of a tree row in the table (none for a group row) and previews the first.
    void UpdateTreeInfo(QTreeWidgetItem* item);
    // The finds under a tree row: its extension's, or every extension's of a group row.
    HIT_POSITIONS HitsUnder(const QTreeWidgetItem* item) const;
    const HIT_POSITIONS* ExtensionOfRow(const QTreeWidgetItem* item) const;
    void SetTreeChildCheckState(QTreeWidgetItem* item, int nState);
    void SetTreeParentCheckState(QTreeWidgetItem* item);
    void UpdateSelectionSummary();
    void PreviewRow(int nRow);

    // A main button is enabled in blue, disabled in grey.
    static void SetMainButtonEnabled(QPushButton* pButton, bool bEnabled);

    QStackedLayout* m_pStackedLayout = nullptr;

    QPushButton* m_pStartBtn = nullptr;
    QCheckBox* m_pAllCheckBox = nullptr;
    QCheckBox* m_pPhotoCheckBox = nullptr;
    QCheckBox* m_pMusicCheckBox = nullptr;
    QCheckBox* m_pVideoCheckBox = nullptr;
    // True while the three category boxes are mixed.
    bool m_bPartialCheck = false;
    QTreeWidget* m_pDiskTree = nullptr;
    QPushButton* m_pScanBtn = nullptr;
    _PARTITION_ITEM_ m_scanItem{};

    // The results page.
    IResultJobs* m_pResultJobs = nullptr;
    std::shared_ptr<const IFoundFiles> m_pFinds;
    CResultGroups m_groups;
    CRecoverySelection m_selection;
    // The extension of each extension row of the tree, by the index the row keeps.
    std::vector<const HIT_POSITIONS*> m_vecTreeRowHits;
    QWidget* m_pResultsPage = nullptr;
    QTreeWidget* m_pFileTree = nullptr;
    QTableView* m_pFileTable = nullptr;
    CResultTableModel* m_pTableModel = nullptr;
    QLabel* m_pPreviewLabel = nullptr;
    QLabel* m_pSelectLabel = nullptr;
    QPushButton* m_pRecoverBtn = nullptr;
    QTreeWidgetItem* m_pCurTreeItem = nullptr;
    // The row whose preview shows, so a click on it again does not preview it twice.
    int m_nPreviewedRow = -1;
};
