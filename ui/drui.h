#pragma once
// DRUI: the main window. A frameless window of fixed size that holds its pages in a stacked
// layout; it is dragged by any free spot, a right click closes it, and Escape does nothing.
// The start page picks the categories to look for, the device page the partition to scan.
#include <QMainWindow>
#include <vector>

#include "ui/disk_tree.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QStackedLayout;
class QTreeWidget;
class QTreeWidgetItem;

// Size of the main window.
constexpr int DRUI_WIDTH = 1000;
constexpr int DRUI_HEIGHT = 660;
// Bytes a preview may fill in memory, and the text view of it twice that.
constexpr int DRUI_PREVIEW_BYTES = 10240;

// Pages of the stacked layout, in the order they are added.
enum DRUI_PAGE { DRUI_START_PAGE = 0, DRUI_DEVICE_PAGE = 1, DRUI_RESULTS_PAGE = 2 };

class DRUI : public QMainWindow {
    Q_OBJECT

public:
    explicit DRUI(QWidget* pParent = nullptr);
    ~DRUI() override;

    // Makes the preview buffers, the pages, the page stack and the application folders.
    void Init();

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

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    // The page builders (drui_pages.cpp).
    QWidget* InitLayout1Widget();
    QWidget* InitLayout2Widget();
    QWidget* CreateTitleBar(QWidget* pParent);
    QWidget* CreateBottomBar(QWidget* pParent);
    QWidget* CreateCategoryTile(const char* szStyle, const char* szImage, const QString& strCaption,
                                QCheckBox*& pCheckBox, QWidget* pParent);
    QTreeWidget* CreateDiskTree(QWidget* pParent);
    QPushButton* CreateButton(int nIndex, int x, QWidget* pParent);

    // A main button is enabled in blue, disabled in grey.
    static void SetMainButtonEnabled(QPushButton* pButton, bool bEnabled);

    QStackedLayout* m_pStackedLayout = nullptr;
    std::vector<unsigned char> m_vecPreviewBuf;
    std::vector<char> m_vecPreviewText;

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
};
