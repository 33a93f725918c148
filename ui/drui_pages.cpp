// The first two pages of the main window: the start page (categories to look for) and the device
// page (the partition to scan), with the title and bottom bars they share.
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/app_styles.h"
#include "ui/drui.h"
#include "ui/page_parts.h"

namespace {
constexpr const char* TITLE_TEXT = "\t\tFree Korvalo\n\t           Recover photos, videos, audios";
constexpr const char* DEVICE_HEADING_TEXT =
    "Select Media For Recovery\nPlease select a storage device below to scan for photos, audios, videos.";

// The link buttons shrink their image by this much.
constexpr double LINK_IMAGE_SHRINK = 2.5;
// Link buttons sit this far apart, the first (about) this far from the right edge.
constexpr int LINK_BUTTON_STEP = 30;
constexpr int LINK_BUTTON_RIGHT = 29;
constexpr int LINK_BUTTON_Y = 40;
constexpr int CHROME_BUTTON_SIZE = 24;

QPushButton* FlatIconButton(const char* szImage, QWidget* pParent) {
    auto* pButton = new QPushButton(pParent);
    pButton->setFlat(true);
    pButton->setCursor(Qt::PointingHandCursor);
    pButton->setIcon(QIcon(szImage));
    pButton->setIconSize(QSize(CHROME_BUTTON_SIZE, CHROME_BUTTON_SIZE));
    return pButton;
}
}  // namespace

QPushButton* DRUI::CreateButton(int nIndex, int x, QWidget* pParent) {
    static const char* const kImages[] = {":/image/about.png", ":/image/support.png", ":/image/help.png"};
    using Slot = void (DRUI::*)();
    static const Slot kSlots[] = {&DRUI::btnAboutSlot, &DRUI::btnSupportSlot, &DRUI::btnHelpSlot};
    if (nIndex < 0 || nIndex > 2) return nullptr;

    auto* pButton = new QPushButton(pParent);
    pButton->setFlat(true);
    pButton->setFont(QFont("Arial", 10, QFont::Bold));
    pButton->setGeometry(x, LINK_BUTTON_Y, 40, 20);
    const QPixmap image(kImages[nIndex]);
    // Without its image (not drawn yet) the button keeps the size it was placed with.
    if (!image.isNull()) pButton->resize(image.size() / LINK_IMAGE_SHRINK);
    pButton->setIcon(QIcon(image));
    pButton->setIconSize(pButton->size());
    pButton->setStyleSheet(BAR_BACKGROUND_STYLE);
    pButton->setCursor(Qt::PointingHandCursor);
    connect(pButton, &QPushButton::clicked, this, kSlots[nIndex]);
    return pButton;
}

QWidget* DRUI::CreateTitleBar(QWidget* pParent) {
    QLabel* pBar = AreaLabel(BAR_BACKGROUND_STYLE, 80, pParent);
    // Children of the bar are placed by hand: the link buttons have fixed spots.
    auto* pTitle = new QLabel(TITLE_TEXT, pBar);
    pTitle->setFont(QFont("Arial", 17, QFont::Bold));
    pTitle->setStyleSheet("color: white;");
    pTitle->setGeometry(20, 8, 700, 64);

    QPushButton* pClose = FlatIconButton(":/image/close.png", pBar);
    pClose->setGeometry(DRUI_WIDTH - 34, 6, 28, 28);
    connect(pClose, &QPushButton::clicked, this, &DRUI::btnCloseSlot);
    QPushButton* pMin = FlatIconButton(":/image/minimize.png", pBar);
    pMin->setGeometry(DRUI_WIDTH - 64, 6, 28, 28);
    connect(pMin, &QPushButton::clicked, this, &DRUI::btnMinSlot);

    for (int nIndex = 0; nIndex < 3; ++nIndex)
        CreateButton(nIndex, DRUI_WIDTH - LINK_BUTTON_RIGHT - nIndex * LINK_BUTTON_STEP, pBar);
    return pBar;
}

