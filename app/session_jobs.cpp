#include "app/session_jobs.h"

#include <algorithm>
#include <chrono>

#include "engine/result_codes.h"
#include "session/professional_recovery.h"
#include "ui/detail_dialog.h"

namespace {
// The sweep's reports carry this weight (the dialog shows sector counts for them only).
constexpr int SWEEP_WEIGHT = SWEEP_REPORT_WEIGHT;
// The recovery job's closing report.
constexpr int RECOVERY_CLOSING_WEIGHT = 1000;
// What a preview may hold in memory, and the length of the path a picture's preview goes to.
constexpr int PREVIEW_BYTES = 10240;
constexpr int PREVIEW_PATH_CHARS = 512;
// The engines report after every chunk they read or write; more than this many reports a second
// would keep the interface thread from ever painting the dialog they go to.
constexpr auto MIN_REPORT_INTERVAL = std::chrono::milliseconds(100);
}  // namespace

bool CSessionJobs::ReportDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastReport < MIN_REPORT_INTERVAL) return false;
    m_lastReport = now;
    return true;
}

CSessionJobs::CSessionJobs(CJobReports& reports) : m_reports(reports) {}

void CSessionJobs::SetScanArea(const std::string& strSource, unsigned long long u64StartSector,
                               unsigned long long u64Sectors) {
    m_strSource = strSource;
    m_u64StartSector = u64StartSector;
    m_u64Sectors = u64Sectors;
}

void CSessionJobs::SetRecovery(const std::vector<__SEARCH_FILE_INFO__>& vecChosen, const std::string& strFolder,
                               bool bForceDestination) {
    m_vecChosen = vecChosen;
    m_strFolder = strFolder;
    m_bForceDestination = bForceDestination;
}

SESSION_RESULT CSessionJobs::CheckDestination(const std::string& strFolder) {
    m_strError.clear();
    const SESSION_RESULT eResult = m_session.SetDestination(strFolder, false);
    if (eResult != SESSION_OK) m_strError = m_session.LastError();
    return eResult;
}

void CSessionJobs::_ScanProcess(void* pParam, int& nRet) {
    auto* pSelf = static_cast<CSessionJobs*>(pParam);
    pSelf->m_reports.Reset(JOB_SCAN);
    nRet = pSelf->Scan();
    pSelf->m_reports.MarkDone(JOB_SCAN);
    // The closing report comes from here, once the scan is saved, never from the engine's last one.
    emit pSelf->m_reports.ScanProcessCallBack(100, 100, 0, QString(), QString(), QString(), QString());
}

void CSessionJobs::_SearchProcess(void* pParam, int& nRet) {
    auto* pSelf = static_cast<CSessionJobs*>(pParam);
    pSelf->m_reports.Reset(JOB_SEARCH);
    nRet = pSelf->Search();
    pSelf->m_reports.MarkDone(JOB_SEARCH);
    emit pSelf->m_reports.SearchCallBack(100, QString());
}

void CSessionJobs::_RecoveryProcess(void* pParam, int& nRet) {
    auto* pSelf = static_cast<CSessionJobs*>(pParam);
    pSelf->m_reports.Reset(JOB_RECOVERY);
    nRet = pSelf->Recover();
    // The dialog knows the closing report by the stop flag being set with it.
    pSelf->m_reports.RequestStop(JOB_RECOVERY);
    pSelf->m_reports.MarkDone(JOB_RECOVERY);
    emit pSelf->m_reports.RecoveryCallBack(100, RECOVERY_CLOSING_WEIGHT, 0, QString());
}

void CSessionJobs::_PreviewProcess(void* pParam, int& nRet) {
    auto* pSelf = static_cast<CSessionJobs*>(pParam);
    pSelf->m_reports.Reset(JOB_PREVIEW);
    nRet = pSelf->Preview();
    pSelf->m_reports.MarkDone(JOB_PREVIEW);
    // An engine that failed before its last report would leave the dialog waiting.
    emit pSelf->m_reports.PreViewCallBackForSlot(100, nRet);
}

int CSessionJobs::Preview() {
    m_wstrPreviewPath.clear();
    m_vecPreviewBytes.assign(PREVIEW_BYTES, 0);
    CProfessionalRecovery* pEngine = m_session.Engine();
    if (pEngine == nullptr) {
        m_vecPreviewBytes.clear();
        return KR_ERROR_INVALID_PARAMETER;
    }
    std::vector<wchar_t> vecPath(PREVIEW_PATH_CHARS, L'\0');
    int nLength = PREVIEW_BYTES;
    const int nResult = pEngine->PreView(&m_previewFile, vecPath.data(), m_vecPreviewBytes.data(), nLength,
                                         &CSessionJobs::OnPreviewReport, this);
    m_vecPreviewBytes.resize(static_cast<size_t>(std::max(0, nLength)));
    m_wstrPreviewPath = vecPath.data();
    return nResult;
}

