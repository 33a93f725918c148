// The deep scan's list of sectors it could not read, kept beside its stores: a small text file
// "Unreadable" in the scan's folder with one "first count" line per range, so a resumed or reused
// scan still knows what its earlier part could not read.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "session/professional_recovery.h"
#include "util/debug_log.h"
#include "util/replace_file.h"

namespace {

// A list longer than this was not written by us; what follows is ignored.
constexpr size_t MAX_LOADED_RANGES = 1u << 20;

}  // namespace

int CProfessionalRecovery::SaveUnreadableRanges(const char* szLogDir) const {
    std::string strText;
    char szLine[64];
    for (const SECTOR_RANGE& range : m_vecUnreadable) {
        snprintf(szLine, sizeof(szLine), "%llu %llu\n", range.u64First, range.u64Count);
        strText += szLine;
    }
    // As the catalogue: a reader sees either list whole.
    const int nResult = ReplaceFileWhole(std::string(szLogDir) + PRO_UNREADABLE_FILE_NAME, strText.data(), strText.size());
    if (nResult != 0) DebugLog("save unreadable ranges failed %d\n", nResult);
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
