#pragma once
// What a background job and its progress dialog share: the reports the job makes (queued
// signals, so the dialog's slots run on the interface thread in the order they were made) and,
// per kind of job, a stop request and a done mark, written by one thread and read by the other.
#include <QObject>
#include <QString>
#include <atomic>

#include "ui/progress_text.h"

class CJobReports : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    void RequestStop(JOB_KIND eKind) { Flags(eKind).bStop = true; }
    bool IsStopRequested(JOB_KIND eKind) const { return Flags(eKind).bStop; }
    void MarkDone(JOB_KIND eKind) { Flags(eKind).bDone = true; }
    bool IsDone(JOB_KIND eKind) const { return Flags(eKind).bDone; }
    // A job starts with neither.
    void Reset(JOB_KIND eKind);

signals:
    void ScanProcessCallBack(int nProgress, int nPercent, int nRemaindSecond, QString u64CurSectorStr,
                             QString u64SectorCountStr, QString u64FindFileCountStr, QString pRecoveryFileName);
    void RecoveryCallBack(int nProgress, int nPercent, int nErrorCode, QString pRecoveryFileName);
    void SearchCallBack(int nProgress, QString pRecoveryFileName);
    void PreViewCallBackForSlot(int nProgress, int nRet);

private:
    struct FLAGS {
        std::atomic<bool> bStop{false};
        std::atomic<bool> bDone{false};
    };
    FLAGS& Flags(JOB_KIND eKind) { return m_aFlags[static_cast<int>(eKind) - 1]; }
    const FLAGS& Flags(JOB_KIND eKind) const { return m_aFlags[static_cast<int>(eKind) - 1]; }

    FLAGS m_aFlags[4];
};
