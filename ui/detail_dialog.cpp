#include "ui/detail_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/app_widgets.h"
#include "ui/window_drag.h"

namespace {
constexpr int ROW_HEIGHT = 22;
constexpr int TOP_BAR_MIN_HEIGHT = 70;
}  // namespace

CDetail::CDetail(QWidget* pParent) : QDialog(pParent, Qt::Dialog | Qt::FramelessWindowHint) {
    InitDialog();
    setFixedSize(DETAIL_WIDTH, DETAIL_HEIGHT);
    // Not shown (no frame), but it names the window for the desktop and scripts.
    setWindowTitle("Recovery Detail");
    installEventFilter(new CWindowDrag(this));
}

void CDetail::InitDialog() {
    m_pSummary = MakeBarTitle(QString(), TOP_BAR_MIN_HEIGHT);
    UpdateSummary();
    CreateTable();

    QPushButton* pOk = MakeGreyButton("OK", QSize(80, 25));
    connect(pOk, &QPushButton::clicked, this, &CDetail::btnSlot);
    QHBoxLayout* pBottom = new QHBoxLayout();
    pBottom->addStretch();
    pBottom->addWidget(pOk);
    pBottom->setContentsMargins(10, 8, 10, 8);

    QVBoxLayout* pLayout = new QVBoxLayout(this);
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pSummary);
    pLayout->addWidget(m_pTable);
    pLayout->addLayout(pBottom);
}

void CDetail::CreateTable() {
    m_pTable = new QTableWidget(0, 2);
    m_pTable->setHorizontalHeaderLabels({"Name", "Status"});
    m_pTable->setColumnWidth(0, 400);
    m_pTable->setColumnWidth(1, 300);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void CDetail::AddTableItem(const QString& strName, int bFailed) {
    QTableWidgetItem* pName = new QTableWidgetItem(strName);
    QTableWidgetItem* pStatus = new QTableWidgetItem();
    int nRow = 0;
    if (bFailed == FILE_PARTIAL) {
        nRow = m_nFailed + m_nPartial;
        m_pTable->insertRow(nRow);
        pStatus->setText("Partial: unreadable sectors");
        pStatus->setForeground(QColor(230, 120, 0));
        ++m_nPartial;
    } else if (bFailed != 0) {
        m_pTable->insertRow(0);
        pStatus->setText("Failed");
        pStatus->setForeground(QColor(255, 0, 0));
        ++m_nFailed;
    } else {
        nRow = m_pTable->rowCount();
        m_pTable->insertRow(nRow);
        pStatus->setText("Success");
        ++m_nSuccess;
    }
    m_pTable->setItem(nRow, 0, pName);
    m_pTable->setItem(nRow, 1, pStatus);
    m_pTable->setRowHeight(nRow, ROW_HEIGHT);
    UpdateSummary();
}

QString CDetail::SummaryText() const {
    return m_pSummary->text();
}

void CDetail::UpdateSummary() {
    QString strText = QString("  Recovery Detail\n  Sucess:%1 Failed:%2").arg(m_nSuccess).arg(m_nFailed);
    if (m_nPartial != 0) strText += QString(" Partial:%1").arg(m_nPartial);
    m_pSummary->setText(strText + "\n");
}

void CDetail::btnSlot() {
    close();
}
