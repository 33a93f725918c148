// The results page of the main window: the finds grouped by category and extension in a tree,
// the finds of one extension in a table, a preview of the chosen find, the ticked finds'
// summary, and "Recover".
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedLayout>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/app_styles.h"
#include "ui/drui.h"
#include "ui/page_parts.h"
#include "ui/result_table_model.h"
#include "ui/results_text.h"
#include "util/text.h"

namespace {
constexpr const char* RESULTS_HEADING_TEXT =
    "Select Desired Files to Recover\nFound %1 recoverable files after the scan. Please preview and choose the "
    "files you want to recover.";
// A tree row keeps the index of its extension here; group rows keep -1.
constexpr int TREE_ROW_ROLE = Qt::UserRole;
constexpr int GROUP_ROW = -1;
constexpr int TREE_WIDTH = 250;
constexpr int TABLE_ROW_HEIGHT = 22;
constexpr int NAME_COLUMN_WIDTH = 400;
// The folder dialog: folders only, links not resolved, Qt's own dialog.
constexpr QFileDialog::Options FOLDER_DIALOG_OPTIONS =
    QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks | QFileDialog::DontUseNativeDialog;

QString EightBitText(const std::string& strText) {
    return QString::fromStdWString(Ansi2Unicode(strText.c_str()));
}
}  // namespace

void DRUI::DropResults() {
    // The old page shows the old finds: it goes before they do.
    if (m_pResultsPage != nullptr) {
        m_pStackedLayout->removeWidget(m_pResultsPage);
        delete m_pResultsPage;
        m_pResultsPage = nullptr;
    }
    m_pFileTree = nullptr;
    m_pFileTable = nullptr;
    m_pTableModel = nullptr;
    m_pCurTreeItem = nullptr;
    m_vecTreeRowHits.clear();
    m_selection.Reset(nullptr);
    m_groups.Build(nullptr);
    m_pFinds.reset();
}

void DRUI::ShowResults(std::shared_ptr<const IFoundFiles> pFinds) {
    DropResults();
    m_pFinds = pFinds != nullptr ? std::move(pFinds) : std::make_shared<CFoundFilesInMemory>(std::vector<__SEARCH_FILE_INFO__>());
    m_groups.Build(m_pFinds.get());
    // Ticks belong to the finds of one scan: a new scan starts with none.
    m_selection.Reset(m_pFinds.get());
    m_pCurTreeItem = nullptr;
    m_nPreviewedRow = -1;
    m_pResultsPage = InitLayout3Widget();
    m_pStackedLayout->insertWidget(DRUI_RESULTS_PAGE, m_pResultsPage);
    m_pStackedLayout->setCurrentIndex(DRUI_RESULTS_PAGE);
}

QWidget* DRUI::InitLayout3Widget() {
    auto* pPage = new QWidget(this);
    QVBoxLayout* pColumn = BeginPage(pPage);
    QHBoxLayout* pHeaderRow = AddPageHeader(pColumn, ":/image/recover_file.png",
                                            QString(RESULTS_HEADING_TEXT).arg(m_pFinds->Count()), 60, 11);
    m_pSelectLabel = new QLabel(pPage);
    m_pSelectLabel->setFont(QFont("Arial", 12, QFont::Bold));
    pHeaderRow->addWidget(m_pSelectLabel);
    pHeaderRow->addSpacing(20);

    auto* pMiddle = new QWidget(pPage);
    QHBoxLayout* pMiddleRow = TightRow(pMiddle);
    pMiddleRow->setContentsMargins(8, 6, 8, 0);
    pMiddleRow->setSpacing(8);
    m_pFileTree = CreateTree(pMiddle);
    pMiddleRow->addWidget(m_pFileTree);
    auto* pRight = new QWidget(pMiddle);
    QVBoxLayout* pRightColumn = TightColumn(pRight);
    pRightColumn->setSpacing(4);
    m_pPreviewLabel = new QLabel(pRight);
    m_pPreviewLabel->setFixedSize(DRUI_PREVIEW_WIDTH, DRUI_PREVIEW_HEIGHT);
    m_pPreviewLabel->setStyleSheet("background-color: white; border: 1px solid rgb(191, 191, 191);");
    m_pPreviewLabel->setTextFormat(Qt::PlainText);
    pRightColumn->addWidget(m_pPreviewLabel);
    m_pFileTable = CreateTable(pRight);
    pRightColumn->addWidget(m_pFileTable, 1);
    pMiddleRow->addWidget(pRight, 1);
    pColumn->addWidget(pMiddle, 1);

    pColumn->addWidget(CreateBackRow("Recover", m_pRecoverBtn, 40, 6, pPage));
    connect(m_pRecoverBtn, &QPushButton::clicked, this, &DRUI::btnRecovery);

    pColumn->addWidget(CreateBottomBar(pPage));
    UpdateSelectionSummary();
    return pPage;
}