QVBoxLayout* DRUI::BeginPage(QWidget* pPage) {
    QVBoxLayout* pColumn = TightColumn(pPage);
    pColumn->addWidget(CreateTitleBar(pPage));
    pColumn->addWidget(GreyLine(pPage));
    return pColumn;
}

QHBoxLayout* DRUI::AddPageHeader(QVBoxLayout* pColumn, const char* szImage, const QString& strHeading, int nHeight,
                                 int nFontSize) {
    QWidget* pPage = pColumn->parentWidget();
    QLabel* pHeader = AreaLabel(START_AREA_STYLE, nHeight, pPage);
    QHBoxLayout* pHeaderRow = TightRow(pHeader);
    auto* pHeading = new QLabel(strHeading, pHeader);
    pHeading->setFont(QFont("Arial", nFontSize));
    pHeaderRow->addSpacing(20);
    pHeaderRow->addWidget(ImageLabel(szImage, pHeader));
    pHeaderRow->addSpacing(16);
    pHeaderRow->addWidget(pHeading, 1);
    pColumn->addWidget(pHeader);
    return pHeaderRow;
}

QWidget* DRUI::CreateBackRow(const QString& strMain, QPushButton*& pMainButton, int nButtonHeight, int nMargin,
                             QWidget* pParent) {
    constexpr int BUTTON_WIDTH = 140;
    auto* pButtons = new QWidget(pParent);
    QHBoxLayout* pButtonRow = TightRow(pButtons);
    QPushButton* pBack = MainButton("Back", QFont("Arial", 14, QFont::Bold), pButtons);
    pBack->setFixedSize(BUTTON_WIDTH, nButtonHeight);
    connect(pBack, &QPushButton::clicked, this, &DRUI::btnSlotBack);
    pMainButton = MainButton(strMain, QFont("Arial", 14, QFont::Bold), pButtons);
    pMainButton->setFixedSize(BUTTON_WIDTH, nButtonHeight);
    pButtonRow->setContentsMargins(40, nMargin, 40, nMargin);
    pButtonRow->addWidget(pBack);
    pButtonRow->addStretch();
    pButtonRow->addWidget(pMainButton);
    return pButtons;
}

QWidget* DRUI::CreateBottomBar(QWidget* pParent) {
    QLabel* pBar = AreaLabel(BAR_BACKGROUND_STYLE, 40, pParent);
    QHBoxLayout* pRow = TightRow(pBar);
    auto* pVersion = new QLabel(VERSION_TEXT, pBar);
    pVersion->setFont(QFont("Arial", 12));
    pVersion->setStyleSheet("color: white;");
    pRow->addSpacing(20);
    pRow->addWidget(pVersion);
    pRow->addStretch();
    return pBar;
}

QWidget* DRUI::CreateCategoryTile(const char* szStyle, const char* szImage, const QString& strCaption,
                                  QCheckBox*& pCheckBox, QWidget* pParent) {
    QLabel* pTile = AreaLabel(szStyle, 0, pParent);
    pTile->setFixedSize(260, 380);
    QVBoxLayout* pColumn = TightColumn(pTile);
    auto* pCaption = new QLabel(strCaption, pTile);
    pCaption->setFont(QFont("Arial", 14, QFont::Bold));
    pCaption->setAlignment(Qt::AlignCenter);
    pCheckBox = new QCheckBox(pTile);
    pCheckBox->setChecked(true);
    pCheckBox->setCursor(Qt::PointingHandCursor);
    connect(pCheckBox, &QCheckBox::stateChanged, this, &DRUI::CheckBoxStatChange);

    pColumn->addStretch();
    pColumn->addWidget(ImageLabel(szImage, pTile));
    pColumn->addWidget(pCaption);
    pColumn->addWidget(pCheckBox, 0, Qt::AlignHCenter);
    pColumn->addStretch();
    return pTile;
}

