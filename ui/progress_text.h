#pragma once
// What the progress dialog shows for each kind of job: its title, its first status text, its
// cancel question, the bar's value and the status text of every report, and which report ends a
// scan. Kept apart from the dialog so every text can be checked without a display.
#include <QString>

enum JOB_KIND {
    JOB_SCAN = 1,
    JOB_SEARCH = 2,
    JOB_PREVIEW = 3,
    JOB_RECOVERY = 4,
};

// The sweep's progress weight: only its reports carry sector counts and a time estimate.
constexpr int SWEEP_REPORT_WEIGHT = 90;

QString JobTitleText(JOB_KIND eKind, const QString& strPreviewName);
QString JobInitialStatusText(JOB_KIND eKind);
QString JobCancelQuestion(JOB_KIND eKind);

// The bar of a scan or recovery report: step times weight / 100, truncated.
int WeightedProgress(int nProgress, int nPercent);
// The final scan report: step times weight from 10000 to 10099.
bool IsClosingScanReport(int nProgress, int nPercent);

// nRemainSeconds -1: no estimate yet.
QString ScanStatusText(int nProgress, int nPercent, int nRemainSeconds, const QString& strCurrentSector,
                       const QString& strSectorCount, const QString& strFilesFound);
QString RecoveryStatusText(int nProgress, int nPercent, const QString& strFileName);
QString SearchStatusText(int nProgress);
QString PreviewStatusText(int nProgress, const QString& strFileName);
