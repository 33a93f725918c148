#pragma once
// SCANUI: the modal progress dialog of one background job (scan, search, preview, recovery). It
// shows the job's reports, asks before cancelling and then waits for the job to stop, and closes
// itself on the job's final report. A recovery keeps it open at the end, with its detail and a
// way to open the destination folder.
#include <QDialog>

#include "ui/detail_dialog.h"
#include "ui/progress_text.h"

class CJobReports;
class QLabel;
class QProgressBar;
class QPushButton;

constexpr int SCAN_DIALOG_WIDTH = 500;
constexpr int SCAN_DIALOG_HEIGHT = 250;
// How often a confirmed cancel looks whether the job has stopped.
constexpr int SCAN_DIALOG_STOP_POLL_MS = 100;

class SCANUI : public QDialog {
    Q_OBJECT

public:
    explicit SCANUI(QWidget* pParent = nullptr);

    // Binds the dialog to the job's reports and builds it for that kind of job.
    void InitSlot(CJobReports* pOwner, JOB_KIND eKind, const QString& strPreviewName = QString());
    void SetSaveDir(const QString& strFolder) { m_strSaveDir = strFolder; }

    bool IsFinished() const { return m_bIsFinished; }
    int BarValue() const;
    QString StatusText() const;
    QString FinishButtonText() const;
    CDetail& Detail() { return m_detail; }

public slots:
    void ScanProcessCallBackSlot(int nProgress, int nPercent, int nRemaindSecond, QString u64CurSectorStr,
                                 QString u64SectorCountStr, QString u64FindFileCountStr, QString pRecoveryFileName);
    void RecoveryCallBackSlot(int nProgress, int nPercent, int nErrorCode, QString pRecoveryFileName);
    void SearchCallBackSlot(int nProgress, QString pRecoveryFileName);
    void PreViewCallBackSlot(int nProgress, int nRet);
    void btnSlot();
    void btnDetail();
    void btnOpenFolder();

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void InitDialog();
    void Finish();

    CJobReports* m_pOwner = nullptr;
    JOB_KIND m_eKind = JOB_SCAN;
    QString m_strPreviewName;
    QString m_strFileName;  // the last one a report named
    QString m_strSaveDir;
    bool m_bIsFinished = false;
    QLabel* m_pTitle = nullptr;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgressBar = nullptr;
    QPushButton* m_pFinishButton = nullptr;
    // A dialog of its own, transient for this one.
    CDetail m_detail{this};
};
