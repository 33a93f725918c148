// The standard forward walk of the size rules, its end searches and the end-marker searches.
#include "carving/forward_walk.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "carving/signature_constants.h"
#include "device/disk_reader.h"

namespace {

bool UsableSectorSize(int nBytesPerSector) {
    return nBytesPerSector > 0 && nBytesPerSector <= FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR;
}

// Sectors the next read may ask for: the chunk, the remaining budget and the reader's area.
unsigned long long SectorsToRequest(unsigned long long u64First, unsigned long long u64Budget,
                                    unsigned long long u64ChunkSectors) {
    unsigned long long u64Want = std::min(u64Budget, u64ChunkSectors);
    // A request that passes the reader's limit is refused whole; ask only for what exists,
    // so a file near the end of the area still gets its last sectors examined.
    unsigned long long u64End = CFileTypeJudge::m_pDiskReader->GetEndSector();
    if (u64First >= u64End) return 0;
    return std::min(u64Want, u64End - u64First);
}

unsigned long long s_u64WalkUnreadableSector = UINT64_MAX;

}  // namespace

unsigned long long GetWalkUnreadableSector() {
    return s_u64WalkUnreadableSector;
}

void ForgetWalkUnreadable() {
    s_u64WalkUnreadableSector = UINT64_MAX;
}

void NoteWalkUnreadable(unsigned long long u64Sector) {
    s_u64WalkUnreadableSector = std::min(s_u64WalkUnreadableSector, u64Sector);
}

int ReportWalkProgress(unsigned long long u64RunningCount) {
    using J = CFileTypeJudge;
    J::m_ErrorCode = 0;
    if (J::m_progressFunc == nullptr) return 0;
    int nProgress = 10;
    if (J::m_u64SectorTotalCount != 0)
        nProgress = static_cast<int>(std::min<unsigned long long>(
                        u64RunningCount / J::m_u64SectorTotalCount * 100 +
                            u64RunningCount % J::m_u64SectorTotalCount * 100 / J::m_u64SectorTotalCount,
                        INT_MAX - 10)) +
                    10;
    J::m_ErrorCode = J::m_progressFunc(J::m_pParam, nProgress, J::m_nPercent, J::m_nRemaidSecond,
                                       u64RunningCount, J::m_u64SectorTotalCount, J::m_u64FileCount,
                                       nullptr);
    return J::m_ErrorCode;
}

namespace {

// The shared loop of the three end searches: bSkipMpeg leaves recurring MPEG headers inside.
int EndSearch(const unsigned char* pBuf, int nLen, unsigned long long& u64Size, bool bSkipMpeg) {
    using J = CFileTypeJudge;
    if (pBuf == nullptr || nLen <= 0 || !UsableSectorSize(J::m_nBytesPerSector)) return 0;
    const int nSectors = nLen / J::m_nBytesPerSector;
    for (int i = 0; i < nSectors; ++i) {
        ++J::m_u64CurrentSector;
        const unsigned char* pSector = pBuf + static_cast<size_t>(i) * J::m_nBytesPerSector;
        EXTEND_NAME_TYPE nType = J::GetDataBufType(pSector, J::m_nBytesPerSector);
        bool bEnds = nType != EXT_UNKNOWN && !(bSkipMpeg && nType == EXT_MPG);
        if (!bEnds) bEnds = J::IsFileSystemSector(pSector, J::m_nBytesPerSector) == 1;
        if (bEnds) {
            u64Size += static_cast<unsigned long long>(i) * J::m_nBytesPerSector;
            return 1;
        }
    }
    return 0;
}

// Offset of the first occurrence of the marker at or after nFrom, or -1.
}  // namespace

long long FindMarker(const unsigned char* pBuf, int nLen, int nFrom, const unsigned char* pMarker, int nMarkerLen) {
    if (pBuf == nullptr || nFrom < 0 || nLen - nFrom < nMarkerLen) return -1;
    const unsigned char* pEnd = pBuf + nLen;
    const unsigned char* pHit = std::search(pBuf + nFrom, pEnd, pMarker, pMarker + nMarkerLen);
    return pHit == pEnd ? -1 : pHit - pBuf;
}

int FindMarkerEndOnSectorRest(const unsigned char* pBuf, int nLen, const unsigned char* pMarker, int nMarkerLen,
                              bool bFirstOnly, unsigned long long& u64Offset) {
    if (pBuf == nullptr || nLen <= 0) return 0;
    int nFrom = 0;
    for (;;) {
        long long llAt = FindMarker(pBuf, nLen, nFrom, pMarker, nMarkerLen);
        if (llAt < 0) return 0;
        unsigned long long u64End = static_cast<unsigned long long>(llAt) + nMarkerLen;
        if (IsMarkerEndOnSectorRest(pBuf, nLen, u64End)) {
            u64Offset = u64End;
            return 1;
        }
        if (bFirstOnly) return 0;
        nFrom = static_cast<int>(u64End);
    }
}

