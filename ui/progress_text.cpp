#include "ui/progress_text.h"

#include "util/format.h"

QString JobTitleText(JOB_KIND eKind, const QString& strPreviewName) {
    switch (eKind) {
        case JOB_SCAN: return "  Scan File\n  scanning drive for deleted files";
        case JOB_SEARCH: return "  Search File\n  searching drive for deleted files";
        case JOB_PREVIEW: return QString("  Preview File\n  %1\n").arg(strPreviewName);
        case JOB_RECOVERY: return "  Recovery File\n";
    }
    return QString();
}

QString JobInitialStatusText(JOB_KIND eKind) {
    return eKind == JOB_SCAN ? "  Current Process: 0%\n  Estimated Time Left: 0 second\n" : QString();
}

QString JobCancelQuestion(JOB_KIND eKind) {
    switch (eKind) {
        case JOB_SCAN: return "Are you sure to cancel the scanning?";
        case JOB_SEARCH: return "Are you sure to cancel the searching?";
        case JOB_PREVIEW: return "Are you sure to cancel the previewing?";
        case JOB_RECOVERY: return "Are you sure to cancel the recoverying?";
    }
    return QString();
}

int WeightedProgress(int nProgress, int nPercent) {
    return nProgress * nPercent / 100;
}

bool IsClosingScanReport(int nProgress, int nPercent) {
    const long long llProduct = static_cast<long long>(nProgress) * nPercent;
    return llProduct >= 10000 && llProduct <= 10099;
}

QString ScanStatusText(int nProgress, int nPercent, int nRemainSeconds, const QString& strCurrentSector,
                       const QString& strSectorCount, const QString& strFilesFound) {
    const int nBar = WeightedProgress(nProgress, nPercent);
    QString strTime = "Estimated time is calculating";
    if (nPercent != SWEEP_REPORT_WEIGHT) return QString("  Current Process: %1%\n  %2\n").arg(nBar).arg(strTime);
    if (nRemainSeconds != -1)
        strTime = "Estimated Time Left: " + QString::fromStdString(GetTimeString(nRemainSeconds));
    return QString("  Current Process: %1%\n  Reading Sector: %2/%3\n  Total Files Found: %4\n  %5\n")
        .arg(nBar)
        .arg(strCurrentSector, strSectorCount, strFilesFound, strTime);
}

QString RecoveryStatusText(int nProgress, int nPercent, const QString& strFileName) {
    return QString("  Process: %1%\n  Destination: %2").arg(WeightedProgress(nProgress, nPercent)).arg(strFileName);
}

QString SearchStatusText(int nProgress) {
    return QString("  Process: %1%\n  Searching drive for recovery files").arg(nProgress);
}

QString PreviewStatusText(int nProgress, const QString& strFileName) {
    return QString("  Process: %1%\n  Previewing file:%2").arg(nProgress).arg(strFileName);
}
