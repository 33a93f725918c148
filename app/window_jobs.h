#pragma once
// Runs the window's jobs: when the device page asks for a scan, the scan and then the search
// run on a worker thread, each behind its modal progress dialog, and the results page shows
// the finds; its previews and recoveries run the same way. The interface thread only shows the
// jobs' reports. The session and its engine stay until the next scan.
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "app/my_thread.h"
#include "app/session_jobs.h"
#include "device/partition_records.h"
#include "ui/disk_tree.h"  // the partition item as a Qt meta type
#include "ui/job_reports.h"
#include "ui/result_jobs.h"

class DRUI;

class CWindowJobs : public QObject, public IResultJobs {
    Q_OBJECT

public:
    // The disks as the device tree numbered them (the session later narrows the disk map to the
    // one it reads).
    CWindowJobs(DRUI& window, std::vector<std::string> vecDiskPaths);

    CSessionJobs& Jobs() { return *m_pJobs; }

    PREVIEW_RESULT RunPreview(const __SEARCH_FILE_INFO__& hit, const QString& strName) override;
    void RunRecovery(const std::vector<__SEARCH_FILE_INFO__>& vecChosen, size_t nUnreadable,
                     const QString& strFolder) override;
    QString FolderOf(const __SEARCH_FILE_INFO__& hit) override;

public slots:
    void OnScanRequested(_PARTITION_ITEM_ item);

private:
    // Runs one job behind its progress dialog; returns when the job has ended. strName: the
    // file a preview is for; strFolder: where a recovery writes.
    void RunJob(JOB_KIND eKind, CMyThread::JOB_FUNCTION pJob, const QString& strName = QString(),
                const QString& strFolder = QString());
    // Asks before recovering into a folder on the scanned device; true when it may be used.
    bool AcceptDestination(const QString& strFolder, bool& bForce);
    // A message box with why the last job failed.
    void WarnOfLastError();
    // The search's categories: the start page's boxes (photos, music, videos).
    int ChosenCategories() const;

    DRUI& m_window;
    std::vector<std::string> m_vecDiskPaths;
    CJobReports m_reports;
    std::unique_ptr<CSessionJobs> m_pJobs;
};
