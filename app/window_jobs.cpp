#include "app/window_jobs.h"

#include <QCheckBox>
#include <QMessageBox>

#include "carving/file_category.h"
#include "ui/drui.h"
#include "ui/scan_dialog.h"
#include "util/debug_log.h"

CWindowJobs::CWindowJobs(DRUI& window, std::vector<std::string> vecDiskPaths)
    : QObject(&window), m_window(window), m_vecDiskPaths(std::move(vecDiskPaths)) {}

int CWindowJobs::ChosenCategories() const {
    int nMask = 0;
    if (m_window.PhotoCheckBox()->isChecked()) nMask |= FILE_CATEGORY_PHOTO;
    if (m_window.MusicCheckBox()->isChecked()) nMask |= FILE_CATEGORY_MUSIC;
    if (m_window.VideoCheckBox()->isChecked()) nMask |= FILE_CATEGORY_VIDEO;
    return nMask;
}

void CWindowJobs::RunJob(JOB_KIND eKind, CMyThread::JOB_FUNCTION pJob) {
    SCANUI dialog(&m_window);
    dialog.InitSlot(&m_reports, eKind);
    if (eKind == JOB_SCAN) {
        dialog.move(m_window.pos() + QPoint(m_window.width() / 4, m_window.height() / 4));
        dialog.setFixedSize(SCAN_DIALOG_WIDTH, SCAN_DIALOG_HEIGHT);
    }
    CMyThread thread;
    thread.SetFunc(pJob, m_pJobs.get());
    thread.start(QThread::InheritPriority);
    dialog.exec();
    // The dialog closes on the job's last report or after the job acknowledged a stop: the
    // thread is ending, and nothing it uses may go before it has.
    thread.wait();
}

void CWindowJobs::OnScanRequested(_PARTITION_ITEM_ item) {
    // A new scan drops the last one, its engine and its finds.
    m_pJobs.reset(new CSessionJobs(m_reports));
    DebugLog("m_partitionItem.u64StartSector = %lld\n", static_cast<long long>(item.u64StartSector));
    const size_t nDisk = static_cast<size_t>(item.nDiskNumber);
    const std::string strSource = nDisk < m_vecDiskPaths.size() ? m_vecDiskPaths[nDisk] : std::string();
    m_pJobs->SetScanArea(strSource, item.u64StartSector, item.u64EndSector + 1 - item.u64StartSector);
    RunJob(JOB_SCAN, &CSessionJobs::_ScanProcess);
    DebugLog("_ScanProcess end\n");
    // Without an engine there is nothing to search: say why instead of waiting for nothing.
    if (!m_pJobs->LastError().empty()) {
        QMessageBox::warning(&m_window, "Free Korvalo", QString::fromStdString(m_pJobs->LastError()));
        return;
    }
    m_pJobs->SetCategories(ChosenCategories());
    DebugLog("_SearchProcess Start\n");
    RunJob(JOB_SEARCH, &CSessionJobs::_SearchProcess);
    DebugLog("_SearchProcess end\n");
}
