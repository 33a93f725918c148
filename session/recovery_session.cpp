#include "session/recovery_session.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "carving/file_category.h"
#include "device/partition_manager.h"
#include "engine/log_file_manager.h"
#include "engine/result_codes.h"
#include "session/professional_recovery.h"
#include "session/recovered_names.h"
#include "session/recovery_factory.h"
#include "session/same_device.h"
#include "util/app_folder.h"
#include "util/disk_map.h"
#include "util/path.h"
#include "util/rsb.h"
#include "util/safe_writer.h"
#include "util/text.h"

namespace {

constexpr unsigned long long SECTOR_BYTES = 512;
// Longest destination path handed to an engine, in characters.
constexpr int TARGET_PATH_CAPACITY = 4096;
// Places for the work folder when the usual one lies on the source; each gets a fresh folder.
const char* const SPARE_WORK_PARENTS[] = {"/var/tmp", "/tmp"};

// Size of a device or image through lseek, which works for both. 0 or errno.
int ProbeSource(const std::string& strPath, unsigned long long& u64Bytes) {
    u64Bytes = 0;
    const int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return errno;
    const off_t llEnd = lseek(hFile, 0, SEEK_END);
    const int nError = llEnd < 0 ? errno : 0;
    close(hFile);
    if (llEnd > 0) u64Bytes = static_cast<unsigned long long>(llEnd);
    return nError;
}

std::vector<_PARTITION_ITEM_> ReadPartitions(const std::string& strPath, int nDiskNo) {
    std::vector<_PARTITION_ITEM_> vecItems;
    const int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return vecItems;
    CPartitionManager manager;
    manager.GetDiskPartitionItems(hFile, nDiskNo, strPath.c_str(), vecItems);
    close(hFile);
    return vecItems;
}

std::string OpenFailureText(const std::string& strPath, int nError) {
    std::string strText = "cannot open " + strPath + ": " + strerror(nError);
    if (nError == EACCES || nError == EPERM) strText += " (reading a device needs root rights)";
    return strText;
}

}  // namespace

std::vector<SESSION_DISK> ListSessionDisks(const std::vector<std::string>& vecPaths) {
    if (!vecPaths.empty()) rsb_setDiskList(vecPaths);
    std::vector<SESSION_DISK> vecDisks;
    const std::vector<std::string> vecList = rsb_getDiskList();
    for (size_t i = 0; i < vecList.size() && i < static_cast<size_t>(KORVALO_MAX_DISKS); ++i) {
        SESSION_DISK disk;
        disk.strPath = vecList[i];
        disk.nOpenError = ProbeSource(disk.strPath, disk.u64Bytes);
        if (disk.nOpenError == 0) disk.vecPartitions = ReadPartitions(disk.strPath, static_cast<int>(i));
        vecDisks.push_back(disk);
    }
    return vecDisks;
}

CRecoverySession::CRecoverySession(ISessionListener* pListener) : m_pListener(pListener) {}

CRecoverySession::~CRecoverySession() {
    ForgetScan();
}

SESSION_RESULT CRecoverySession::Fail(SESSION_RESULT eResult, const std::string& strText) {
    m_strLastError = strText;
    return eResult;
}

