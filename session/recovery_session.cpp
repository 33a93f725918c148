#include "session/recovery_session.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>

#include "carving/file_category.h"
#include "device/disk_reader.h"
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
// Held (flock) by the session that uses a work folder; also proves the folder can be written.
constexpr const char* WORK_FOLDER_LOCK = "ScanLog/lock";

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

std::vector<_PARTITION_ITEM_> ReadPartitions(const std::string& strPath, int nDiskNo,
                                             std::vector<VOLUME_DESCRIPTION>* pVolumes = nullptr) {
    std::vector<_PARTITION_ITEM_> vecItems;
    const int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return vecItems;
    CPartitionManager manager;
    manager.GetDiskPartitionItems(hFile, nDiskNo, strPath.c_str(), vecItems);
    if (pVolumes != nullptr) {
        pVolumes->assign(vecItems.size(), VOLUME_DESCRIPTION());
        for (size_t i = 0; i < vecItems.size(); ++i)
            DescribeVolumeAt(hFile, vecItems[i].u64StartSector * SECTOR_BYTES, (*pVolumes)[i]);
    }
    close(hFile);
    return vecItems;
}

// Opens and locks strFolder's lock file; the descriptor, or -1 with nError (EWOULDBLOCK: in use).
int LockWorkFolder(const std::string& strFolder, int& nError) {
    const std::string strLock = strFolder + (strFolder.empty() || strFolder.back() != '/' ? "/" : "") + WORK_FOLDER_LOCK;
    const int hLock = open(strLock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (hLock < 0) {
        nError = errno;
        return -1;
    }
    if (flock(hLock, LOCK_EX | LOCK_NB) != 0) {
        nError = errno;
        close(hLock);
        return -1;
    }
    nError = 0;
    return hLock;
}

std::string WorkFolderRefusal(int nError) {
    if (nError == EWOULDBLOCK) return "another korvalo is using it";
    return "cannot write there: " + std::string(strerror(nError));
}

// The sectors the catalogue says the current scan's sweep has covered (0 when it has no record).
unsigned long long SweptSectorsOfCurrentScan() {
    CLogFileManager& logs = CLogFileManager::GetInstance();
    char szFolder[LOG_FILE_PATH_SIZE] = {0};
    if (logs.GetLogFileDirPath(szFolder, sizeof(szFolder)) != 0) return 0;
    for (const _LOG_FILE_INFO_& info : logs.GetLogFileInfos())
        if (strcmp(info.szLogDirPath, szFolder) == 0) return info.u64SweptSectorCount;
    return 0;
}

// Forgets the current scan with its folder, and rewrites the catalogue.
void DeleteCurrentScan() {
    CLogFileManager& logs = CLogFileManager::GetInstance();
    char szFolder[LOG_FILE_PATH_SIZE] = {0};
    if (logs.GetLogFileDirPath(szFolder, sizeof(szFolder)) != 0) return;
    logs.DeleteLogFileDir(szFolder);
    logs.SaveLogConfigFile();
}

// Sets the catalogue to reuse-only for a scope.
class CReuseOnlyScope {
public:
    explicit CReuseOnlyScope(bool bReuseOnly) { CLogFileManager::GetInstance().SetReuseOnly(bReuseOnly); }
    ~CReuseOnlyScope() { CLogFileManager::GetInstance().SetReuseOnly(false); }
    CReuseOnlyScope(const CReuseOnlyScope&) = delete;
    CReuseOnlyScope& operator=(const CReuseOnlyScope&) = delete;
};

std::string OpenFailureText(const std::string& strPath, int nError) {
    std::string strText = "cannot open " + strPath + ": " + strerror(nError);
    if (nError == EACCES || nError == EPERM) strText += " (reading a device needs root rights)";
    return strText;
}

}  // namespace

SESSION_RESULT ForgetSavedScans(const std::string& strSource, size_t& nForgotten, std::string& strError) {
    nForgotten = 0;
    const std::string strFolder = rsb_getConfiguredAppFolder();
    if (strFolder.empty()) {
        strError = "neither KORVALO_HOME, XDG_STATE_HOME nor HOME names the work folder";
        return SESSION_NO_WORK_FOLDER;
    }
    struct stat st;
    if (stat((strFolder + "/ScanLog").c_str(), &st) != 0) return SESSION_OK;  // never made: nothing saved
    int nError = 0;
    const int hLock = LockWorkFolder(strFolder, nError);
    if (hLock < 0) {
        strError = "cannot change the saved scans in " + strFolder + ": " + WorkFolderRefusal(nError);
        return SESSION_NO_WORK_FOLDER;
    }
    rsb_setAppFolderOverride(strFolder);
    CLogFileManager& logs = CLogFileManager::GetInstance();
    logs.Init();
    nError = logs.ForgetSource(strSource.c_str(), nForgotten);
    rsb_setAppFolderOverride("");
    close(hLock);
    if (nError != 0) {
        strError = "cannot update the saved scans in " + strFolder + ": " + strerror(nError);
        return SESSION_NO_WORK_FOLDER;
    }
    return SESSION_OK;
}

