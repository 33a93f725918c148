#include "ui/scan_dialog.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/app_widgets.h"
#include "ui/job_reports.h"
#include "ui/message_box.h"
#include "ui/window_drag.h"

namespace {
constexpr int TOP_BAR_MIN_HEIGHT = 70;
const QSize BUTTON_SIZE(100, 28);
constexpr int QUESTION_WIDTH = 400;
constexpr int QUESTION_HEIGHT = 150;
constexpr int QUESTION_OFFSET_DIVISOR = 8;  // the question sits an eighth of the dialog in
// The recovery job's closing report carries this weight.
constexpr int RECOVERY_CLOSING_WEIGHT = 1000;
}  // namespace

SCANUI::SCANUI(QWidget* pParent) : QDialog(pParent, Qt::Dialog | Qt::FramelessWindowHint) {
    setFixedSize(SCAN_DIALOG_WIDTH, SCAN_DIALOG_HEIGHT);
    setModal(true);
    installEventFilter(new CWindowDrag(this));
}

void SCANUI::InitSlot(CJobReports* pOwner, JOB_KIND eKind, const QString& strPreviewName) {
    m_pOwner = pOwner;
    m_eKind = eKind;
    m_strPreviewName = strPreviewName;
    InitDialog();
    m_pProgressBar->setValue(0);
    m_pStatus->setText(JobInitialStatusText(eKind));
    // Reports come from the worker thread; queued, they reach the slots on this thread in order.
    connect(pOwner, &CJobReports::ScanProcessCallBack, this, &SCANUI::ScanProcessCallBackSlot, Qt::QueuedConnection);
    connect(pOwner, &CJobReports::RecoveryCallBack, this, &SCANUI::RecoveryCallBackSlot, Qt::QueuedConnection);
    connect(pOwner, &CJobReports::SearchCallBack, this, &SCANUI::SearchCallBackSlot, Qt::QueuedConnection);
    connect(pOwner, &CJobReports::PreViewCallBackForSlot, this, &SCANUI::PreViewCallBackSlot, Qt::QueuedConnection);
}

void SCANUI::InitDialog() {
    m_pTitle = MakeBarTitle(JobTitleText(m_eKind, m_strPreviewName), TOP_BAR_MIN_HEIGHT);
    // Not shown (the dialog has no frame), but it names the window for the desktop and scripts.
    setWindowTitle(JobTitleText(m_eKind, m_strPreviewName).section('\n', 0, 0).trimmed());

    m_pStatus = new QLabel();
    m_pStatus->setFont(QFont("Arial", 10));
    m_pProgressBar = new QProgressBar();
    m_pProgressBar->setRange(0, 100);
    m_pProgressBar->setTextVisible(false);

    QHBoxLayout* pButtons = new QHBoxLayout();
    pButtons->setContentsMargins(10, 6, 10, 10);
    pButtons->addStretch();
    if (m_eKind == JOB_RECOVERY) {
        QPushButton* pDetail = MakeGreyButton("Detail", BUTTON_SIZE);
        QPushButton* pOpen = MakeGreyButton("Open Folder", BUTTON_SIZE);
        connect(pDetail, &QPushButton::clicked, this, &SCANUI::btnDetail);
        connect(pOpen, &QPushButton::clicked, this, &SCANUI::btnOpenFolder);
        pButtons->addWidget(pDetail);
        pButtons->addWidget(pOpen);
    }
    m_pFinishButton = MakeGreyButton("Cancel", BUTTON_SIZE);
    connect(m_pFinishButton, &QPushButton::clicked, this, &SCANUI::btnSlot);
    pButtons->addWidget(m_pFinishButton);

    QVBoxLayout* pMiddle = new QVBoxLayout();
    pMiddle->setContentsMargins(10, 6, 10, 0);
    pMiddle->addWidget(m_pStatus, 1);
    pMiddle->addWidget(m_pProgressBar);

    QVBoxLayout* pLayout = new QVBoxLayout(this);
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addWidget(m_pTitle);
    pLayout->addLayout(pMiddle, 1);
    pLayout->addLayout(pButtons);
}

