#include "app/window_jobs.h"

#include <QCheckBox>
#include <QMessageBox>

#include "carving/file_category.h"
#include "ui/drui.h"
#include "ui/message_box.h"
#include "ui/scan_dialog.h"
#include "util/debug_log.h"

namespace {
constexpr const char* DESTINATION_ON_SOURCE_QUESTION =
    "This folder lies on the scanned device.\nWriting there may overwrite the files\nyou want back. Recover there anyway?";
// Finds chosen for recovery whose records could not be read back from the scan's results.
constexpr const char* UNREADABLE_FINDS_TEXT =
    "%1 chosen file(s) could not be read back from the scan's results and are left out of this recovery.";
}  // namespace

CWindowJobs::CWindowJobs(DRUI& window, std::vector<std::string> vecDiskPaths)
    : QObject(&window), m_window(window), m_vecDiskPaths(std::move(vecDiskPaths)) {}

int CWindowJobs::ChosenCategories() const {
    int nMask = 0;
    if (m_window.PhotoCheckBox()->isChecked()) nMask |= FILE_CATEGORY_PHOTO;
    if (m_window.MusicCheckBox()->isChecked()) nMask |= FILE_CATEGORY_MUSIC;
    if (m_window.VideoCheckBox()->isChecked()) nMask |= FILE_CATEGORY_VIDEO;
    return nMask;
}

void CWindowJobs::RunJob(JOB_KIND eKind, CMyThread::JOB_FUNCTION pJob, const QString& strName,
                         const QString& strFolder) {
    SCANUI dialog(&m_window);
    if (eKind == JOB_RECOVERY) dialog.SetSaveDir(strFolder);
    dialog.InitSlot(&m_reports, eKind, strName);
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
    // A new scan drops the last one, its engine and its finds (the page reading them first).
    m_window.DropResults();
    m_pJobs.reset(new CSessionJobs(m_reports));
    DebugLog("m_partitionItem.u64StartSector = %lld\n", static_cast<long long>(item.u64StartSector));
    const size_t nDisk = static_cast<size_t>(item.nDiskNumber);
    const std::string strSource = nDisk < m_vecDiskPaths.size() ? m_vecDiskPaths[nDisk] : std::string();
    m_pJobs->SetScanArea(strSource, item.u64StartSector, item.u64EndSector + 1 - item.u64StartSector);
    RunJob(JOB_SCAN, &CSessionJobs::_ScanProcess);
    DebugLog("_ScanProcess end\n");
    // Without an engine there is nothing to search: say why instead of waiting for nothing.
    if (!m_pJobs->LastError().empty()) {
        WarnOfLastError();
        return;
    }
    m_pJobs->SetCategories(ChosenCategories());
    DebugLog("_SearchProcess Start\n");
    RunJob(JOB_SEARCH, &CSessionJobs::_SearchProcess);
    DebugLog("_SearchProcess end\n");
    m_window.ShowResults(m_pJobs->Finds());
}

PREVIEW_RESULT CWindowJobs::RunPreview(const __SEARCH_FILE_INFO__& hit, const QString& strName) {
    PREVIEW_RESULT preview;
    if (!m_pJobs) return preview;
    m_pJobs->SetPreview(hit);
    RunJob(JOB_PREVIEW, &CSessionJobs::_PreviewProcess, strName);
    preview.strPicturePath = QString::fromStdWString(m_pJobs->PreviewPath());
    const std::vector<unsigned char>& vecBytes = m_pJobs->PreviewBytes();
    preview.bytes = QByteArray(reinterpret_cast<const char*>(vecBytes.data()), static_cast<int>(vecBytes.size()));
    return preview;
}

bool CWindowJobs::AcceptDestination(const QString& strFolder, bool& bForce) {
    bForce = false;
    const SESSION_RESULT eResult = m_pJobs->CheckDestination(strFolder.toStdString());
    if (eResult == SESSION_OK) return true;
    if (eResult != SESSION_REFUSED) {
        WarnOfLastError();
        return false;
    }
    CMessageBox question(&m_window);
    question.move(m_window.pos() + QPoint((m_window.width() - MESSAGE_BOX_WIDTH) / 2,
                                          (m_window.height() - MESSAGE_BOX_HEIGHT) / 2));
    question.InitQuestionDialog(DESTINATION_ON_SOURCE_QUESTION, false);
    question.exec();
    bForce = question.GetMessageBoxRet() == 1;
    DebugLog("destination on the source: %s\n", bForce ? "recovering there" : "declined");
    return bForce;
}

void CWindowJobs::RunRecovery(const std::vector<__SEARCH_FILE_INFO__>& vecChosen, size_t nUnreadable,
                              const QString& strFolder) {
    // Said first, so it is not lost behind the recovery's own dialogs.
    if (nUnreadable != 0) QMessageBox::warning(&m_window, "Free Korvalo", QString(UNREADABLE_FINDS_TEXT).arg(nUnreadable));
    bool bForce = false;
    if (!m_pJobs || vecChosen.empty() || !AcceptDestination(strFolder, bForce)) return;
    m_pJobs->SetRecovery(vecChosen, strFolder.toStdString(), bForce);
    DebugLog("_RecoveryProcess Start\n");
    RunJob(JOB_RECOVERY, &CSessionJobs::_RecoveryProcess, QString(), strFolder);
    // The folder could not be taken after all (it went away since it was checked): say why.
    if (!m_pJobs->LastError().empty()) WarnOfLastError();
}

void CWindowJobs::WarnOfLastError() {
    QMessageBox::warning(&m_window, "Free Korvalo", QString::fromStdString(m_pJobs->LastError()));
}

QString CWindowJobs::FolderOf(const __SEARCH_FILE_INFO__& hit) {
    return m_pJobs ? m_pJobs->FolderOf(hit) : QString();
}
