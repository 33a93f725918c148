// The volume's allocation bitmap ($Bitmap) and the free stretches the deep scan sweeps.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "device/disk_reader.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "ntfs/ntfs_records.h"
#include "util/debug_log.h"

int CFastNtfsRecovery::BuildBitMapInfo() {
    m_bitmap.Clear();
    m_u64UnreadableBitmapBytes = 0;
    if (!m_bHasVolume) return KR_ERROR_INVALID_PARAMETER;
    unsigned long long u64RecordSector = 0;
    if (!LocateRecord(NTFS_BITMAP_RECORD, u64RecordSector)) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    std::vector<__RUNLIST__> vecRuns;
    int nResult = GetRunListInfo(static_cast<long long>(u64RecordSector), NTFS_ATTR_DATA, vecRuns);
    if (nResult != 0) return nResult;
    unsigned long long u64RealSize = 0;
    nResult = GetBitMapRealBytesSize(static_cast<long long>(u64RecordSector), u64RealSize);
    if (nResult != 0) return nResult;

    // One bit per cluster of the volume: never more bytes than the volume needs, whatever the
    // record claims.
    const uint64_t u64Spc = m_nSectorsPerCluster;
    const uint64_t u64Clusters = std::min<uint64_t>(m_u64SectorCount / u64Spc, u64RealSize * 8);
    const uint64_t u64Bytes = (u64Clusters + 7) / 8;
    std::vector<uint8_t> vecBytes(static_cast<size_t>(u64Bytes), 0);

    const uint64_t u64Bps = static_cast<uint64_t>(m_nBytesPerSector);
    const uint64_t u64PieceSectors = DISK_READ_PIECE_BYTES / u64Bps;
    uint64_t u64Cluster = 0;
    uint64_t u64Have = 0;
    for (const __RUNLIST__& run : vecRuns) {
        if (u64Have >= u64Bytes) break;
        u64Cluster += static_cast<uint64_t>(run.n64LcnOffset);
        const uint64_t u64RunSectors = run.u64ClusterCount * u64Spc;
        for (uint64_t u64Taken = 0; u64Taken < u64RunSectors && u64Have < u64Bytes;) {
            const uint64_t u64Left = (u64Bytes - u64Have + u64Bps - 1) / u64Bps;
            const uint64_t u64Sectors = std::min({u64PieceSectors, u64RunSectors - u64Taken, u64Left});
            std::vector<uint8_t> vecPiece(static_cast<size_t>(u64Sectors * u64Bps), 0);
            unsigned int nRead = 0;
            m_diskReader.ReadData(vecPiece.data(), static_cast<int>(u64Sectors),
                                  static_cast<long long>(m_u64StartSector + u64Cluster * u64Spc + u64Taken),
                                  m_nBytesPerSector, &nRead);
            const uint64_t u64Take = std::min<uint64_t>(vecPiece.size(), u64Bytes - u64Have);
            // Bytes that did not arrive stay 0: those clusters count as free and get swept.
            const uint64_t u64Arrived = std::min<uint64_t>(static_cast<uint64_t>(nRead) * u64Bps, u64Take);
            std::copy(vecPiece.begin(), vecPiece.begin() + static_cast<std::ptrdiff_t>(u64Arrived),
                      vecBytes.begin() + static_cast<std::ptrdiff_t>(u64Have));
            m_u64UnreadableBitmapBytes += u64Take - u64Arrived;
            u64Have += u64Take;
            u64Taken += u64Sectors;
        }
    }
    // Runs that end before the bitmap does leave the rest free as well.
    m_u64UnreadableBitmapBytes += u64Bytes - u64Have;
    if (m_u64UnreadableBitmapBytes != 0) DebugLog("CFastNtfsRecovery bitmap bytes unreadable, swept as free\n");
    m_bitmap.Assign(std::move(vecBytes), u64Clusters);
    return 0;
}

int CFastNtfsRecovery::GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) {
    u64SectorCount = 0;
    if (u64StartSector > m_u64SectorCount) {
        u64StartSector = m_u64SectorCount;
        return 1;
    }
    uint64_t u64First = 0, u64Count = 0;
    if (!m_bitmap.FindFreeSectors(u64StartSector, m_nSectorsPerCluster, u64First, u64Count)) return 1;
    u64StartSector = u64First;
    u64SectorCount = u64Count;
    if (u64StartSector >= m_u64SectorCount)
        u64SectorCount = 0;
    else if (u64SectorCount > m_u64SectorCount - u64StartSector)
        u64SectorCount = m_u64SectorCount - u64StartSector;
    return 1;
}
