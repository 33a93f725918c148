#include "util/safe_writer.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "util/debug_log.h"

namespace {

constexpr mode_t kFolderMode = 0755;  // folders must be enterable
constexpr mode_t kFileMode = 0644;
// Past this many taken names the search gives up with EEXIST rather than run on.
constexpr int kMaxUniqueTries = 10000;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

std::atomic<CSafeWriter*> g_pActiveWriter{nullptr};

// A plain decimal id; false for anything else, and for -1, which chown reads as "leave alone".
bool ParseId(const char* szValue, unsigned int& nId) {
    if (szValue == nullptr || *szValue == '\0') return false;
    unsigned long long u64Value = 0;
    for (const char* p = szValue; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        u64Value = u64Value * 10 + static_cast<unsigned>(*p - '0');
        if (u64Value >= 0xFFFFFFFFull) return false;
    }
    nId = static_cast<unsigned int>(u64Value);
    return true;
}

bool PrimaryGroup(uid_t uid, gid_t& gid) {
    struct passwd entry;
    struct passwd* pFound = nullptr;
    std::vector<char> vecBuf(16384);
    if (getpwuid_r(uid, &entry, vecBuf.data(), vecBuf.size(), &pFound) != 0 || pFound == nullptr) return false;
    gid = entry.pw_gid;
    return true;
}

// Splits "a/b/c" into its components; false for an empty path or an empty, "." or ".." part.
bool SplitRelative(const std::string& strRelative, std::vector<std::string>& vecParts) {
    vecParts.clear();
    size_t nStart = 0;
    while (true) {
        const size_t nSlash = strRelative.find('/', nStart);
        const std::string strPart =
            strRelative.substr(nStart, nSlash == std::string::npos ? std::string::npos : nSlash - nStart);
        if (strPart.empty() || strPart == "." || strPart == "..") return false;
        vecParts.push_back(strPart);
        if (nSlash == std::string::npos) return true;
        nStart = nSlash + 1;
    }
}

// "name(n).ext": the number goes before the last dot, as util/path's GetRealFileName does it.
std::string NumberedFileName(const std::string& strName, int n) {
    const size_t nDot = strName.rfind('.');
    const std::string strNumber = "(" + std::to_string(n) + ")";
    if (nDot == std::string::npos) return strName + strNumber;
    return strName.substr(0, nDot) + strNumber + strName.substr(nDot);
}

std::string JoinRelative(const std::string& strFolder, const std::string& strName) {
    return strFolder.empty() ? strName : strFolder + "/" + strName;
}

void CloseUnlessRoot(int hFolder, int hRoot) {
    if (hFolder >= 0 && hFolder != hRoot) close(hFolder);
}

// The part of strPath below the writer's root, when strPath lies below it.
bool RelativeBelowRoot(const CSafeWriter& writer, const std::string& strPath, std::string& strRelative) {
    if (!writer.IsOpen()) return false;
    const std::string& strRoot = writer.Root();
    const size_t nPrefix = strRoot == "/" ? 1 : strRoot.size() + 1;
    if (strPath.size() <= nPrefix || strPath.compare(0, strRoot.size(), strRoot) != 0 ||
        strPath[nPrefix - 1] != '/')
        return false;
    strRelative = strPath.substr(nPrefix);
    return true;
}

std::string WithoutTrailingSlashes(const std::string& strPath) {
    size_t nEnd = strPath.size();
    while (nEnd > 1 && strPath[nEnd - 1] == '/') --nEnd;
    return strPath.substr(0, nEnd);
}

// Runs one writer call on strPath: through the active writer when it covers strPath, else through
// a writer on strPath's parent folder. strUsedPath is strPath with the writer's choice of names.
template <typename WriterCall>
int ThroughWriter(const std::string& strPath, std::string& strUsedPath, WriterCall call) {
    std::string strRelative;
    std::string strUsed;
    CSafeWriter* pActive = GetActiveRecoveryWriter();
    if (pActive != nullptr && RelativeBelowRoot(*pActive, strPath, strRelative)) {
        const int nResult = call(*pActive, strRelative, strUsed);
        if (nResult == 0) strUsedPath = strPath.substr(0, strPath.size() - strRelative.size()) + strUsed;
        return nResult;
    }
    const size_t nSlash = strPath.rfind('/');
    const std::string strPrefix = nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash + 1);
    CSafeWriter writer;
    int nResult = writer.Open(strPrefix.empty() ? std::string(".") : strPrefix);
    if (nResult == 0) nResult = call(writer, strPath.substr(strPrefix.size()), strUsed);
    if (nResult == 0) strUsedPath = strPrefix + strUsed;
    return nResult;
}

}  // namespace

