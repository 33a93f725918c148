// The carved file's bytes by offset, read through the judge context.
#include "carving/carved_file_bytes.h"

#include <algorithm>

#include "carving/forward_walk.h"
#include "device/disk_reader.h"

namespace {

using J = CFileTypeJudge;

// Twice the largest peek, so a peek fits whatever the sector size and the offset within it.
constexpr size_t WINDOW_BYTES = 2 * CCarvedFileBytes::MAX_PEEK_BYTES;

}  // namespace

CCarvedFileBytes::CCarvedFileBytes() : m_nBytesPerSector(J::m_nBytesPerSector), m_u64HeadSector(J::m_u64StartSector) {
    const bool bUsable = J::m_pDiskReader != nullptr && m_nBytesPerSector > 0 &&
                         m_nBytesPerSector <= FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR;
    const unsigned long long u64End = bUsable ? J::m_pDiskReader->GetEndSector() : 0;
    m_u64AreaSectors = u64End > m_u64HeadSector ? u64End - m_u64HeadSector : 0;
}

const unsigned char* CCarvedFileBytes::PeekUpTo(unsigned long long u64Offset, size_t nMaxBytes, size_t& nGot) {
    nGot = 0;
    if (nMaxBytes == 0 || nMaxBytes > MAX_PEEK_BYTES) return nullptr;
    const unsigned long long u64WindowEnd = m_u64WindowOffset + m_nWindowBytes;
    const bool bInWindow = u64Offset >= m_u64WindowOffset && u64Offset < u64WindowEnd;
    const unsigned long long u64AreaBytes = m_u64AreaSectors * static_cast<unsigned long long>(m_nBytesPerSector);
    // A window that holds the start but not enough of the rest is moved up, unless the area
    // itself ends there.
    if (!bInWindow || (u64WindowEnd - u64Offset < nMaxBytes && u64WindowEnd < u64AreaBytes)) {
        if (!LoadWindowAt(u64Offset)) return nullptr;
    }
    const unsigned long long u64Available = m_u64WindowOffset + m_nWindowBytes - u64Offset;
    if (u64Offset < m_u64WindowOffset || u64Available == 0) return nullptr;
    nGot = static_cast<size_t>(std::min<unsigned long long>(u64Available, nMaxBytes));
    return m_vecWindow.data() + (u64Offset - m_u64WindowOffset);
}

const unsigned char* CCarvedFileBytes::Peek(unsigned long long u64Offset, size_t nBytes) {
    size_t nGot = 0;
    const unsigned char* p = PeekUpTo(u64Offset, nBytes, nGot);
    return nGot == nBytes ? p : nullptr;
}

bool CCarvedFileBytes::LoadWindowAt(unsigned long long u64Offset) {
    if (m_bStopped || m_u64AreaSectors == 0) return false;
    const unsigned long long u64Sector = static_cast<unsigned long long>(m_nBytesPerSector);
    const unsigned long long u64First = u64Offset / u64Sector;
    if (u64First >= m_u64AreaSectors) return false;
    const int nCount = static_cast<int>(std::min<unsigned long long>(WINDOW_BYTES / u64Sector, m_u64AreaSectors - u64First));

    if (u64First + nCount > m_u64FurthestSector) {
        m_u64FurthestSector = u64First + nCount;
        if (ReportWalkProgress(J::m_u64ScanSectorCount + m_u64FurthestSector) != 0) {
            m_bStopped = true;
            m_nWindowBytes = 0;
            return false;
        }
    }

    if (m_vecWindow.empty()) m_vecWindow.resize(WINDOW_BYTES);
    m_u64WindowOffset = u64First * u64Sector;
    m_nWindowBytes = 0;
    const unsigned long long u64Absolute = m_u64HeadSector + u64First;
    if (J::ReadContextSectors(m_vecWindow.data(), static_cast<int>(WINDOW_BYTES), u64Absolute, nCount)) {
        m_nWindowBytes = static_cast<size_t>(nCount) * m_nBytesPerSector;
        return true;
    }
    // A bad sector somewhere in the window: keep the sectors before it. The carver ends the file
    // before that sector, whatever the walk answers.
    int nGood = 0;
    while (nGood < nCount &&
           J::ReadContextSectors(m_vecWindow.data() + static_cast<size_t>(nGood) * m_nBytesPerSector,
                                 m_nBytesPerSector, u64Absolute + nGood, 1))
        ++nGood;
    if (nGood < nCount) NoteWalkUnreadable(u64Absolute + static_cast<unsigned long long>(nGood));
    m_nWindowBytes = static_cast<size_t>(nGood) * m_nBytesPerSector;
    return nGood > 0;
}
