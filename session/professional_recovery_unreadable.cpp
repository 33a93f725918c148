// The deep scan's list of sectors it could not read, kept beside its stores: a small text file
// "Unreadable" in the scan's folder with one "first count" line per range, so a resumed or reused
// scan still knows what its earlier part could not read.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "session/professional_recovery.h"
#include "util/debug_log.h"

namespace {

// A list longer than this was not written by us; what follows is ignored.
constexpr size_t MAX_LOADED_RANGES = 1u << 20;

int WriteText(int hFile, const std::string& strText) {
    size_t nDone = 0;
    while (nDone < strText.size()) {
        ssize_t nWritten = write(hFile, strText.data() + nDone, strText.size() - nDone);
        if (nWritten < 0 && errno == EINTR) continue;
        if (nWritten <= 0) return nWritten < 0 ? errno : EIO;
        nDone += static_cast<size_t>(nWritten);
    }
    return 0;
}

}  // namespace

int CProfessionalRecovery::SaveUnreadableRanges(const char* szLogDir) const {
    std::string strText;
    char szLine[64];
    for (const SECTOR_RANGE& range : m_vecUnreadable) {
        snprintf(szLine, sizeof(szLine), "%llu %llu\n", range.u64First, range.u64Count);
        strText += szLine;
    }
    const std::string strFile = std::string(szLogDir) + PRO_UNREADABLE_FILE_NAME;
    const std::string strTmp = strFile + ".tmp";
    // As the catalogue: a fresh file renamed over the old one, so a reader sees either list whole
    // and nothing planted at the name is written through.
    if (unlink(strTmp.c_str()) != 0 && errno != ENOENT) return errno;
    int hFile = open(strTmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (hFile < 0) {
        const int nError = errno;
        DebugLog("save unreadable ranges failed %d\n", nError);
        return nError;
    }
    int nResult = WriteText(hFile, strText);
    if (nResult == 0 && fsync(hFile) != 0) nResult = errno;
    if (close(hFile) != 0 && nResult == 0) nResult = errno;
    if (nResult == 0 && rename(strTmp.c_str(), strFile.c_str()) != 0) nResult = errno;
    if (nResult != 0) {
        unlink(strTmp.c_str());
        DebugLog("save unreadable ranges failed %d\n", nResult);
    }
    return nResult;
}

void CProfessionalRecovery::LoadUnreadableRanges(const char* szLogDir) {
    m_vecUnreadable.clear();
    const std::string strFile = std::string(szLogDir) + PRO_UNREADABLE_FILE_NAME;
    // O_NONBLOCK: a FIFO planted at the name must not hang the scan.
    int hFile = open(strFile.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (hFile < 0) return;  // a scan saved before any sector failed, or by an older version
    FILE* pFile = fdopen(hFile, "r");
    if (pFile == nullptr) {
        close(hFile);
        return;
    }
    unsigned long long u64First = 0, u64Count = 0;
    size_t nLoaded = 0;
    // Lines that do not read as two numbers end the list; the rest is kept sorted and merged
    // whatever order the file had.
    while (nLoaded < MAX_LOADED_RANGES && fscanf(pFile, "%llu %llu", &u64First, &u64Count) == 2) {
        AddSectorRange(m_vecUnreadable, SECTOR_RANGE{u64First, u64Count});
        ++nLoaded;
    }
    fclose(pFile);
}