QWidget* DRUI::InitLayout1Widget() {
    auto* pPage = new QWidget(this);
    QVBoxLayout* pColumn = BeginPage(pPage);

    QLabel* pCategories = AreaLabel(CATEGORY_AREA_STYLE, 500, pPage);
    QHBoxLayout* pTiles = TightRow(pCategories);
    pTiles->addStretch();
    pTiles->addWidget(CreateCategoryTile(PHOTO_TILE_STYLE, ":/image/photo.png", "Photo", m_pPhotoCheckBox, pCategories));
    pTiles->addStretch();
    pTiles->addWidget(CreateCategoryTile(MUSIC_TILE_STYLE, ":/image/music.png", "Music", m_pMusicCheckBox, pCategories));
    pTiles->addStretch();
    pTiles->addWidget(CreateCategoryTile(VIDEO_TILE_STYLE, ":/image/video.png", "Video", m_pVideoCheckBox, pCategories));
    pTiles->addStretch();
    pColumn->addWidget(pCategories);

    QLabel* pStartArea = AreaLabel(START_AREA_STYLE, 90, pPage);
    QHBoxLayout* pStartRow = TightRow(pStartArea);
    m_pAllCheckBox = new QCheckBox(" Recover All", pStartArea);
    m_pAllCheckBox->setFont(QFont("Arial", 18, QFont::Bold));
    m_pAllCheckBox->setTristate(true);
    m_pAllCheckBox->setCheckState(Qt::Checked);
    m_pAllCheckBox->setCursor(Qt::PointingHandCursor);
    connect(m_pAllCheckBox, &QCheckBox::stateChanged, this, &DRUI::CheckBoxAllStatChange);
    m_pStartBtn = MainButton("Start", QFont("Arial", 25, QFont::Bold), pStartArea);
    m_pStartBtn->setFixedSize(220, 64);
    connect(m_pStartBtn, &QPushButton::clicked, this, &DRUI::btnSlot);
    pStartRow->addSpacing(60);
    pStartRow->addWidget(m_pAllCheckBox);
    pStartRow->addStretch();
    pStartRow->addWidget(m_pStartBtn);
    pStartRow->addSpacing(60);
    pColumn->addWidget(pStartArea);

    pColumn->addWidget(CreateBottomBar(pPage));
    return pPage;
}

QTreeWidget* DRUI::CreateDiskTree(QWidget* pParent) {
    auto* pTree = new QTreeWidget(pParent);
    pTree->setColumnCount(2);
    pTree->setHeaderLabels(QStringList{"Name", "Size"});
    pTree->setColumnWidth(0, 700);
    pTree->setColumnWidth(1, 100);
    pTree->setStyleSheet(DISK_TREE_STYLE);
    connect(pTree, &QTreeWidget::itemClicked, this, &DRUI::diskItemClick);
    connect(pTree, &QTreeWidget::itemDoubleClicked, this, &DRUI::diskItemDoubleClick);
    FillDiskTree(pTree, ListSessionDisks({}));
    return pTree;
}

QWidget* DRUI::InitLayout2Widget() {
    auto* pPage = new QWidget(this);
    QVBoxLayout* pColumn = BeginPage(pPage);

    AddPageHeader(pColumn, ":/image/scan_files.png", DEVICE_HEADING_TEXT, 70, 12);

    m_pDiskTree = CreateDiskTree(pPage);
    pColumn->addWidget(m_pDiskTree, 1);

    pColumn->addWidget(CreateBackRow("Scan", m_pScanBtn, 44, 10, pPage));
    connect(m_pScanBtn, &QPushButton::clicked, this, &DRUI::btnSlotScan);

    SetMainButtonEnabled(m_pScanBtn, m_pDiskTree->currentItem() != nullptr);
    pColumn->addWidget(CreateBottomBar(pPage));
    return pPage;
}
