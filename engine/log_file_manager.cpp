#include "engine/log_file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/result_codes.h"
#include "util/app_folder.h"
#include "util/debug_log.h"
#include "util/disk_map.h"
#include "util/rsb.h"
#include "util/replace_file.h"
#include "util/safe_writer.h"
#include "util/source_identity.h"

namespace {

constexpr const char* kConfigName = "config";
constexpr const char* kConfigTmpName = "config.tmp";
constexpr size_t kCounterSize = 8;
// Scan folders hold flat stores; anything nested deeper than this is not ours to walk, and the
// cap keeps a hostile tree from exhausting descriptors.
constexpr int kMaxRemoveDepth = 64;

constexpr const char* kSourceNoteName = "Source";

bool EqualsIgnoringAsciiCase(const char* szA, const char* szB) {
    for (;; ++szA, ++szB) {
        unsigned char a = static_cast<unsigned char>(*szA);
        unsigned char b = static_cast<unsigned char>(*szB);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b) return false;
        if (a == '\0') return true;
    }
}

bool IsDotEntry(const char* szName) {
    return strcmp(szName, ".") == 0 || strcmp(szName, "..") == 0;
}

// 0, KR_ERROR_READ_FAULT when the file ends first, or errno.
int ReadFully(int fd, unsigned char* pBuf, size_t nLen) {
    while (nLen > 0) {
        ssize_t nRead = read(fd, pBuf, nLen);
        if (nRead < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (nRead == 0) return KR_ERROR_READ_FAULT;
        pBuf += nRead;
        nLen -= static_cast<size_t>(nRead);
    }
    return 0;
}

int RemoveEntryAt(int nParentFd, const char* szName, int nDepth);

// Removes every entry of the open folder fd (which it closes). Goes on past failures so as much
// as possible is removed; returns the first error.
int EmptyFolder(int fd, int nDepth) {
    DIR* pDir = fdopendir(fd);
    if (pDir == nullptr) {
        int nError = errno;
        close(fd);
        return nError;
    }
    // Names first, removal after: the listing is not disturbed while it is read.
    std::vector<std::string> vecNames;
    while (struct dirent* pEntry = readdir(pDir))
        if (!IsDotEntry(pEntry->d_name)) vecNames.emplace_back(pEntry->d_name);
    int nResult = 0;
    for (const std::string& strName : vecNames) {
        int nError = RemoveEntryAt(dirfd(pDir), strName.c_str(), nDepth);
        if (nError != 0 && nResult == 0) nResult = nError;
    }
    closedir(pDir);
    return nResult;
}

// Removes one entry below nParentFd without ever following a symbolic link: a link (or any
// other non-folder) is unlinked itself; a folder is opened relative to its parent with
// O_NOFOLLOW, emptied and removed. Returns 0 or errno.
int RemoveEntryAt(int nParentFd, const char* szName, int nDepth) {
    struct stat st;
    if (fstatat(nParentFd, szName, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return unlinkat(nParentFd, szName, 0) == 0 ? 0 : errno;
    if (nDepth >= kMaxRemoveDepth) return ELOOP;
    int fd = openat(nParentFd, szName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;  // a folder that cannot be entered stays
    int nResult = EmptyFolder(fd, nDepth + 1);
    if (nResult != 0) return nResult;
    return unlinkat(nParentFd, szName, AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace

CLogFileManager& CLogFileManager::GetInstance() {
    static CLogFileManager s_instance;
    return s_instance;
}

CLogFileManager::CLogFileManager() : m_pFingerprintProbe(&SourceFingerprint) {
    Init();  // a missing or unreadable catalogue simply means no saved scans
}

int CLogFileManager::Init() {
    m_vecLogFileInfo.clear();
    m_u64DirIndex = 0;
    ClearExplicitDir();
    m_strBaseDir = rsb_getScanLogFolder();

    // A save that stopped between writing "config.tmp" and renaming it left the new catalogue
    // complete in "config.tmp" (a partial one is removed by the save itself).
    const std::string strConfig = m_strBaseDir + kConfigName;
    const std::string strConfigTmp = m_strBaseDir + kConfigTmpName;
    struct stat st;
    if (lstat(strConfig.c_str(), &st) != 0 && errno == ENOENT && lstat(strConfigTmp.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode)) {
        if (rename(strConfigTmp.c_str(), strConfig.c_str()) != 0)
            DebugLog("rename config.tmp failed %d\n", errno);
    }
    return LoadConfigFile();
}

int CLogFileManager::LoadConfigFile() {
    const std::string strConfig = m_strBaseDir + kConfigName;
    // O_NONBLOCK: a planted FIFO must not hang start-up; it is refused as not regular below.
    int fd = open(strConfig.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return KR_ERROR_INVALID_PARAMETER;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < static_cast<off_t>(kCounterSize)) {
        close(fd);
        return KR_ERROR_INVALID_PARAMETER;
    }

    // Record by record, so a damaged, huge file never needs one huge buffer. A trailing partial
    // record is ignored.
    unsigned char abyRecord[LOG_FILE_INFO_SIZE];
    int nResult = ReadFully(fd, abyRecord, kCounterSize);
    const unsigned long long u64DirIndex = nResult == 0 ? ReadLe64(abyRecord) : 0;
    std::vector<_LOG_FILE_INFO_> vecLoaded;
    unsigned long long u64Left = static_cast<unsigned long long>(st.st_size) - kCounterSize;
    while (nResult == 0 && u64Left >= LOG_FILE_INFO_SIZE) {
        nResult = ReadFully(fd, abyRecord, LOG_FILE_INFO_SIZE);
        if (nResult != 0) break;
        _LOG_FILE_INFO_ info;
        DecodeLogFileInfo(abyRecord, info);
        vecLoaded.push_back(info);
        u64Left -= LOG_FILE_INFO_SIZE;
    }
    close(fd);
    if (nResult != 0) return nResult;
    m_u64DirIndex = u64DirIndex;
    m_vecLogFileInfo.swap(vecLoaded);
    return 0;
}

int CLogFileManager::SaveLogConfigFile() {
    std::vector<unsigned char> vecBytes(kCounterSize + LOG_FILE_INFO_SIZE * m_vecLogFileInfo.size());
    WriteLe64(vecBytes.data(), m_u64DirIndex);
    for (size_t i = 0; i < m_vecLogFileInfo.size(); ++i)
        EncodeLogFileInfo(m_vecLogFileInfo[i], vecBytes.data() + kCounterSize + LOG_FILE_INFO_SIZE * i);

    // "config" is replaced in one step: a reader sees the old or the new catalogue, and Init
    // never finds a partial one to adopt.
    const int nResult = ReplaceFileWhole(m_strBaseDir + kConfigName, vecBytes.data(), vecBytes.size());
    if (nResult != 0) DebugLog("save config failed %d\n", nResult);
    return nResult;
}

int CLogFileManager::GetLogFileDirPath(char* szOut, size_t nCapacity) const {
    if (szOut == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const std::string strDir =
        m_bUseExplicitDir ? m_strExplicitDir : m_strBaseDir + std::to_string(m_u64DirIndex) + "/";
    if (strDir.size() >= nCapacity) {
        if (nCapacity > 0) szOut[0] = '\0';
        return ENAMETOOLONG;
    }
    memcpy(szOut, strDir.c_str(), strDir.size() + 1);
    return 0;
}

void CLogFileManager::AddDirIndex() {
    ++m_u64DirIndex;
    ClearExplicitDir();
    const std::string strDir = m_strBaseDir + std::to_string(m_u64DirIndex) + "/";
    DeleteLogFileDir(strDir.c_str());
}

void CLogFileManager::ReduceDirIndex() {
    if (m_u64DirIndex > 0) --m_u64DirIndex;
}

int CLogFileManager::GetLogFileNameByFileType(const char* szFolder, const char* szPrefix, char* szOut) const {
    if (szFolder == nullptr || szPrefix == nullptr || szOut == nullptr) return 0;
    DIR* pDir = opendir(szFolder);
    if (pDir == nullptr) {
        DebugLog("open dir failed\n");
        return 0;
    }
    // Listing order depends on the file system; the smallest matching name in byte order is
    // what "first in ascending order" means. std::string compares bytes as unsigned.
    std::string strBest;
    bool bFound = false;
    while (struct dirent* pEntry = readdir(pDir)) {
        const char* szName = pEntry->d_name;
        if (IsDotEntry(szName) || strstr(szName, szPrefix) == nullptr) continue;
        if (strlen(szName) >= LOG_FILE_PATH_SIZE) continue;
        if (!bFound || strBest.compare(szName) > 0) {
            strBest = szName;
            bFound = true;
        }
    }
    closedir(pDir);
    if (bFound) memcpy(szOut, strBest.c_str(), strBest.size() + 1);
    return 0;
}

int CLogFileManager::SaveLogFileInfo(const char* szDevicePath, int nDiskNo, unsigned long long u64StartSector,
                                     unsigned long long u64SectorCount, unsigned long long u64RunStartSector,
                                     unsigned long long u64RunSectorCount, unsigned long long u64RunOffset,
                                     unsigned long long u64SweptSectorCount,
                                     unsigned long long u64FindFileCount, const char* szLogDir,
                                     const char* szImagePath) {
    if (m_bReuseOnly) return 0;
    if (szLogDir == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const bool bImageScan = szImagePath != nullptr && szImagePath[0] != '\0';
    // A cut path could name some other folder, which a later clean-up would then delete.
    if (strlen(szLogDir) >= LOG_FILE_PATH_SIZE || (bImageScan && strlen(szImagePath) >= LOG_FILE_PATH_SIZE))
        return ENAMETOOLONG;

    _LOG_FILE_INFO_ info;
    memset(&info, 0, sizeof(info));
    // Counters only make sense with the stores they count, so only the record naming this very
    // folder is updated; it moves to the end, where the most recent scans are.
    const int nIndex = bImageScan ? -1 : FindRecordOfFolder(nDiskNo, u64StartSector, u64SectorCount, szLogDir);
    if (nIndex >= 0) {
        info = m_vecLogFileInfo[static_cast<size_t>(nIndex)];
        m_vecLogFileInfo.erase(m_vecLogFileInfo.begin() + nIndex);
    } else {
        info.nDiskNo = nDiskNo;
        info.u64StartSector = u64StartSector;
        info.u64SectorCount = u64SectorCount;
        memcpy(info.szLogDirPath, szLogDir, strlen(szLogDir) + 1);
        if (bImageScan)
            memcpy(info.szImagePath, szImagePath, strlen(szImagePath) + 1);
        else
            WriteSourceNote(szLogDir, CanonicalSourcePath(DevicePathOf(szDevicePath, nDiskNo)));
    }
    info.u64RunStartSector = u64RunStartSector;
    info.u64RunSectorCount = u64RunSectorCount;
    info.u64RunOffset = u64RunOffset;
    info.u64SweptSectorCount = u64SweptSectorCount;
    info.u64FindFileCount = u64FindFileCount;
    info.u64FreeSpace = bImageScan ? 0 : GetSourceFingerprint(szDevicePath, nDiskNo);
    m_vecLogFileInfo.push_back(info);
    ApplyBounds(nIndex < 0 && !bImageScan);
    return SaveLogConfigFile();
}

void CLogFileManager::ApplyBounds(bool bSupersede) {
    const _LOG_FILE_INFO_ newest = m_vecLogFileInfo.back();
    const std::string strSource = SourceOf(newest);
    size_t nOfSource = 1;
    // From the newest back, so the count of a source's scans meets its most recent ones first.
    for (size_t i = m_vecLogFileInfo.size() - 1; i-- > 0;) {
        const _LOG_FILE_INFO_& info = m_vecLogFileInfo[i];
        if (strSource.empty() || SourceOf(info) != strSource) continue;
        const bool bSameArea = info.nDiskNo == newest.nDiskNo && info.u64StartSector == newest.u64StartSector &&
                               info.u64SectorCount == newest.u64SectorCount;
        if ((bSupersede && bSameArea) || ++nOfSource > KEEP_SCANS_PER_SOURCE)
            ForgetLogFileInfo(i, newest.szLogDirPath);
    }
    while (m_vecLogFileInfo.size() > KEEP_SCANS_IN_ALL) ForgetLogFileInfo(0, newest.szLogDirPath);
}

int CLogFileManager::LoadRecoveryLogInfo(const char* szDevicePath, int nDiskNo, unsigned long long u64StartSector,
                                         unsigned long long u64SectorCount, _LOG_FILE_INFO_* pOut) {
    ClearExplicitDir();
    const int nIndex =
        FindLogFileInfo(nDiskNo, u64StartSector, u64SectorCount, GetSourceFingerprint(szDevicePath, nDiskNo));
    if (nIndex < 0) return 0;
    const _LOG_FILE_INFO_& info = m_vecLogFileInfo[static_cast<size_t>(nIndex)];
    // Stores are reopened in the saved folder, so it has to be one of ours.
    const std::string strFolderName = OwnScanFolderName(info.szLogDirPath);
    if (strFolderName.empty()) return 0;
    m_bUseExplicitDir = 1;
    m_strExplicitDir = m_strBaseDir + strFolderName + "/";
    if (pOut != nullptr) {
        *pOut = info;
        if (m_bReuseOnly) pOut->u64RunSectorCount = pOut->u64RunOffset = 0;
    }
    return 1;
}

int CLogFileManager::ForgetSource(const char* szSourcePath, size_t& nForgotten) {
    nForgotten = 0;
    if (szSourcePath == nullptr || szSourcePath[0] == '\0') return KR_ERROR_INVALID_PARAMETER;
    const std::string strSource = CanonicalSourcePath(szSourcePath);
    for (size_t i = m_vecLogFileInfo.size(); i-- > 0;) {
        if (SourceOf(m_vecLogFileInfo[i]) != strSource) continue;
        ForgetLogFileInfo(i, nullptr);
        ++nForgotten;
    }
    return nForgotten != 0 ? SaveLogConfigFile() : 0;
}

std::string CLogFileManager::SourceOf(const _LOG_FILE_INFO_& info) const {
    if (info.szImagePath[0] != '\0') return CanonicalSourcePath(info.szImagePath);
    const std::string strName = OwnScanFolderName(info.szLogDirPath);
    if (strName.empty()) return std::string();
    const std::string strNote = m_strBaseDir + strName + "/" + kSourceNoteName;
    const int fd = open(strNote.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string();
    char szPath[LOG_FILE_PATH_SIZE * 16];
    const ssize_t nRead = read(fd, szPath, sizeof(szPath));
    close(fd);
    if (nRead <= 0 || static_cast<size_t>(nRead) >= sizeof(szPath) || szPath[nRead - 1] != '\n') return std::string();
    return std::string(szPath, static_cast<size_t>(nRead) - 1);
}

void CLogFileManager::WriteSourceNote(const char* szFolder, const std::string& strSource) const {
    const std::string strName = OwnScanFolderName(szFolder);
    if (strName.empty() || strSource.empty()) return;
    const std::string strFolder = m_strBaseDir + strName;
    if (mkdir(strFolder.c_str(), 0755) != 0 && errno != EEXIST) return;
    const std::string strNote = strFolder + "/" + kSourceNoteName;
    const int fd = open(strNote.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        DebugLog("cannot write %s: %d\n", strNote.c_str(), errno);
        return;
    }
    const std::string strLine = strSource + "\n";
    const int nError = WriteAll(fd, strLine.data(), strLine.size());
    if (close(fd) != 0 || nError != 0) DebugLog("cannot write %s\n", strNote.c_str());
}

int CLogFileManager::DeleteLogFileDir(const char* szFolder) {
    if (szFolder == nullptr) return 0;
    for (size_t i = 0; i < m_vecLogFileInfo.size(); ++i) {
        if (EqualsIgnoringAsciiCase(m_vecLogFileInfo[i].szLogDirPath, szFolder)) {
            m_vecLogFileInfo.erase(m_vecLogFileInfo.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return RemoveScanFolder(szFolder);
}

int CLogFileManager::RemoveScanFolder(const char* szFolder) const {
    // Paths come from the catalogue file; only our own numbered folders may go, whatever it says.
    const std::string strName = OwnScanFolderName(szFolder);
    if (strName.empty()) {
        DebugLog("not a scan folder, left alone: %s\n", szFolder);
        return 0;
    }
    int nBaseFd = open(m_strBaseDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nBaseFd < 0) return errno == ENOENT ? 0 : errno;
    int nResult = RemoveEntryAt(nBaseFd, strName.c_str(), 0);
    close(nBaseFd);
    if (nResult == ENOENT) return 0;
    if (nResult != 0) DebugLog("delete log dir failed %d\n", nResult);
    return nResult;
}

std::string CLogFileManager::DevicePathOf(const char* szDevicePath, int nDiskNo) const {
    std::string strPath;
    if (szDevicePath != nullptr && szDevicePath[0] != '\0')
        strPath = szDevicePath;
    else if (!rsb_getDiskPath(nDiskNo, strPath))
        strPath.clear();
    return strPath;
}

unsigned long long CLogFileManager::GetSourceFingerprint(const char* szDevicePath, int nDiskNo) const {
    const std::string strPath = DevicePathOf(szDevicePath, nDiskNo);
    return strPath.empty() ? 0 : m_pFingerprintProbe(strPath.c_str());
}

void CLogFileManager::SetFingerprintProbe(FINGERPRINT_PROBE pProbe) {
    m_pFingerprintProbe = pProbe != nullptr ? pProbe : &SourceFingerprint;
}

int CLogFileManager::FindLogFileInfo(int nDiskNo, unsigned long long u64StartSector,
                                     unsigned long long u64SectorCount, unsigned long long u64Fingerprint) const {
    for (size_t i = m_vecLogFileInfo.size(); i-- > 0;) {
        const _LOG_FILE_INFO_& info = m_vecLogFileInfo[i];
        if (info.nDiskNo == nDiskNo && info.u64StartSector == u64StartSector &&
            info.u64SectorCount == u64SectorCount && info.u64FreeSpace == u64Fingerprint)
            return static_cast<int>(i);
    }
    return -1;
}

int CLogFileManager::FindRecordOfFolder(int nDiskNo, unsigned long long u64StartSector,
                                        unsigned long long u64SectorCount, const char* szFolder) const {
    for (size_t i = 0; i < m_vecLogFileInfo.size(); ++i) {
        const _LOG_FILE_INFO_& info = m_vecLogFileInfo[i];
        if (info.nDiskNo == nDiskNo && info.u64StartSector == u64StartSector &&
            info.u64SectorCount == u64SectorCount && info.szImagePath[0] == '\0' &&
            EqualsIgnoringAsciiCase(info.szLogDirPath, szFolder))
            return static_cast<int>(i);
    }
    return -1;
}

void CLogFileManager::ForgetLogFileInfo(size_t nIndex, const char* szKeepFolder) {
    const std::string strFolder = m_vecLogFileInfo[nIndex].szLogDirPath;
    m_vecLogFileInfo.erase(m_vecLogFileInfo.begin() + static_cast<std::ptrdiff_t>(nIndex));
    if (szKeepFolder == nullptr || !EqualsIgnoringAsciiCase(strFolder.c_str(), szKeepFolder))
        RemoveScanFolder(strFolder.c_str());
}

std::string CLogFileManager::OwnScanFolderName(const char* szFolder) const {
    if (szFolder == nullptr || m_strBaseDir.empty() ||
        strncmp(szFolder, m_strBaseDir.c_str(), m_strBaseDir.size()) != 0)
        return std::string();
    const char* szName = szFolder + m_strBaseDir.size();
    size_t nLen = 0;
    while (szName[nLen] >= '0' && szName[nLen] <= '9') ++nLen;
    if (nLen == 0) return std::string();
    const char* szRest = szName + nLen;
    if (!(szRest[0] == '\0' || (szRest[0] == '/' && szRest[1] == '\0'))) return std::string();
    return std::string(szName, nLen);
}

void CLogFileManager::ClearExplicitDir() {
    m_bUseExplicitDir = 0;
    m_strExplicitDir.clear();
}