RecoveryOwner RecoveryOwnerFrom(bool bRoot, const char* szSudoUid, const char* szSudoGid, const char* szPkexecUid) {
    RecoveryOwner owner;
    if (!bRoot) return owner;
    unsigned int nUid = 0;
    unsigned int nGid = 0;
    if (ParseId(szSudoUid, nUid)) {
        owner.bGive = true;
        owner.uid = static_cast<uid_t>(nUid);
        if (ParseId(szSudoGid, nGid)) {
            owner.gid = static_cast<gid_t>(nGid);
            return owner;
        }
    } else if (ParseId(szPkexecUid, nUid)) {
        owner.bGive = true;
        owner.uid = static_cast<uid_t>(nUid);
    } else {
        return owner;
    }
    PrimaryGroup(owner.uid, owner.gid);
    return owner;
}

RecoveryOwner RecoveryOwnerFromEnvironment() {
    return RecoveryOwnerFrom(geteuid() == 0, getenv("SUDO_UID"), getenv("SUDO_GID"), getenv("PKEXEC_UID"));
}

CSafeWriter::CSafeWriter() = default;

CSafeWriter::~CSafeWriter() {
    Close();
}

void CSafeWriter::Close() {
    if (m_hRoot >= 0) close(m_hRoot);
    m_hRoot = -1;
    m_strRoot.clear();
}

void CSafeWriter::Adopt(int hCreated, mode_t mode) const {
    // Only logged: file systems without owners or modes (FAT, exFAT) refuse both, and the
    // recovered data matter more than who owns them.
    if (m_owner.bGive && fchown(hCreated, m_owner.uid, m_owner.gid) != 0)
        DebugLog("cannot give a recovered file to uid %u: errno %d\n", static_cast<unsigned>(m_owner.uid), errno);
    if (fchmod(hCreated, mode) != 0)
        DebugLog("cannot set mode %o on a recovered file: errno %d\n", static_cast<unsigned>(mode), errno);
}