SESSION_RESULT CRecoverySession::OpenSource(const std::string& strPath) {
    unsigned long long u64Bytes = 0;
    const int nError = ProbeSource(strPath, u64Bytes);
    if (nError != 0) return Fail(SESSION_CANNOT_OPEN, OpenFailureText(strPath, nError));
    m_strSource = strPath;
    m_u64SourceSectors = u64Bytes / SECTOR_BYTES;
    rsb_setDiskList({strPath});
    m_vecPartitions = ReadPartitions(strPath, 0);
    m_bAreaChosen = false;
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::ChooseArea(const SESSION_AREA& area) {
    if (m_strSource.empty()) return Fail(SESSION_BAD_REQUEST, "no source is open");
    unsigned long long u64Start = 0, u64Count = m_u64SourceSectors;
    if (area.eKind == SESSION_AREA::PARTITION) {
        if (area.nPartition < 1 || static_cast<size_t>(area.nPartition) > m_vecPartitions.size())
            return Fail(SESSION_BAD_REQUEST, "there is no partition " + std::to_string(area.nPartition) + " (the disk has " +
                                                 std::to_string(m_vecPartitions.size()) + ")");
        const _PARTITION_ITEM_& item = m_vecPartitions[static_cast<size_t>(area.nPartition) - 1];
        u64Start = item.u64StartSector;
        u64Count = item.u64EndSector + 1 - item.u64StartSector;
    } else if (area.eKind == SESSION_AREA::SECTOR_RANGE) {
        u64Start = area.u64Start;
        u64Count = area.u64Sectors;
    }
    if (u64Count == 0 || u64Start > m_u64SourceSectors || u64Count > m_u64SourceSectors - u64Start)
        return Fail(SESSION_BAD_REQUEST, "sectors " + std::to_string(u64Start) + ".." + std::to_string(u64Start + u64Count) +
                                             " lie outside the disk (" + std::to_string(m_u64SourceSectors) + " sectors)");
    m_u64AreaStart = u64Start;
    m_u64AreaSectors = u64Count;
    m_bAreaChosen = true;
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::SetDestination(const std::string& strFolder, bool bForce) {
    if (m_strSource.empty()) return Fail(SESSION_BAD_REQUEST, "no source is open");
    const SAME_DEVICE_VERDICT verdict = CheckSameDevice(m_strSource, strFolder);
    if (!bForce && verdict.eAnswer == SAME_DEVICE_YES)
        return Fail(SESSION_REFUSED, strFolder + " lies on " + m_strSource +
                                         ", the device being read; writing there could overwrite what is being "
                                         "recovered (" + verdict.strReason + "). Choose a folder on another disk (or --force).");
    if (!bForce && verdict.eAnswer == SAME_DEVICE_CANNOT_TELL)
        return Fail(SESSION_REFUSED, "cannot tell whether " + strFolder + " lies on " + m_strSource + ": " +
                                         verdict.strReason + ". Choose a folder on another disk (or --force).");
    std::unique_ptr<CSafeWriter> pWriter(new CSafeWriter());
    const int nError = pWriter->Open(strFolder);
    if (nError != 0) return Fail(SESSION_CANNOT_OPEN, "cannot create " + strFolder + ": " + strerror(nError));
    // Known before the first file: a failed write is then never taken for a failed read.
    struct statvfs st;
    if (statvfs(pWriter->Root().c_str(), &st) == 0 && (st.f_flag & ST_RDONLY) != 0)
        return Fail(SESSION_CANNOT_OPEN, strFolder + " is on a read-only file system");
    m_pWriter = std::move(pWriter);
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::PrepareWorkFolder(bool bForce) {
    if (!m_strWorkFolder.empty()) return SESSION_OK;
    if (m_strSource.empty()) return Fail(SESSION_BAD_REQUEST, "no source is open");
    const std::string strConfigured = rsb_getConfiguredAppFolder();
    std::string strWhyNot;
    if (strConfigured.empty()) {
        strWhyNot = "neither XDG_STATE_HOME nor HOME names a home folder";
    } else {
        const SAME_DEVICE_VERDICT verdict = CheckSameDevice(m_strSource, strConfigured);
        if (bForce || verdict.eAnswer == SAME_DEVICE_NO) {
            rsb_setAppFolderOverride(strConfigured);
            const int nError = rsb_createAppFolders();
            if (nError == 0) {
                m_strWorkFolder = strConfigured;
                CLogFileManager::GetInstance().Init();
                return SESSION_OK;
            }
            strWhyNot = "it cannot be made: " + std::string(strerror(nError));
        } else {
            strWhyNot = verdict.eAnswer == SAME_DEVICE_YES ? "it lies on the device being read (" + verdict.strReason + ")"
                                                         : "it may lie on the device being read: " + verdict.strReason;
        }
        // A folder the user named is not replaced behind their back.
        const char* szHome = getenv("KORVALO_HOME");
        if (szHome != nullptr && szHome[0] != '\0') {
            rsb_setAppFolderOverride("");
            return Fail(SESSION_NO_WORK_FOLDER, "KORVALO_HOME (" + strConfigured + ") cannot hold the scan's working files: " +
                                                    strWhyNot);
        }
    }
    for (const char* szParent : SPARE_WORK_PARENTS) {
        if (!bForce && CheckSameDevice(m_strSource, szParent).eAnswer != SAME_DEVICE_NO) continue;
        std::string strTemplate = std::string(szParent) + "/korvalo-XXXXXX";
        // mkdtemp makes a folder of our own (0700) that nobody could have planted.
        if (mkdtemp(&strTemplate[0]) == nullptr) continue;
        m_strMadeWorkFolder = strTemplate + "/";
        rsb_setAppFolderOverride(m_strMadeWorkFolder);
        if (rsb_createAppFolders() != 0) continue;
        m_strWorkFolder = m_strMadeWorkFolder;
        CLogFileManager::GetInstance().Init();
        if (m_pListener != nullptr)
            m_pListener->OnNotice("the usual work folder " + strConfigured + " is not used (" + strWhyNot +
                                  "); the scan's working files go to " + m_strWorkFolder + " for this run");
        return SESSION_OK;
    }
    rsb_setAppFolderOverride("");
    return Fail(SESSION_NO_WORK_FOLDER, "found no place off the device being read for the scan's working files (" +
                                            strWhyNot + "); set KORVALO_HOME to a folder on another disk");
}

SESSION_RESULT CRecoverySession::Scan() {
    if (m_strSource.empty()) return Fail(SESSION_BAD_REQUEST, "no source is open");
    if (!m_bAreaChosen) {
        const SESSION_RESULT eArea = ChooseArea(SESSION_AREA());
        if (eArea != SESSION_OK) return eArea;
    }
    const SESSION_RESULT eWork = PrepareWorkFolder(false);
    if (eWork != SESSION_OK) return eWork;

    m_pEngine.reset();
    std::unique_ptr<IFileRecoveryParse> pBase(CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(
        0, static_cast<long long>(m_u64AreaStart), static_cast<long long>(m_u64AreaSectors), L'C',
        RECOVERY_TYPE_PROFESSIONAL));
    auto* pEngine = dynamic_cast<CProfessionalRecovery*>(pBase.get());
    if (pEngine == nullptr) return Fail(SESSION_CANNOT_OPEN, "cannot read the start of " + m_strSource);
    pBase.release();
    m_pEngine.reset(pEngine);
    // This session never continues a saved scan.
    m_pEngine->SetNotLoadLogFile();
    m_pEngine->InitCallBack(&OnScanReport, &OnRecoveryReport, this, 100);
    m_pEngine->InitSearchCallBack(&OnSearchReport, this);

    m_u64StepStartMs = static_cast<unsigned long long>(rsb_getTickCount());
    const int nScan = m_pEngine->ScanDevice(nullptr);
    m_bScanned = true;
    std::string strStoreFolder;
    const int nStoreError = m_pEngine->GetStoreError(strStoreFolder);
    if (nStoreError != 0)
        return Fail(SESSION_NO_WORK_FOLDER, "the scan stopped: its finds cannot be kept in " + strStoreFolder + " (" +
                                                strerror(nStoreError) + ")");
    if (StopRequested()) {
        m_summary.bStopped = true;
        return SESSION_STOPPED;
    }
    if (nScan != 0) return Fail(SESSION_CANNOT_OPEN, "the scan failed: " + DescribeRecoveryError(nScan));
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::Search(int nCategoryMask, std::vector<__SEARCH_FILE_INFO__>& vecHits) {
    vecHits.clear();
    if (!m_pEngine || !m_bScanned) return Fail(SESSION_BAD_REQUEST, "nothing has been scanned");
    std::wstring wstrKey = BuildSearchKey(nCategoryMask);
    m_pEngine->SearchFileNode(&wstrKey[0], vecHits);
    m_summary.nFound = vecHits.size();
    m_summary.u64HiddenDamaged = m_pEngine->GetHiddenDamagedCount();
    return SESSION_OK;
}

std::string CRecoverySession::FolderOf(const __SEARCH_FILE_INFO__& hit) {
    if (!m_pEngine) return std::string();
    std::vector<wchar_t> vecPath(TARGET_PATH_CAPACITY, L'\0');
    __SEARCH_FILE_INFO__ copy = hit;
    m_pEngine->GetFileNodeParentDirPath(&copy, vecPath.data(), TARGET_PATH_CAPACITY - 1);
    vecPath.back() = L'\0';
    return Unicode2Path(vecPath.data());
}

std::string CRecoverySession::RelativeTargetOf(const __SEARCH_FILE_INFO__& hit, bool bKeepFolders) {
    std::string strFolder;
    if (bKeepFolders) {
        strFolder = SafeRelativeFolder(FolderOf(hit));
    } else {
        char szName[sizeof(hit.szFileName) + 1];
        memcpy(szName, hit.szFileName, sizeof(hit.szFileName));
        szName[sizeof(hit.szFileName)] = '\0';
        strFolder = std::string(GetDirTypeByFileName(szName)) + "/";
    }
    return strFolder + SafeNodeComponentUtf8(hit);
}

int CRecoverySession::SecondsLeft(unsigned long long u64Done, unsigned long long u64Total) const {
    const unsigned long long u64Elapsed = static_cast<unsigned long long>(rsb_getTickCount()) - m_u64StepStartMs;
    if (u64Done == 0 || u64Elapsed < 1000 || u64Done >= u64Total) return u64Done >= u64Total ? 0 : -1;
    return static_cast<int>((u64Total - u64Done) * u64Elapsed / u64Done / 1000);
}

int CRecoverySession::RecoverOne(const __SEARCH_FILE_INFO__& hit, const std::string& strTarget, int nBaseLevel) {
    std::wstring wstrTarget = Path2Unicode(strTarget.c_str());
    if (wstrTarget.size() >= static_cast<size_t>(TARGET_PATH_CAPACITY)) return ENAMETOOLONG;
    m_wstrReportedPath = wstrTarget;
    m_nReportedError = 0;
    __SEARCH_FILE_INFO__ copy = hit;
    return m_pEngine->SaveFileData(&copy, &wstrTarget[0], nBaseLevel);
}

SESSION_RESULT CRecoverySession::Recover(const std::vector<__SEARCH_FILE_INFO__>& vecHits, bool bKeepFolders) {
    if (!m_pEngine || !m_bScanned) return Fail(SESSION_BAD_REQUEST, "nothing has been scanned");
    if (!m_pWriter) return Fail(SESSION_BAD_REQUEST, "no destination has been chosen");
    CActiveRecoveryWriterScope writer(*m_pWriter);
    const std::string& strRoot = m_pWriter->Root();
    int nBaseLevel = 0;
    const std::wstring wstrRoot = Path2Unicode(strRoot.c_str());
    GetPathDirIndex(wstrRoot.c_str(), nBaseLevel);

    m_nRecoveryFiles = vecHits.size();
    m_u64RecoveryBytesTotal = 0;
    for (const __SEARCH_FILE_INFO__& hit : vecHits) m_u64RecoveryBytesTotal += hit.u64FileSize;
    m_u64RecoveryBytesBefore = 0;
    m_u64StepStartMs = static_cast<unsigned long long>(rsb_getTickCount());
    m_summary.nRecovered = m_summary.nFailed = 0;
    m_summary.u64BytesWritten = 0;

    for (m_nRecoveryFile = 0; m_nRecoveryFile < vecHits.size(); ++m_nRecoveryFile) {
        // A stop waits for the file in hand: a file is never left half written.
        if (StopRequested()) break;
        const __SEARCH_FILE_INFO__& hit = vecHits[m_nRecoveryFile];
        m_u64RecoveryFileBytes = hit.u64FileSize;
        SESSION_FILE_RESULT result;
        result.hit = hit;
        result.nResult = RecoverOne(hit, strRoot + "/" + RelativeTargetOf(hit, bKeepFolders), nBaseLevel);
        result.strPath = Unicode2Path(m_wstrReportedPath.c_str());
        if (result.nResult == 0) {
            ++m_summary.nRecovered;
            m_summary.u64BytesWritten += hit.u64FileSize;
        } else {
            ++m_summary.nFailed;
            result.strReason = DescribeRecoveryError(result.nResult);
        }
        m_u64RecoveryBytesBefore += hit.u64FileSize;
        if (m_pListener != nullptr) m_pListener->OnFileDone(result);
    }
    if (StopRequested()) {
        m_summary.bStopped = true;
        return SESSION_STOPPED;
    }
    return m_summary.nFailed != 0 ? SESSION_SOME_FAILED : SESSION_OK;
}

int CRecoverySession::OnScanReport(void* pParam, int nProgress, int nPercent, int nRemainSecond,
                                   unsigned long long u64Done, unsigned long long u64Total,
                                   unsigned long long u64Found, wchar_t*) {
    auto* pSelf = static_cast<CRecoverySession*>(pParam);
    if (pSelf->m_pListener != nullptr) {
        // The engine weighs its passes (a fast pass, then the sweep): the bar is their product.
        const int nBar = std::min(100, std::max(0, nProgress * nPercent / 100));
        pSelf->m_pListener->OnScanProgress({nBar, nRemainSecond, u64Done, u64Total, u64Found});
    }
    return pSelf->StopRequested() ? 1 : 0;
}

int CRecoverySession::OnSearchReport(void* pParam, int nPercent, wchar_t*) {
    auto* pSelf = static_cast<CRecoverySession*>(pParam);
    if (pSelf->m_pListener != nullptr) pSelf->m_pListener->OnSearchProgress(nPercent);
    return 0;
}

int CRecoverySession::OnRecoveryReport(void* pParam, int nProgress, int, int nErrorCode, wchar_t* pPath) {
    auto* pSelf = static_cast<CRecoverySession*>(pParam);
    // The engines report the path they actually wrote (a taken name became "name(1).ext").
    if (pPath != nullptr && pPath[0] != L'\0') pSelf->m_wstrReportedPath = pPath;
    if (nErrorCode != 0) pSelf->m_nReportedError = nErrorCode;
    if (pSelf->m_pListener != nullptr) {
        const int nPart = std::min(100, std::max(0, nProgress));
        const unsigned long long u64Done =
            pSelf->m_u64RecoveryBytesBefore + pSelf->m_u64RecoveryFileBytes * static_cast<unsigned long long>(nPart) / 100;
        pSelf->m_pListener->OnRecoveryProgress({pSelf->m_nRecoveryFile, pSelf->m_nRecoveryFiles, u64Done,
                                                pSelf->m_u64RecoveryBytesTotal,
                                                pSelf->SecondsLeft(u64Done, pSelf->m_u64RecoveryBytesTotal)});
    }
    return 0;
}

void CRecoverySession::ForgetScan() {
    // The engine closes its stores first; then the scan's folder goes, and a work folder the
    // session made for this run.
    const bool bHadEngine = m_pEngine != nullptr;
    m_pEngine.reset();
    if (bHadEngine) {
        CLogFileManager& logs = CLogFileManager::GetInstance();
        char szFolder[LOG_FILE_PATH_SIZE] = {0};
        if (logs.GetLogFileDirPath(szFolder, sizeof(szFolder)) == 0) {
            logs.DeleteLogFileDir(szFolder);
            logs.SaveLogConfigFile();
        }
    }
    if (!m_strMadeWorkFolder.empty()) {
        const std::string strScanLog = m_strMadeWorkFolder + "ScanLog/";
        unlink((strScanLog + "config").c_str());
        rmdir(strScanLog.c_str());
        rmdir(m_strMadeWorkFolder.c_str());
        m_strMadeWorkFolder.clear();
    }
    if (!m_strWorkFolder.empty()) rsb_setAppFolderOverride("");
    m_strWorkFolder.clear();
}