std::vector<SESSION_DISK> ListSessionDisks(const std::vector<std::string>& vecPaths) {
    if (!vecPaths.empty()) rsb_setDiskList(vecPaths);
    std::vector<SESSION_DISK> vecDisks;
    const std::vector<std::string> vecList = rsb_getDiskList();
    for (size_t i = 0; i < vecList.size() && i < static_cast<size_t>(KORVALO_MAX_DISKS); ++i) {
        SESSION_DISK disk;
        disk.strPath = vecList[i];
        disk.nOpenError = ProbeSource(disk.strPath, disk.u64Bytes);
        if (disk.nOpenError == 0)
            disk.vecPartitions = ReadPartitions(disk.strPath, static_cast<int>(i), &disk.vecVolumes);
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
    if (u64Start >= m_u64SourceSectors)
        return Fail(SESSION_BAD_REQUEST, "the start sector " + std::to_string(u64Start) + " lies past the end of " +
                                             m_strSource + ", which has " + std::to_string(m_u64SourceSectors) +
                                             " sectors (0.." + std::to_string(m_u64SourceSectors == 0 ? 0 : m_u64SourceSectors - 1) + ")");
    if (u64Count == 0 || u64Count > m_u64SourceSectors - u64Start)
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
            if (nError == 0 && TakeWorkFolder(strConfigured, strWhyNot)) {
                m_strWorkFolder = strConfigured;
                CLogFileManager::GetInstance().Init();
                return SESSION_OK;
            }
            if (nError != 0) strWhyNot = "it cannot be made: " + std::string(strerror(nError));
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
        std::string strIgnored;
        if (rsb_createAppFolders() != 0 || !TakeWorkFolder(m_strMadeWorkFolder, strIgnored)) continue;
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

bool CRecoverySession::TakeWorkFolder(const std::string& strFolder, std::string& strWhyNot) {
    int nError = 0;
    const int hLock = LockWorkFolder(strFolder, nError);
    if (hLock < 0) {
        strWhyNot = WorkFolderRefusal(nError);
        return false;
    }
    if (m_hWorkFolderLock >= 0) close(m_hWorkFolderLock);
    m_hWorkFolderLock = hLock;
    return true;
}

SESSION_RESULT CRecoverySession::MakeEngine(SESSION_SAVED_SCAN_USE eUse) {
    m_pEngine.reset();
    std::unique_ptr<IFileRecoveryParse> pBase(CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(
        0, static_cast<long long>(m_u64AreaStart), static_cast<long long>(m_u64AreaSectors), L'C',
        RECOVERY_TYPE_PROFESSIONAL));
    auto* pEngine = dynamic_cast<CProfessionalRecovery*>(pBase.get());
    if (pEngine == nullptr) return Fail(SESSION_CANNOT_OPEN, "cannot open " + m_strSource + " for the scan");
    pBase.release();
    m_pEngine.reset(pEngine);
    const bool bSaved = m_pEngine->IsFindLogFile() != 0;
    if (eUse == SESSION_SAVED_ONLY && !bSaved) {
        m_pEngine.reset();
        return Fail(SESSION_BAD_REQUEST, "there is no saved scan of this area of " + m_strSource +
                                             " (or the source changed since); run 'korvalo scan' on it first");
    }
    if (eUse == SESSION_RESCAN) m_pEngine->SetNotLoadLogFile();
    if (eUse != SESSION_RESCAN && bSaved && m_pListener != nullptr) {
        char szFolder[LOG_FILE_PATH_SIZE] = {0};
        CLogFileManager::GetInstance().GetLogFileDirPath(szFolder, sizeof(szFolder));
        m_pListener->OnNotice("using the saved scan of this area (" + std::string(szFolder) + ")" +
                              (eUse == SESSION_SAVED_ONLY ? "" : "; --rescan scans afresh"));
    }
    m_pEngine->InitCallBack(&OnScanReport, &OnRecoveryReport, this, 100);
    m_pEngine->InitSearchCallBack(&OnSearchReport, this);
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::Scan(SESSION_SAVED_SCAN_USE eUse) {
    if (m_strSource.empty()) return Fail(SESSION_BAD_REQUEST, "no source is open");
    if (!m_bAreaChosen) {
        const SESSION_RESULT eArea = ChooseArea(SESSION_AREA());
        if (eArea != SESSION_OK) return eArea;
    }
    const SESSION_RESULT eWork = PrepareWorkFolder(false);
    if (eWork != SESSION_OK) return eWork;
    // Under reuse-only the engine is handed the saved scan as finished, and the scan leaves its
    // record as it was.
    CReuseOnlyScope reuseOnly(eUse == SESSION_SAVED_ONLY);
    const SESSION_RESULT eEngine = MakeEngine(eUse);
    if (eEngine != SESSION_OK) return eEngine;

    const bool bSaved = m_pEngine->IsFindLogFile() != 0;
    const unsigned long long u64SweptBefore = bSaved ? SweptSectorsOfCurrentScan() : 0;
    m_summary = SESSION_SUMMARY();
    m_u64StepStartMs = static_cast<unsigned long long>(rsb_getTickCount());
    const int nScan = m_pEngine->ScanDevice(nullptr);
    m_bScanned = true;
    m_summary.dScanSeconds = (static_cast<unsigned long long>(rsb_getTickCount()) - m_u64StepStartMs) / 1000.0;
    const unsigned long long u64SweptAfter = SweptSectorsOfCurrentScan();
    m_summary.u64SectorsSwept = u64SweptAfter > u64SweptBefore ? u64SweptAfter - u64SweptBefore : 0;
    m_summary.eScanOrigin = !bSaved ? SESSION_SCAN_NEW
                                    : m_summary.u64SectorsSwept != 0 ? SESSION_SCAN_RESUMED : SESSION_SCAN_REUSED;
    m_summary.vecUnreadable = m_pEngine->GetUnreadableRanges();
    m_summary.u64UnreadableSectors = m_pEngine->GetUnreadableSectorCount();

    std::string strStoreFolder;
    const int nStoreError = m_pEngine->GetStoreError(strStoreFolder);
    if (nStoreError != 0) {
        // Finds were lost, so this scan must not be continued or reused later.
        m_pEngine.reset();
        m_bScanned = false;
        DeleteCurrentScan();
        return Fail(SESSION_NO_WORK_FOLDER, "the scan stopped: its finds cannot be kept in " + strStoreFolder + " (" +
                                                strerror(nStoreError) + ")");
    }
    if (TakeStopRequest()) {
        m_summary.bScanStopped = true;
        return SESSION_STOPPED;
    }
    if (nScan != 0) return Fail(SESSION_CANNOT_OPEN, "the scan failed: " + DescribeRecoveryError(nScan));
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::StartCounting() {
    if (!m_pEngine || !m_bScanned) return Fail(SESSION_BAD_REQUEST, "nothing has been scanned");
    m_summary.nFound = 0;
    std::fill(std::begin(m_summary.anBySource), std::end(m_summary.anBySource), 0);
    m_summary.mapByCategory.clear();
    return SESSION_OK;
}

void CRecoverySession::CountFind(const __SEARCH_FILE_INFO__& hit) {
    ++m_summary.nFound;
    if (hit.nSourceType >= 0 && hit.nSourceType <= FILE_SOURCE_CARVING) ++m_summary.anBySource[hit.nSourceType];
    char szName[sizeof(hit.szFileName) + 1];
    memcpy(szName, hit.szFileName, sizeof(hit.szFileName));
    szName[sizeof(hit.szFileName)] = '\0';
    ++m_summary.mapByCategory[GetDirTypeByFileName(szName)];
}

SESSION_RESULT CRecoverySession::Search(int nCategoryMask, std::vector<__SEARCH_FILE_INFO__>& vecHits) {
    vecHits.clear();
    const SESSION_RESULT eStart = StartCounting();
    if (eStart != SESSION_OK) return eStart;
    std::wstring wstrKey = BuildSearchKey(nCategoryMask);
    m_pEngine->SearchFileNode(&wstrKey[0], vecHits);
    m_summary.u64HiddenDamaged = m_pEngine->GetHiddenDamagedCount();
    for (const __SEARCH_FILE_INFO__& hit : vecHits) CountFind(hit);
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::IndexFinds(CFoundFileIndex& index) {
    index.Clear();
    if (!m_pEngine || !m_bScanned) return Fail(SESSION_BAD_REQUEST, "nothing has been scanned");
    try {
        index.Reserve(m_pEngine->GetStoredNodeCount());
    } catch (const std::exception&) {
        // Without the room the index simply grows as it goes.
    }
    std::wstring wstrKey = BuildSearchKey(FILE_CATEGORY_ALL);
    m_pEngine->VisitFinds(&wstrKey[0], [&](const __SEARCH_FILE_INFO__& hit, FOUND_PLACE place) {
        index.Add(hit, place);
        return true;
    });
    index.NumberInIdOrder();
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::ListFinds(int nCategoryMask, const CFoundFileIndex& index,
                                           std::vector<unsigned long long>& vecIds) {
    vecIds.clear();
    const SESSION_RESULT eStart = StartCounting();
    if (eStart != SESSION_OK) return eStart;
    vecIds.reserve(index.Count());
    std::wstring wstrKey = BuildSearchKey(nCategoryMask);
    m_pEngine->VisitFinds(&wstrKey[0], [&](const __SEARCH_FILE_INFO__& hit, FOUND_PLACE place) {
        const unsigned long long u64Id = index.IdOf(place);
        if (u64Id != 0) vecIds.push_back(u64Id);
        CountFind(hit);
        return true;
    });
    m_summary.u64HiddenDamaged = m_pEngine->GetHiddenDamagedCount();
    index.SortInSearchOrder(vecIds);
    return SESSION_OK;
}

SESSION_RESULT CRecoverySession::ReadFind(const CFoundFileIndex& index, unsigned long long u64Id,
                                          __SEARCH_FILE_INFO__& hit) {
    FOUND_PLACE place;
    if (!m_pEngine || !index.PlaceOf(u64Id, place))
        return Fail(SESSION_BAD_REQUEST, "there is no find " + std::to_string(u64Id));
    const int nResult = m_pEngine->ReadFind(place, hit);
    if (nResult != 0)
        return Fail(SESSION_CANNOT_OPEN, "cannot read find " + std::to_string(u64Id) + " back from the saved scan: " +
                                             DescribeRecoveryError(nResult));
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
    SetLastUnreadableSector(ULLONG_MAX);
    __SEARCH_FILE_INFO__ copy = hit;
    return m_pEngine->SaveFileData(&copy, &wstrTarget[0], nBaseLevel);
}

void CRecoverySession::JudgeUnfinishedFile(SESSION_FILE_RESULT& result) {
    struct stat st;
    const bool bWritten = lstat(result.strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const unsigned long long u64Written = bWritten ? static_cast<unsigned long long>(st.st_size) : 0;
    if (result.nResult == KR_STOPPED_BY_USER) {
        // Stopped at its last chunk: it is whole.
        if (bWritten && u64Written == result.hit.u64FileSize) {
            result.nResult = 0;
            return;
        }
        // A cut file would pass for a recovered one; the user can recover it again later.
        const std::string& strRoot = m_pWriter->Root();
        const std::string strPrefix = strRoot == "/" ? strRoot : strRoot + "/";
        const bool bRemoved = bWritten && result.strPath.compare(0, strPrefix.size(), strPrefix) == 0 &&
                              m_pWriter->RemoveFile(result.strPath.substr(strPrefix.size())) == 0;
        result.strReason = std::string("stopped while it was being written") +
                           (bRemoved ? "; the incomplete file was removed" : "");
        return;
    }
    if (result.nResult == KR_ERROR_READ_FAULT && bWritten) {
        result.bPartial = true;
        result.u64BytesKept = u64Written;
        const unsigned long long u64Sector = GetLastUnreadableSector();
        result.strReason = "partial: " +
                           (u64Sector != ULLONG_MAX ? "cannot read sector " + std::to_string(u64Sector)
                                                    : std::string("cannot read its sectors on the source")) +
                           " (kept the first " + std::to_string(u64Written) + " of " +
                           std::to_string(result.hit.u64FileSize) + " bytes)";
        return;
    }
    result.strReason = DescribeRecoveryError(result.nResult);
    if ((result.nResult == ENOSPC || result.nResult == EDQUOT) && bWritten)
        result.strReason += " (kept the first " + std::to_string(u64Written) + " bytes)";
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
    m_summary.nRecovered = m_summary.nPartial = m_summary.nFailed = m_summary.nNotAttempted = 0;
    m_summary.u64BytesWritten = 0;
    m_summary.bRecoveryStopped = m_summary.bDestinationFull = false;

    for (m_nRecoveryFile = 0; m_nRecoveryFile < vecHits.size(); ++m_nRecoveryFile) {
        if (StopRequested()) break;
        const __SEARCH_FILE_INFO__& hit = vecHits[m_nRecoveryFile];
        m_u64RecoveryFileBytes = hit.u64FileSize;
        SESSION_FILE_RESULT result;
        result.hit = hit;
        result.nResult = RecoverOne(hit, strRoot + "/" + RelativeTargetOf(hit, bKeepFolders), nBaseLevel);
        result.strPath = Unicode2Path(m_wstrReportedPath.c_str());
        if (result.nResult != 0) JudgeUnfinishedFile(result);
        if (result.nResult == 0) {
            ++m_summary.nRecovered;
            m_summary.u64BytesWritten += hit.u64FileSize;
        } else if (result.bPartial) {
            ++m_summary.nPartial;
            m_summary.u64BytesWritten += result.u64BytesKept;
        } else if (result.nResult != KR_STOPPED_BY_USER) {
            ++m_summary.nFailed;
        }
        m_u64RecoveryBytesBefore += hit.u64FileSize;
        if (m_pListener != nullptr) m_pListener->OnFileDone(result);
        if (result.nResult == KR_STOPPED_BY_USER) break;
        // Every later file would fail the same way; one message says it.
        if (result.nResult == ENOSPC || result.nResult == EDQUOT) {
            m_summary.bDestinationFull = true;
            break;
        }
    }
    m_summary.nNotAttempted = vecHits.size() - m_summary.nRecovered - m_summary.nPartial - m_summary.nFailed;
    m_summary.bRecoveryStopped = TakeStopRequest();
    return Outcome();
}

SESSION_RESULT CRecoverySession::Outcome() const {
    if (m_summary.bScanStopped || m_summary.bRecoveryStopped) return SESSION_STOPPED;
    if (m_summary.nFailed != 0 || m_summary.bDestinationFull) return SESSION_SOME_FAILED;
    if (m_summary.nPartial != 0 || m_summary.u64UnreadableSectors != 0) return SESSION_UNREADABLE;
    return SESSION_OK;
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

int CRecoverySession::OnRecoveryReport(void* pParam, int nProgress, int, int, wchar_t* pPath) {
    auto* pSelf = static_cast<CRecoverySession*>(pParam);
    // The engines report the path they actually wrote (a taken name became "name(1).ext").
    if (pPath != nullptr && pPath[0] != L'\0') pSelf->m_wstrReportedPath = pPath;
    if (pSelf->m_pListener != nullptr) {
        const int nPart = std::min(100, std::max(0, nProgress));
        const unsigned long long u64Done =
            pSelf->m_u64RecoveryBytesBefore + pSelf->m_u64RecoveryFileBytes * static_cast<unsigned long long>(nPart) / 100;
        pSelf->m_pListener->OnRecoveryProgress({pSelf->m_nRecoveryFile, pSelf->m_nRecoveryFiles, u64Done,
                                                pSelf->m_u64RecoveryBytesTotal,
                                                pSelf->SecondsLeft(u64Done, pSelf->m_u64RecoveryBytesTotal)});
    }
    // The engines report after every chunk they write: a stop ends even a large file at once.
    return pSelf->StopRequested() ? KR_STOPPED_BY_USER : 0;
}

void CRecoverySession::ForgetScan() {
    // The engine closes its stores first. In the usual work folder the scan stays in the
    // catalogue; a work folder the session made for this run goes with everything in it.
    const bool bHadEngine = m_pEngine != nullptr;
    m_pEngine.reset();
    if (!m_strMadeWorkFolder.empty()) {
        if (bHadEngine) DeleteCurrentScan();
        const std::string strScanLog = m_strMadeWorkFolder + "ScanLog/";
        for (const char* szName : {"config", "lock"}) unlink((strScanLog + szName).c_str());
        rmdir(strScanLog.c_str());
        rmdir(m_strMadeWorkFolder.c_str());
        m_strMadeWorkFolder.clear();
    }
    if (m_hWorkFolderLock >= 0) close(m_hWorkFolderLock);
    m_hWorkFolderLock = -1;
    if (!m_strWorkFolder.empty()) rsb_setAppFolderOverride("");
    m_strWorkFolder.clear();
}