int CSafeWriter::Open(const std::string& strRoot) {
    Close();
    if (strRoot.empty()) return EINVAL;
    m_owner = RecoveryOwnerFromEnvironment();
    int hFolder = open(strRoot[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (hFolder < 0) return errno;
    size_t nStart = 0;
    while (nStart < strRoot.size()) {
        size_t nSlash = strRoot.find('/', nStart);
        if (nSlash == std::string::npos) nSlash = strRoot.size();
        const std::string strPart = strRoot.substr(nStart, nSlash - nStart);
        nStart = nSlash + 1;
        if (strPart.empty()) continue;
        int hNext = openat(hFolder, strPart.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (hNext < 0 && errno == ENOENT) {
            if (mkdirat(hFolder, strPart.c_str(), kFolderMode) == 0) {
                // Ours, so only a real folder is adopted; a link swapped in for it is refused.
                hNext = openat(hFolder, strPart.c_str(), kFolderFlags);
                if (hNext >= 0) Adopt(hNext, kFolderMode);
            } else if (errno == EEXIST) {
                hNext = openat(hFolder, strPart.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            }
        }
        const int nError = errno;
        close(hFolder);
        if (hNext < 0) return nError;
        hFolder = hNext;
    }
    m_hRoot = hFolder;
    m_strRoot = WithoutTrailingSlashes(strRoot);
    return 0;
}

int CSafeWriter::EnterFolder(int hParent, const std::string& strName, FolderRule rule, int& hFolder,
                             std::string& strUsed) {
    for (int n = 0; n <= kMaxUniqueTries; ++n) {
        const std::string strTry = n == 0 ? strName : strName + "(" + std::to_string(n) + ")";
        hFolder = openat(hParent, strTry.c_str(), kFolderFlags);
        if (hFolder < 0 && errno == ENOENT && rule != FolderRule::kExisting) {
            if (mkdirat(hParent, strTry.c_str(), kFolderMode) == 0) {
                hFolder = openat(hParent, strTry.c_str(), kFolderFlags);
                if (hFolder >= 0) Adopt(hFolder, kFolderMode);
            } else if (errno == EEXIST) {
                hFolder = openat(hParent, strTry.c_str(), kFolderFlags);  // made meanwhile
            }
        }
        if (hFolder >= 0) {
            strUsed = strTry;
            return 0;
        }
        // A link (ELOOP on some kernels) or anything else that is no folder: pass it by.
        const bool bNoFolder = errno == ENOTDIR || errno == ELOOP;
        if (!bNoFolder) return errno;
        if (rule != FolderRule::kPassBy) return ENOTDIR;
    }
    return EEXIST;
}

int CSafeWriter::WalkFolders(const std::string* pParts, size_t nCount, FolderRule rule, int& hFolder,
                             std::string& strUsed) {
    hFolder = -1;
    strUsed.clear();
    if (m_hRoot < 0) return EBADF;
    int hCurrent = m_hRoot;
    for (size_t i = 0; i < nCount; ++i) {
        int hNext = -1;
        std::string strName;
        const int nResult = EnterFolder(hCurrent, pParts[i], rule, hNext, strName);
        CloseUnlessRoot(hCurrent, m_hRoot);
        if (nResult != 0) return nResult;
        hCurrent = hNext;
        strUsed = JoinRelative(strUsed, strName);
    }
    // The caller always closes what it gets, so the root is handed out as a copy.
    hFolder = hCurrent == m_hRoot ? fcntl(m_hRoot, F_DUPFD_CLOEXEC, 0) : hCurrent;
    return hFolder < 0 ? errno : 0;
}

int CSafeWriter::MakeFolders(const std::string& strRelative, std::string& strUsed) {
    std::vector<std::string> vecParts;
    if (!SplitRelative(strRelative, vecParts)) return EINVAL;
    int hFolder = -1;
    const int nResult = WalkFolders(vecParts.data(), vecParts.size(), FolderRule::kPassBy, hFolder, strUsed);
    if (hFolder >= 0) close(hFolder);
    return nResult;
}

int CSafeWriter::OpenParentFolder(const std::string& strRelative, FolderRule rule, std::string& strName,
                                  int& hFolder, std::string& strFolder) {
    std::vector<std::string> vecParts;
    if (!SplitRelative(strRelative, vecParts)) return EINVAL;
    strName = vecParts.back();
    return WalkFolders(vecParts.data(), vecParts.size() - 1, rule, hFolder, strFolder);
}

int CSafeWriter::CreateFile(const std::string& strRelative, int& hFile, std::string& strUsed) {
    hFile = -1;
    std::string strWanted, strFolder;
    int hFolder = -1;
    int nResult = OpenParentFolder(strRelative, FolderRule::kPassBy, strWanted, hFolder, strFolder);
    if (nResult != 0) return nResult;
    // The O_EXCL create is the test for a free name: nothing is looked at first.
    nResult = EEXIST;
    for (int n = 0; n <= kMaxUniqueTries && nResult == EEXIST; ++n) {
        const std::string strName = n == 0 ? strWanted : NumberedFileName(strWanted, n);
        hFile = openat(hFolder, strName.c_str(), kNewFileFlags, kFileMode);
        if (hFile >= 0) {
            Adopt(hFile, kFileMode);
            strUsed = JoinRelative(strFolder, strName);
            nResult = 0;
        } else {
            nResult = errno;
        }
    }
    close(hFolder);
    return nResult;
}

int CSafeWriter::ReplaceFile(const std::string& strRelative, int& hFile) {
    hFile = -1;
    std::string strName, strFolder;
    int hFolder = -1;
    int nResult = OpenParentFolder(strRelative, FolderRule::kStrict, strName, hFolder, strFolder);
    if (nResult != 0) return nResult;
    const char* szName = strName.c_str();
    if (unlinkat(hFolder, szName, 0) != 0 && errno == EISDIR) unlinkat(hFolder, szName, AT_REMOVEDIR);
    hFile = openat(hFolder, szName, kNewFileFlags, kFileMode);
    nResult = hFile >= 0 ? 0 : errno;
    if (hFile >= 0) Adopt(hFile, kFileMode);
    close(hFolder);
    return nResult;
}

int CSafeWriter::RemoveFile(const std::string& strRelative) {
    std::string strName, strFolder;
    int hFolder = -1;
    int nResult = OpenParentFolder(strRelative, FolderRule::kExisting, strName, hFolder, strFolder);
    if (nResult != 0) return nResult;
    nResult = unlinkat(hFolder, strName.c_str(), 0) == 0 ? 0 : errno;
    close(hFolder);
    return nResult;
}

void SetActiveRecoveryWriter(CSafeWriter* pWriter) {
    g_pActiveWriter.store(pWriter);
}

CSafeWriter* GetActiveRecoveryWriter() {
    return g_pActiveWriter.load();
}

int CreateRecoveredFile(const std::string& strPath, int& hFile, std::string& strUsedPath) {
    hFile = -1;
    return ThroughWriter(strPath, strUsedPath, [&hFile](CSafeWriter& writer, const std::string& strRelative,
                                                        std::string& strUsed) {
        return writer.CreateFile(strRelative, hFile, strUsed);
    });
}

int MakeRecoveredFolder(const std::string& strPath, std::string& strUsedPath) {
    const std::string strFolder = WithoutTrailingSlashes(strPath);
    CSafeWriter* pActive = GetActiveRecoveryWriter();
    if (pActive != nullptr && pActive->IsOpen() && strFolder == pActive->Root()) {
        strUsedPath = strFolder;  // the destination itself is there already
        return 0;
    }
    return ThroughWriter(strFolder, strUsedPath, [](CSafeWriter& writer, const std::string& strRelative,
                                                    std::string& strUsed) {
        return writer.MakeFolders(strRelative, strUsed);
    });
}

int WriteAll(int hFile, const void* pData, size_t nLen) {
    const unsigned char* pBytes = static_cast<const unsigned char*>(pData);
    while (nLen > 0) {
        const ssize_t nWritten = write(hFile, pBytes, nLen);
        if (nWritten < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (nWritten == 0) return EIO;
        pBytes += nWritten;
        nLen -= static_cast<size_t>(nWritten);
    }
    return 0;
}