int IsMarkerEndOnSectorRest(const unsigned char* pBuf, int nLen, unsigned long long u64End) {
    const int nSector = CFileTypeJudge::m_nBytesPerSector;
    if (pBuf == nullptr || nLen < 0 || !UsableSectorSize(nSector)) return 0;
    if (u64End > static_cast<unsigned long long>(nLen)) return 0;
    if (u64End % nSector == 0) return 1;
    unsigned long long u64SectorEnd = (u64End / nSector + 1) * nSector;
    unsigned long long u64Stop = std::min<unsigned long long>(u64SectorEnd, nLen);
    for (unsigned long long i = u64End; i < u64Stop; ++i)
        if (pBuf[i] != 0) return 0;
    return 1;
}

unsigned long long RunForwardWalk(unsigned long long u64CapBytes, PFN_END_SEARCH pfnEndSearch,
                                  const ForwardWalkMarkerCheck& markerCheck) {
    using J = CFileTypeJudge;
    if (!UsableSectorSize(J::m_nBytesPerSector)) return 0;
    const unsigned long long u64SectorBytes = static_cast<unsigned long long>(J::m_nBytesPerSector);
    unsigned long long u64Size = u64SectorBytes;
    if (J::m_pReadBuf == nullptr || J::m_pDiskReader == nullptr) return u64Size;

    // The cap bounds the answer with the head sector counted, so a capped file is exactly the
    // cap (in whole sectors) and never one sector more.
    const unsigned long long u64CapSectors = u64CapBytes / u64SectorBytes;
    unsigned long long u64Budget = u64CapSectors > 0 ? u64CapSectors - 1 : 0;
    const unsigned long long u64ChunkSectors = FILE_TYPE_JUDGE_READ_BUF_BYTES / u64SectorBytes;
    unsigned long long u64SectorsRead = 0;
    unsigned long long u64RunningCount = J::m_u64ScanSectorCount;

    while (u64Budget > 0) {
        unsigned long long u64First = J::m_u64StartSector + 1 + u64SectorsRead;
        if (u64First < J::m_u64StartSector || u64First > static_cast<unsigned long long>(LLONG_MAX))
            break;
        unsigned long long u64Want = SectorsToRequest(u64First, u64Budget, u64ChunkSectors);
        if (u64Want == 0) break;
        unsigned int nGot = 0;
        int nRet = J::m_pDiskReader->ReadData(J::m_pReadBuf, static_cast<int>(u64Want),
                                              static_cast<long long>(u64First),
                                              J::m_nBytesPerSector, &nGot);
        if (nRet != KR_SUCCESS && nRet != KR_ERROR_READ_FAULT) break;
        // A short read still hands over the sectors that arrived; the walk ends after them, so a
        // file never runs over a sector that could not be read.
        if (nRet == KR_ERROR_READ_FAULT) NoteWalkUnreadable(u64First + nGot);
        if (nGot == 0) break;
        const bool bShort = nGot < u64Want;

        u64RunningCount += nGot;
        if (ReportWalkProgress(u64RunningCount) != 0) break;

        const int nChunkBytes = static_cast<int>(nGot * u64SectorBytes);
        _FORWARD_WALK_CHUNK_ chunk{J::m_pReadBuf, nChunkBytes, u64Size, 0, u64Size};
        if (pfnEndSearch != nullptr) chunk.bEndSearchFound = pfnEndSearch(J::m_pReadBuf, nChunkBytes, chunk.u64EndSearchSize);
        if (markerCheck) {
            unsigned long long u64MarkerSize = u64Size;
            if (markerCheck(chunk, u64MarkerSize) == FORWARD_WALK_END_HERE) return u64MarkerSize;
        }
        if (chunk.bEndSearchFound) return chunk.u64EndSearchSize;

        u64Size += static_cast<unsigned long long>(nChunkBytes);
        u64SectorsRead += nGot;
        u64Budget -= nGot;
        if (bShort) break;
    }
    return u64Size;
}

int CFileTypeJudge::IsEndOfFile(const unsigned char* pBuf, int nLen, unsigned long long& u64Size) {
    return EndSearch(pBuf, nLen, u64Size, false);
}

int CFileTypeJudge::IsEndOfVedioFile(const unsigned char* pBuf, int nLen, unsigned long long& u64Size) {
    return EndSearch(pBuf, nLen, u64Size, false);
}

int CFileTypeJudge::IsEndOfMPGFile(const unsigned char* pBuf, int nLen, unsigned long long& u64Size) {
    return EndSearch(pBuf, nLen, u64Size, true);
}

int CFileTypeJudge::GetJPGFileTailOffset(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset) {
    return FindMarkerEndOnSectorRest(pBuf, nLen, szJpgTail, sizeof(szJpgTail), true, u64Offset);
}

int CFileTypeJudge::GetPNGFileTailOffset(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset) {
    return FindMarkerEndOnSectorRest(pBuf, nLen, szPngTail, sizeof(szPngTail), false, u64Offset);
}

int CFileTypeJudge::GetGIFFileTailOffset(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset) {
    return FindMarkerEndOnSectorRest(pBuf, nLen, szGifTail, sizeof(szGifTail), false, u64Offset);
}