int CSessionJobs::OnPreviewReport(void* pParam, int nProgress, int nRet) {
    auto* pSelf = static_cast<CSessionJobs*>(pParam);
    if (pSelf->m_reports.IsStopRequested(JOB_PREVIEW)) return 1;
    emit pSelf->m_reports.PreViewCallBackForSlot(nProgress, nRet);
    return 0;
}

int CSessionJobs::Scan() {
    m_strError.clear();
    m_bScanned = false;
    SESSION_AREA area;
    area.eKind = SESSION_AREA::SECTOR_RANGE;
    area.u64Start = m_u64StartSector;
    area.u64Sectors = m_u64Sectors;
    SESSION_RESULT eResult = m_session.OpenSource(m_strSource);
    if (eResult == SESSION_OK) eResult = m_session.ChooseArea(area);
    if (eResult == SESSION_OK) eResult = m_session.Scan(SESSION_USE_SAVED);
    // A stopped scan keeps what it found: the search still lists it.
    m_bScanned = eResult == SESSION_OK || eResult == SESSION_STOPPED || eResult == SESSION_UNREADABLE;
    if (!m_bScanned) m_strError = m_session.LastError();
    return eResult;
}

QString CSessionJobs::FolderOf(const __SEARCH_FILE_INFO__& hit) {
    return QString::fromStdString(m_session.FolderOf(hit));
}

int CSessionJobs::Search() {
    m_pFinds = std::make_shared<CSessionFinds>(m_session);
    if (!m_bScanned) return SESSION_BAD_REQUEST;
    return m_pFinds->List(m_nCategoryMask);
}

int CSessionJobs::Recover() {
    m_vecFileResults.clear();
    m_strError.clear();
    SESSION_RESULT eResult = m_session.SetDestination(m_strFolder, m_bForceDestination);
    if (eResult != SESSION_OK) {
        m_strError = m_session.LastError();
        return eResult;
    }
    return m_session.Recover(m_vecChosen, false);
}

void CSessionJobs::PassOnStop(JOB_KIND eKind) {
    if (m_reports.IsStopRequested(eKind)) m_session.RequestStop();
}

void CSessionJobs::OnScanProgress(const SESSION_SCAN_PROGRESS& progress) {
    PassOnStop(JOB_SCAN);
    if (!ReportDue()) return;
    // The dialog shows the bar as step x weight / 100: the sweep's reports go with its weight so
    // they show their sector counts. 100 % is left to the job's own closing report.
    const int nBar = std::min(progress.nPercent, 99);
    const bool bSweep = progress.u64SectorsTotal != 0;
    const int nPercent = bSweep ? SWEEP_WEIGHT : 100;
    const int nStep = bSweep ? (nBar * 100 + SWEEP_WEIGHT - 1) / SWEEP_WEIGHT : nBar;
    emit m_reports.ScanProcessCallBack(nStep, nPercent, progress.nSecondsLeft,
                                       QString::number(progress.u64SectorsDone),
                                       QString::number(progress.u64SectorsTotal),
                                       QString::number(progress.u64FilesFound), QString());
}

void CSessionJobs::OnSearchProgress(int nPercent) {
    PassOnStop(JOB_SEARCH);
    emit m_reports.SearchCallBack(std::min(nPercent, 99), QString());
}

void CSessionJobs::OnRecoveryProgress(const SESSION_RECOVERY_PROGRESS& progress) {
    PassOnStop(JOB_RECOVERY);
    if (!ReportDue()) return;
    const int nPercent = progress.u64BytesTotal == 0
                             ? 0
                             : static_cast<int>(std::min<unsigned long long>(
                                   progress.u64BytesDone * 100 / progress.u64BytesTotal, 99));
    emit m_reports.RecoveryCallBack(nPercent, 100, 0, QString());
}

void CSessionJobs::OnFileDone(const SESSION_FILE_RESULT& result) {
    m_vecFileResults.push_back(result);
    const int nError = result.bPartial ? FILE_PARTIAL : result.nResult != 0 ? FILE_FAILED : FILE_RECOVERED;
    emit m_reports.RecoveryCallBack(100, 100, nError, QString::fromStdString(result.strPath));
}