QTreeWidget* DRUI::CreateTree(QWidget* pParent) {
    auto* pTree = new QTreeWidget(pParent);
    pTree->setColumnCount(1);
    pTree->setHeaderLabels(QStringList{QString()});
    pTree->setFixedWidth(TREE_WIDTH);
    m_vecTreeRowHits.clear();
    for (int nGroup = 0; nGroup < RESULT_GROUP_COUNT; ++nGroup) {
        const auto eGroup = static_cast<RESULT_GROUP>(nGroup);
        if (m_groups.Count(eGroup) == 0) continue;
        auto* pGroupRow = new QTreeWidgetItem(pTree, QStringList{ResultGroupRowText(eGroup, m_groups.Count(eGroup))});
        pGroupRow->setData(0, TREE_ROW_ROLE, GROUP_ROW);
        pGroupRow->setCheckState(0, Qt::Unchecked);
        for (const auto& extension : m_groups.Group(eGroup)) {
            auto* pRow = new QTreeWidgetItem(pGroupRow, QStringList{ExtensionRowText(EightBitText(extension.first),
                                                                                     extension.second.size())});
            pRow->setIcon(0, QIcon(GetExtendNameIcon(extension.first.c_str())));
            pRow->setData(0, TREE_ROW_ROLE, static_cast<int>(m_vecTreeRowHits.size()));
            pRow->setCheckState(0, Qt::Unchecked);
            m_vecTreeRowHits.push_back(&extension.second);
        }
    }
    pTree->expandAll();
    connect(pTree, &QTreeWidget::itemSelectionChanged, this, &DRUI::treeItemSelectChanged);
    connect(pTree, &QTreeWidget::itemChanged, this, &DRUI::treeItemChanged);
    return pTree;
}

QTableView* DRUI::CreateTable(QWidget* pParent) {
    auto* pTable = new QTableView(pParent);
    m_pTableModel = new CResultTableModel(m_pFinds, m_selection, pTable);
    m_pTableModel->SetFolderOf([this](const __SEARCH_FILE_INFO__& hit) {
        return m_pResultJobs != nullptr ? m_pResultJobs->FolderOf(hit) : QString();
    });
    pTable->setModel(m_pTableModel);
    pTable->setColumnWidth(0, NAME_COLUMN_WIDTH);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Fixed row heights: the view never measures a million rows.
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    pTable->verticalHeader()->setDefaultSectionSize(TABLE_ROW_HEIGHT);
    pTable->verticalHeader()->hide();
    pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTable->setMouseTracking(true);
    pTable->setMinimumSize(300, 205);
    connect(m_pTableModel, &CResultTableModel::TicksChanged, this, &DRUI::tableTicksChanged);
    connect(pTable->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DRUI::tableItemSelectChanged);
    return pTable;
}

const HIT_POSITIONS* DRUI::ExtensionOfRow(const QTreeWidgetItem* item) const {
    const int nIndex = item != nullptr ? item->data(0, TREE_ROW_ROLE).toInt() : GROUP_ROW;
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_vecTreeRowHits.size()) return nullptr;
    return m_vecTreeRowHits[static_cast<size_t>(nIndex)];
}

HIT_POSITIONS DRUI::HitsUnder(const QTreeWidgetItem* item) const {
    if (const HIT_POSITIONS* pExtension = ExtensionOfRow(item)) return *pExtension;
    HIT_POSITIONS vecHits;
    for (int i = 0; item != nullptr && i < item->childCount(); ++i) {
        const HIT_POSITIONS* pChild = ExtensionOfRow(item->child(i));
        if (pChild != nullptr) vecHits.insert(vecHits.end(), pChild->begin(), pChild->end());
    }
    return vecHits;
}

void DRUI::treeItemSelectChanged() {
    const QList<QTreeWidgetItem*> selected = m_pFileTree->selectedItems();
    if (selected.isEmpty()) return;
    m_pCurTreeItem = selected.first();
    UpdateTreeInfo(m_pCurTreeItem);
}

void DRUI::UpdateTreeInfo(QTreeWidgetItem* item) {
    const HIT_POSITIONS* pRows = ExtensionOfRow(item);
    m_nPreviewedRow = -1;
    m_pTableModel->ShowRows(pRows, item != nullptr ? item->icon(0) : QIcon());
    UpdateSelectionSummary();
    // The first find is previewed at once, as a click on it would.
    if (m_pTableModel->rowCount() > 0) m_pFileTable->selectRow(0);
}

void DRUI::treeItemChanged(QTreeWidgetItem* item, int column) {
    if (column != 0) return;
    const Qt::CheckState eState = item->checkState(0);
    // A partly ticked row was set so by its children: the selection stays as it is.
    if (eState == Qt::PartiallyChecked) return;
    m_selection.SetAll(HitsUnder(item), eState == Qt::Checked);
    SetTreeChildCheckState(item, eState == Qt::Checked ? 2 : 0);
    SetTreeParentCheckState(item);
    m_pTableModel->RefreshTicks();
    UpdateSelectionSummary();
}