int SCANUI::BarValue() const {
    return m_pProgressBar->value();
}

QString SCANUI::StatusText() const {
    return m_pStatus->text();
}

QString SCANUI::FinishButtonText() const {
    return m_pFinishButton->text();
}

void SCANUI::Finish() {
    m_bIsFinished = true;
    close();
}

void SCANUI::ScanProcessCallBackSlot(int nProgress, int nPercent, int nRemaindSecond, QString u64CurSectorStr,
                                     QString u64SectorCountStr, QString u64FindFileCountStr,
                                     QString pRecoveryFileName) {
    m_pProgressBar->setValue(WeightedProgress(nProgress, nPercent));
    m_strFileName = pRecoveryFileName;
    m_pStatus->setText(ScanStatusText(nProgress, nPercent, nRemaindSecond, u64CurSectorStr, u64SectorCountStr,
                                      u64FindFileCountStr));
    if (IsClosingScanReport(nProgress, nPercent)) Finish();
}

void SCANUI::RecoveryCallBackSlot(int nProgress, int nPercent, int nErrorCode, QString pRecoveryFileName) {
    m_pProgressBar->setValue(WeightedProgress(nProgress, nPercent));
    m_strFileName = pRecoveryFileName;
    // The job's own closing report, sent after its last file: the dialog stays for the detail.
    if (m_pOwner != nullptr && m_pOwner->IsStopRequested(JOB_RECOVERY) && nPercent == RECOVERY_CLOSING_WEIGHT) {
        m_bIsFinished = true;
        m_pFinishButton->setText("Finished");
        return;
    }
    if (nProgress == 100) m_detail.AddTableItem(pRecoveryFileName, nErrorCode);
    m_pStatus->setText(RecoveryStatusText(nProgress, nPercent, pRecoveryFileName));
}

void SCANUI::SearchCallBackSlot(int nProgress, QString pRecoveryFileName) {
    m_pProgressBar->setValue(nProgress);
    m_strFileName = pRecoveryFileName;
    m_pStatus->setText(SearchStatusText(nProgress));
    if (nProgress == 100 && m_pOwner != nullptr && m_pOwner->IsDone(JOB_SEARCH)) Finish();
}

void SCANUI::PreViewCallBackSlot(int nProgress, int) {
    m_pProgressBar->setValue(nProgress);
    m_pStatus->setText(PreviewStatusText(nProgress, m_strPreviewName));
    if (nProgress == 100) Finish();
}

void SCANUI::btnSlot() {
    close();
}

void SCANUI::btnDetail() {
    m_detail.move(pos());
    m_detail.setFixedSize(DETAIL_WIDTH, DETAIL_HEIGHT);
    m_detail.exec();
}

void SCANUI::btnOpenFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_strSaveDir));
}

void SCANUI::closeEvent(QCloseEvent* pEvent) {
    if (m_bIsFinished) {
        pEvent->accept();
        return;
    }
    const bool bRecoveryDone = m_eKind == JOB_RECOVERY && m_pFinishButton->text() == "Finished";
    if (!bRecoveryDone) {
        CMessageBox question(this);
        question.move(pos() + QPoint(width() / QUESTION_OFFSET_DIVISOR, height() / QUESTION_OFFSET_DIVISOR));
        question.setFixedSize(QUESTION_WIDTH, QUESTION_HEIGHT);
        question.InitQuestionDialog(JobCancelQuestion(m_eKind), false);
        question.exec();
        if (question.GetMessageBoxRet() == 0) {
            pEvent->ignore();
            return;
        }
    }
    if (m_pOwner != nullptr) {
        m_pOwner->RequestStop(m_eKind);
        // The job stops at its next report; until it says so, the dialog (and its buffers) stay.
        while (!m_pOwner->IsDone(m_eKind)) QThread::msleep(SCAN_DIALOG_STOP_POLL_MS);
    }
    m_pProgressBar->setValue(0);
    pEvent->accept();
}
