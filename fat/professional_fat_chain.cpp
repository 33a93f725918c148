// CProfessionalFatRecovery: live files read through the allocation table of their volume.
#include "fat/professional_fat_recovery.h"

const __VIRTUAL_DBR_INFO__* CProfessionalFatRecovery::RealGeometryOf(const _FILE_NODE_& node) const {
    const std::vector<__VIRTUAL_DBR_INFO__>& vecDbr = m_dbrList.Geometries();
    for (size_t i = 0; i < m_dbrList.RealCount(); ++i) {
        const __VIRTUAL_DBR_INFO__& dbr = vecDbr[i];
        if (dbr.u64VolumeStartSector == node.u64PartitionStartSector &&
            dbr.dwDataStartOffset == node.u64DataStartSector &&
            static_cast<uint64_t>(dbr.dwSectorsPerCluster) * PRO_FAT_BYTES_PER_SECTOR == node.nClusterSize)
            return &dbr;
    }
    return nullptr;
}

bool CProfessionalFatRecovery::UsesChain(const _FILE_NODE_& node) {
    // A deleted entry's chain was freed; whatever the table holds there now is another file's.
    if (node.bIsDir != 0 || node.nReserved != 0 || node.nClusterSize == 0 || node.u64FileSize == 0) return false;
    const __VIRTUAL_DBR_INFO__* pDbr = RealGeometryOf(node);
    if (pDbr == nullptr || !m_fatTable.IsReadable(*pDbr)) return false;
    // The chain must be the file's own: allocated from its first cluster and ending exactly
    // where its size does. Anything else (a cluster reused by a newer file, a damaged table) is
    // read the plain way.
    const uint64_t u64Clusters = (node.u64FileSize + node.nClusterSize - 1) / node.nClusterSize;
    uint32_t u32Cluster = node.nDirIndex;
    for (uint64_t u64Seen = 1;; ++u64Seen) {
        FAT_ENTRY_KIND eKind = FAT_ENTRY_BAD;
        uint32_t u32Next = 0;
        if (m_fatTable.ReadEntry(*pDbr, u32Cluster, eKind, u32Next) != 0) return false;
        if (eKind == FAT_ENTRY_LAST) return u64Seen == u64Clusters;
        if (eKind != FAT_ENTRY_NEXT || u64Seen >= u64Clusters) return false;
        u32Cluster = u32Next;
    }
}

int CProfessionalFatRecovery::FindNextClusterNO(const _FILE_NODE_& node, uint32_t u32Cluster, uint32_t& u32Next) {
    u32Next = 0;
    const __VIRTUAL_DBR_INFO__* pDbr = RealGeometryOf(node);
    if (pDbr == nullptr) return KR_ERROR_INVALID_PARAMETER;
    FAT_ENTRY_KIND eKind = FAT_ENTRY_BAD;
    uint32_t u32Value = 0;
    const int nError = m_fatTable.ReadEntry(*pDbr, u32Cluster, eKind, u32Value);
    if (nError == 0 && eKind == FAT_ENTRY_NEXT) u32Next = u32Value;
    return nError;
}