void DRUI::SetTreeChildCheckState(QTreeWidgetItem* item, int nState) {
    // Ticks set from here are no user's: the tree's change signal must not act on them.
    const QSignalBlocker quiet(m_pFileTree);
    for (int i = 0; i < item->childCount(); ++i) {
        item->child(i)->setCheckState(0, nState != 0 ? Qt::Checked : Qt::Unchecked);
        SetTreeChildCheckState(item->child(i), nState);
    }
}

void DRUI::SetTreeParentCheckState(QTreeWidgetItem* item) {
    const QSignalBlocker quiet(m_pFileTree);
    for (QTreeWidgetItem* pParent = item->parent(); pParent != nullptr; pParent = pParent->parent()) {
        int nTicked = 0;
        int nUnticked = 0;
        for (int i = 0; i < pParent->childCount(); ++i) {
            const Qt::CheckState eChild = pParent->child(i)->checkState(0);
            nTicked += eChild == Qt::Checked ? 1 : 0;
            nUnticked += eChild == Qt::Unchecked ? 1 : 0;
        }
        const int nChildren = pParent->childCount();
        pParent->setCheckState(0, nTicked == nChildren     ? Qt::Checked
                                  : nUnticked == nChildren ? Qt::Unchecked
                                                           : Qt::PartiallyChecked);
    }
}

void DRUI::tableTicksChanged() {
    if (m_pCurTreeItem != nullptr && m_pTableModel->Rows() != nullptr) {
        {
            const QSignalBlocker quiet(m_pFileTree);
            m_pCurTreeItem->setCheckState(0, m_selection.StateOf(*m_pTableModel->Rows()));
        }
        SetTreeParentCheckState(m_pCurTreeItem);
    }
    UpdateSelectionSummary();
}

void DRUI::UpdateSelectionSummary() {
    m_pSelectLabel->setText(SelectionSummary(m_selection.Bytes(), m_selection.Count()));
    SetMainButtonEnabled(m_pRecoverBtn, m_selection.Count() != 0);
}

void DRUI::tableItemSelectChanged() {
    const QModelIndexList rows = m_pFileTable->selectionModel()->selectedRows();
    if (!rows.isEmpty()) PreviewRow(rows.first().row());
}

void DRUI::PreviewRow(int nRow) {
    const long long nHit = m_pTableModel->HitOfRow(nRow);
    if (nHit < 0 || nRow == m_nPreviewedRow || m_pResultJobs == nullptr) return;
    m_nPreviewedRow = nRow;
    __SEARCH_FILE_INFO__ hit;
    if (!m_pFinds->Record(static_cast<size_t>(nHit), hit)) return;
    ShowPreview(m_pResultJobs->RunPreview(hit, FindName(m_pFinds->Name(static_cast<size_t>(nHit)))));
}

void DRUI::ShowPreview(const PREVIEW_RESULT& preview) {
    if (!preview.strPicturePath.isEmpty()) {
        // A picture that cannot be loaded leaves the area as it was.
        if (!QFileInfo::exists(preview.strPicturePath)) return;
        const QPixmap picture(preview.strPicturePath);
        if (picture.isNull()) return;
        m_pPreviewLabel->setAlignment(Qt::AlignCenter);
        // Shown as it is when it fits; a tall picture is scaled down too, as a wide one is, so
        // it is never shown as a slice of its middle.
        const bool bFits = picture.width() <= DRUI_PREVIEW_FIT_WIDTH && picture.height() <= DRUI_PREVIEW_HEIGHT;
        m_pPreviewLabel->setPixmap(bFits ? picture
                                         : picture.scaled(DRUI_PREVIEW_FIT_WIDTH, DRUI_PREVIEW_HEIGHT,
                                                          Qt::KeepAspectRatio, Qt::FastTransformation));
        return;
    }
    const QByteArray text = WinHexBufData(reinterpret_cast<const unsigned char*>(preview.bytes.constData()),
                                          static_cast<int>(preview.bytes.size()));
    m_pPreviewLabel->setFont(QFont("Arial", 11));
    m_pPreviewLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pPreviewLabel->setText(EightBitText(text.toStdString()));
}

void DRUI::btnRecovery() {
    const QString strFolder = QFileDialog::getExistingDirectory(this, QString(), "/", FOLDER_DIALOG_OPTIONS);
    if (strFolder.isNull()) return;
    RecoverInto(strFolder);
}

void DRUI::RecoverInto(const QString& strFolder) {
    if (m_selection.Count() == 0 || m_pResultJobs == nullptr) return;
    std::vector<__SEARCH_FILE_INFO__> vecChosen;
    vecChosen.reserve(m_selection.Count());
    size_t nUnread = 0;
    __SEARCH_FILE_INFO__ hit;
    for (const uint32_t nHit : m_selection.Chosen()) {
        if (m_pFinds->Record(nHit, hit))
            vecChosen.push_back(hit);
        else
            ++nUnread;
    }
    m_pResultJobs->RunRecovery(vecChosen, nUnread, strFolder);
}
