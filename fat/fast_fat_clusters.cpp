// CFastFatRecovery: table entries, chains, the cluster bitmap and the free runs.
#include <algorithm>

#include "fat/fast_fat_recovery.h"

namespace {
// Entry values from here on end a chain (FAT12/16/32 after masking).
uint32_t EndMarkFloor(uint32_t u32FatBits) {
    return u32FatBits == 12 ? 0xFF8u : u32FatBits == 16 ? 0xFFF8u : 0x0FFFFFF8u;
}
}  // namespace

int CFastFatRecovery::GetNextClusterNO(uint32_t u32Cluster, uint32_t& u32Value) {
    return m_tableWindow.ReadEntry(u32Cluster, u32Value);
}

int CFastFatRecovery::NextFreeCluster(uint32_t u32Cluster, uint32_t& u32Next) {
    u32Next = 0;
    if (m_bitmap.Empty()) {
        const int nError = BuildBitMapInfo();
        if (nError != 0) return nError;
    }
    uint64_t u64Free = 0;
    // Bit j stands for cluster j + 2: the bit after u32Cluster's is u32Cluster - 1.
    if (u32Cluster >= 2 && m_bitmap.FindFree(u32Cluster - 1, u64Free) &&
        m_geometry.IsDataCluster(static_cast<uint32_t>(u64Free + 2)))
        u32Next = static_cast<uint32_t>(u64Free + 2);
    return 0;
}

int CFastFatRecovery::FindNextClusterNO(uint32_t u32Cluster, uint32_t& u32Next) {
    u32Next = 0;
    if (!m_geometry.IsDataCluster(u32Cluster)) return 0;
    uint32_t u32Value = 0;
    const int nError = GetNextClusterNO(u32Cluster, u32Value);
    if (nError != 0) return nError;
    if (u32Value == 0) return NextFreeCluster(u32Cluster, u32Next);
    if (u32Value < EndMarkFloor(m_geometry.dwFatBits) && u32Value != u32Cluster && m_geometry.IsDataCluster(u32Value))
        u32Next = u32Value;
    return 0;
}

bool CFastFatRecovery::ChainFitsSize(uint32_t u32First, uint64_t u64Clusters) {
    uint32_t u32Cluster = u32First;
    for (uint64_t u64Seen = 1; m_geometry.IsDataCluster(u32Cluster); ++u64Seen) {
        uint32_t u32Value = 0;
        if (GetNextClusterNO(u32Cluster, u32Value) != 0 || u32Value == 0) return false;
        if (u32Value >= EndMarkFloor(m_geometry.dwFatBits)) return u64Seen == u64Clusters;
        // The size bounds the walk, so a loop in the table ends it too.
        if (u64Seen >= u64Clusters) return false;
        u32Cluster = u32Value;
    }
    return false;
}

bool CFastFatRecovery::UsesChain(const _FILE_NODE_& node) {
    if (!m_geometry.IsSet() || node.nClusterSize != m_geometry.ClusterBytes() ||
        node.u64PartitionStartSector != m_u64StartSector || node.u64DataStartSector != m_geometry.u64DataStart)
        return false;
    const uint64_t u64Clusters = (node.u64FileSize + node.nClusterSize - 1) / node.nClusterSize;
    m_chainNode = node;
    m_bChainNodeSet = true;
    m_bChainNodeUsesTable = u64Clusters != 0 && ChainFitsSize(node.nDirIndex, u64Clusters);
    return true;
}

int CFastFatRecovery::FindNextClusterNO(const _FILE_NODE_& node, uint32_t u32Cluster, uint32_t& u32Next) {
    u32Next = 0;
    if (!m_bChainNodeSet || m_chainNode.nDirIndex != node.nDirIndex || m_chainNode.u64FileSize != node.u64FileSize ||
        m_chainNode.u64RecordSector != node.u64RecordSector) {
        if (!UsesChain(node)) return KR_ERROR_INVALID_PARAMETER;
    }
    if (!m_bChainNodeUsesTable) return NextFreeCluster(u32Cluster, u32Next);
    uint32_t u32Value = 0;
    const int nError = GetNextClusterNO(u32Cluster, u32Value);
    if (nError == 0 && u32Value < EndMarkFloor(m_geometry.dwFatBits) && m_geometry.IsDataCluster(u32Value))
        u32Next = u32Value;
    return nError;
}

int CFastFatRecovery::BuildBitMapInfo() {
    m_bitmap.Clear();
    if (!m_geometry.IsSet()) return KR_ERROR_INVALID_PARAMETER;
    // Every cluster that has sectors in the area, the last one also when it is cut short; only
    // whole clusters have table entries, the others stay free and are swept.
    const uint64_t u64End = std::min(m_geometry.u64TotalSectors, m_u64SectorCount);
    if (u64End <= m_geometry.u64DataStart) return KR_ERROR_INVALID_PARAMETER;
    const uint64_t u64Clusters =
        (u64End - m_geometry.u64DataStart + m_geometry.dwSectorsPerCluster - 1) / m_geometry.dwSectorsPerCluster;
    m_bitmap.Reset(u64Clusters);
    const uint64_t u64WithEntries = std::min<uint64_t>(u64Clusters, m_geometry.dwClusterCount);
    for (uint64_t i = 0; i < u64WithEntries; ++i) {
        uint32_t u32Value = 0;
        // An entry that cannot be read leaves its cluster free: the sweep then looks at it.
        if (GetNextClusterNO(static_cast<uint32_t>(i + 2), u32Value) == 0 && u32Value != 0) m_bitmap.MarkUsed(i);
    }
    return 0;
}

int CFastFatRecovery::GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) {
    u64SectorCount = 0;
    if (u64StartSector > m_u64SectorCount) {
        u64StartSector = m_u64SectorCount;
        return 1;
    }
    if (m_bitmap.Empty()) return 1;
    const uint64_t u64DataStart = m_geometry.u64DataStart;
    const uint64_t u64Spc = m_geometry.dwSectorsPerCluster;
    const uint64_t u64Relative = u64StartSector > u64DataStart ? u64StartSector - u64DataStart : 0;
    uint64_t u64First = 0, u64Count = 0;
    if (m_bitmap.FindFreeSectors(u64Relative, u64Spc, u64First, u64Count)) {
        const uint64_t u64Start = u64DataStart + u64First;
        if (u64Start >= m_u64SectorCount) return 1;
        u64StartSector = u64Start;
        u64SectorCount = std::min<uint64_t>(u64Count, m_u64SectorCount - u64Start);
        return 1;
    }
    // Sectors of the area beyond the volume's last cluster belong to no file of it (an older,
    // larger volume may have left files there).
    const uint64_t u64Tail = std::max<uint64_t>(u64StartSector, u64DataStart + m_bitmap.ClusterCount() * u64Spc);
    if (u64Tail < m_u64SectorCount) {
        u64StartSector = u64Tail;
        u64SectorCount = m_u64SectorCount - u64Tail;
    }
    return 1;
}
