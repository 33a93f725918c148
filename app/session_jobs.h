#pragma once
// The window's background jobs (scan, search, recovery) on one recovery session: the same steps
// the command line takes, run on a worker thread, with the session's progress turned into the
// reports the progress dialog shows and its stop request handed back to the session.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/session_finds.h"
#include "engine/file_node.h"
#include "session/recovery_session.h"
#include "ui/job_reports.h"

class CSessionJobs : private ISessionListener {
public:
    explicit CSessionJobs(CJobReports& reports);

    // What the next jobs work on; set on the interface thread before a job starts.
    void SetScanArea(const std::string& strSource, unsigned long long u64StartSector, unsigned long long u64Sectors);
    void SetCategories(int nCategoryMask) { m_nCategoryMask = nCategoryMask; }
    // bForceDestination: recover into a folder that lies on the source (the user agreed to it).
    void SetRecovery(const std::vector<__SEARCH_FILE_INFO__>& vecChosen, const std::string& strFolder,
                     bool bForceDestination = false);
    // Whether strFolder may take recovered files: SESSION_REFUSED when it lies on the source,
    // SESSION_CANNOT_OPEN when it cannot be made or opened (LastError says why).
    SESSION_RESULT CheckDestination(const std::string& strFolder);
    void SetPreview(const __SEARCH_FILE_INFO__& file) { m_previewFile = file; }

    // The jobs, each for CMyThread (pParam: this object). Each clears its stop request and done
    // mark first and sets its done mark when it returns.
    static void _ScanProcess(void* pParam, int& nRet);
    static void _SearchProcess(void* pParam, int& nRet);
    static void _RecoveryProcess(void* pParam, int& nRet);
    static void _PreviewProcess(void* pParam, int& nRet);

    // The search's finds (empty before a search), read through this object's session: they must
    // be let go of before it goes.
    std::shared_ptr<const IFoundFiles> Finds() const { return m_pFinds; }
    // The folder a find was found in, "A/B/" ("" when none is known).
    QString FolderOf(const __SEARCH_FILE_INFO__& hit);
    const std::vector<SESSION_FILE_RESULT>& FileResults() const { return m_vecFileResults; }
    // The last preview: a picture's file (empty for others) and the first bytes of anything else.
    const std::wstring& PreviewPath() const { return m_wstrPreviewPath; }
    const std::vector<unsigned char>& PreviewBytes() const { return m_vecPreviewBytes; }
    // Why the last job failed, in words (empty when it did not).
    const std::string& LastError() const { return m_strError; }

private:
    int Scan();
    int Search();
    int Recover();
    int Preview();
    static int OnPreviewReport(void* pParam, int nProgress, int nRet);
    // Hands the dialog's stop request for eKind on to the session.
    void PassOnStop(JOB_KIND eKind);
    // True when enough time has passed since the last progress report for another.
    bool ReportDue();

    void OnScanProgress(const SESSION_SCAN_PROGRESS& progress) override;
    void OnSearchProgress(int nPercent) override;
    void OnRecoveryProgress(const SESSION_RECOVERY_PROGRESS& progress) override;
    void OnFileDone(const SESSION_FILE_RESULT& result) override;

    CJobReports& m_reports;
    CRecoverySession m_session{this};
    std::string m_strSource;
    unsigned long long m_u64StartSector = 0;
    unsigned long long m_u64Sectors = 0;
    int m_nCategoryMask = 0;
    std::shared_ptr<CSessionFinds> m_pFinds;
    std::vector<__SEARCH_FILE_INFO__> m_vecChosen;
    std::string m_strFolder;
    bool m_bForceDestination = false;
    std::vector<SESSION_FILE_RESULT> m_vecFileResults;
    std::string m_strError;
    bool m_bScanned = false;
    __SEARCH_FILE_INFO__ m_previewFile{};
    std::wstring m_wstrPreviewPath;
    std::vector<unsigned char> m_vecPreviewBytes;
    std::chrono::steady_clock::time_point m_lastReport{};
};
