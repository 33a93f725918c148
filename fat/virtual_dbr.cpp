#include "fat/virtual_dbr.h"

#include <cstring>

#include "fat/fat_records.h"
#include "util/le.h"

uint64_t GetClusterFirstSector(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Cluster) {
    if (dbr.dwSectorsPerCluster == 0 || u32Cluster == 1) return FAT_NO_SECTOR;
    const uint64_t u64DataStart = GetVirtualDbrDataStart(dbr);
    const uint32_t u32RootSectors = GetVirtualDbrRootSectors(dbr);
    if (u32Cluster == FAT_ROOT_DIR_CLUSTER)
        return u64DataStart >= u32RootSectors ? u64DataStart - u32RootSectors : FAT_NO_SECTOR;
    return u64DataStart + static_cast<uint64_t>(u32Cluster - 2) * dbr.dwSectorsPerCluster;
}

bool GetClusterStartingAt(const __VIRTUAL_DBR_INFO__& dbr, uint64_t u64Sector, uint32_t& u32Cluster) {
    uint64_t u64First = 0;
    return GetClusterHolding(dbr, u64Sector, u32Cluster, u64First) && u64First == u64Sector;
}

bool GetClusterHolding(const __VIRTUAL_DBR_INFO__& dbr, uint64_t u64Sector, uint32_t& u32Cluster,
                       uint64_t& u64ClusterFirstSector) {
    if (dbr.dwSectorsPerCluster == 0) return false;
    const uint64_t u64DataStart = GetVirtualDbrDataStart(dbr);
    if (u64Sector < u64DataStart) {
        const uint32_t u32RootSectors = GetVirtualDbrRootSectors(dbr);
        if (u64DataStart < u32RootSectors || u64Sector < u64DataStart - u32RootSectors) return false;
        u32Cluster = FAT_ROOT_DIR_CLUSTER;
        u64ClusterFirstSector = u64DataStart - u32RootSectors;
        return true;
    }
    const uint64_t u64Index = (u64Sector - u64DataStart) / dbr.dwSectorsPerCluster;
    if (u64Index > UINT32_MAX - 2) return false;
    u32Cluster = static_cast<uint32_t>(u64Index + 2);
    u64ClusterFirstSector = u64DataStart + u64Index * dbr.dwSectorsPerCluster;
    return true;
}

bool CalcVirtualDbr(uint32_t u32ClusterHigh, uint64_t u64SectorHigh, uint32_t u32ClusterLow, uint64_t u64SectorLow,
                    uint64_t u64VolumeStart, __VIRTUAL_DBR_INFO__& out) {
    // Clusters 0 and 1 hold no data, so no directory starts there.
    if (u32ClusterHigh <= u32ClusterLow || u32ClusterLow < 2 || u64SectorHigh < u64SectorLow) return false;
    const uint64_t u64ClusterSpan = u32ClusterHigh - u32ClusterLow;
    const uint64_t u64SectorSpan = u64SectorHigh - u64SectorLow;
    if (u64SectorSpan % u64ClusterSpan != 0) return false;
    const uint64_t u64SectorsPerCluster = u64SectorSpan / u64ClusterSpan;
    if (!IsVirtualDbrSectorsPerCluster(u64SectorsPerCluster)) return false;
    const uint64_t u64Back = static_cast<uint64_t>(u32ClusterLow - 2) * u64SectorsPerCluster;
    if (u64Back > u64SectorLow) return false;
    const uint64_t u64DataStart = u64SectorLow - u64Back;
    // A data area before the scanned range belongs to no volume that range holds.
    if (u64DataStart < u64VolumeStart) return false;
    out.dwSectorsPerCluster = static_cast<uint32_t>(u64SectorsPerCluster);
    // The offset field has 32 bits: a data area more than 2^32 sectors (2 TiB) into the scanned
    // range is kept relative to itself instead, which places every cluster the same.
    if (u64DataStart - u64VolumeStart > UINT32_MAX) u64VolumeStart = u64DataStart;
    out.dwDataStartOffset = static_cast<uint32_t>(u64DataStart - u64VolumeStart);
    out.u64VolumeStartSector = u64VolumeStart;
    return true;
}

bool GetVirtualDbrFromBootSector(const unsigned char* pBoot, uint64_t u64VolumeStart, __VIRTUAL_DBR_INFO__& out,
                                 uint32_t& u32RootCluster) {
    if (pBoot == nullptr) return false;
    const _FAT_BOOT_SECTOR_ boot = ReadFatBootSector(pBoot);
    uint64_t u64DataStart = boot.wReservedSectors;
    uint32_t u32RootSectors = 0;
    if (memcmp(boot.szFsType, "FAT32   ", 8) == 0) {
        u32RootCluster = boot.dwRootCluster;
        u64DataStart += static_cast<uint64_t>(boot.dwSectorsPerFat32) * boot.btNumberOfFats;
    } else {
        u32RootCluster = FAT_ROOT_DIR_CLUSTER;
        // Small volumes (floppy layouts) have fewer than 512 root entries.
        u32RootSectors = boot.wRootEntries != 0
                             ? (static_cast<uint32_t>(boot.wRootEntries) * FAT_DIR_ENTRY_BYTES + 511) / 512
                             : FAT_FIXED_ROOT_SECTORS;
        u64DataStart += static_cast<uint64_t>(boot.wSectorsPerFat16) * boot.btNumberOfFats + u32RootSectors;
    }
    if (boot.btSectorsPerCluster == 0 || u64DataStart > UINT32_MAX) return false;
    out = __VIRTUAL_DBR_INFO__{};
    out.dwSectorsPerCluster = boot.btSectorsPerCluster;
    out.dwDataStartOffset = static_cast<uint32_t>(u64DataStart);
    out.u64VolumeStartSector = u64VolumeStart;
    out.dwRootSectors = u32RootSectors;
    const uint64_t u64Total = boot.wTotalSectors16 != 0 ? boot.wTotalSectors16 : boot.dwTotalSectors32;
    if (u64Total > u64DataStart) {
        // The cluster count, not the label, decides the width of the table's entries.
        const uint64_t u64Clusters = (u64Total - u64DataStart) / boot.btSectorsPerCluster;
        out.dwClusterCount = static_cast<uint32_t>(u64Clusters);
        out.dwFatBits = u64Clusters < 4085 ? 12 : u64Clusters < 65525 ? 16 : 32;
        out.dwFatStartOffset = boot.wReservedSectors;
        out.dwSectorsPerFat = boot.wSectorsPerFat16 != 0 ? boot.wSectorsPerFat16 : boot.dwSectorsPerFat32;
    }
    return true;
}

void CVirtualDbrList::Clear() {
    m_vecVirtualDbr.clear();
    m_vecFatSectorOffset.clear();
    m_nRealCount = 0;
}

void CVirtualDbrList::AddReal(const __VIRTUAL_DBR_INFO__& dbr) {
    for (size_t i = 0; i < m_nRealCount; ++i)
        if (memcmp(&m_vecVirtualDbr[i], &dbr, sizeof(dbr)) == 0) return;
    m_vecVirtualDbr.insert(m_vecVirtualDbr.begin() + static_cast<std::ptrdiff_t>(m_nRealCount), dbr);
    ++m_nRealCount;
}

int CVirtualDbrList::CalcVirtualDbr(uint32_t u32ClusterHigh, uint64_t u64SectorHigh, uint32_t u32ClusterLow,
                                    uint64_t u64SectorLow, uint64_t u64VolumeStart) {
    __VIRTUAL_DBR_INFO__ dbr{};
    if (!::CalcVirtualDbr(u32ClusterHigh, u64SectorHigh, u32ClusterLow, u64SectorLow, u64VolumeStart, dbr)) return 0;
    m_vecVirtualDbr.push_back(dbr);
    return 1;
}

void CVirtualDbrList::CalcVirtualDbrInfo(const __FAT_SECTOR_OFFSET__& newStart, uint64_t u64VolumeStart) {
    for (const __FAT_SECTOR_OFFSET__& known : m_vecFatSectorOffset) {
        const bool bNewIsHigher = newStart.dwClusterNO > known.dwClusterNO;
        const __FAT_SECTOR_OFFSET__& high = bNewIsHigher ? newStart : known;
        const __FAT_SECTOR_OFFSET__& low = bNewIsHigher ? known : newStart;
        if (CalcVirtualDbr(high.dwClusterNO, high.u64SectorNO, low.dwClusterNO, low.u64SectorNO, u64VolumeStart) != 0)
            return;
    }
}

void CVirtualDbrList::AddSectorOffset(const __FAT_SECTOR_OFFSET__& start) {
    if (m_vecFatSectorOffset.size() < FAT_MAX_SECTOR_OFFSETS) m_vecFatSectorOffset.push_back(start);
}

const __VIRTUAL_DBR_INFO__* CVirtualDbrList::GetVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster) const {
    for (const __VIRTUAL_DBR_INFO__& dbr : m_vecVirtualDbr)
        if (GetClusterFirstSector(dbr, u32Cluster) == u64Sector) return &dbr;
    return nullptr;
}

const __VIRTUAL_DBR_INFO__* CVirtualDbrList::GetNearestVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster) const {
    for (const __VIRTUAL_DBR_INFO__& dbr : m_vecVirtualDbr) {
        const uint64_t u64First = GetClusterFirstSector(dbr, u32Cluster);
        if (u64First == FAT_NO_SECTOR || u64Sector < u64First) continue;
        const uint64_t u64Length = u32Cluster == FAT_ROOT_DIR_CLUSTER ? FAT_FIXED_ROOT_SECTORS : dbr.dwSectorsPerCluster;
        if (u64Sector - u64First < u64Length) return &dbr;
    }
    return nullptr;
}

const __VIRTUAL_DBR_INFO__* CVirtualDbrList::GetBestVirtalDbr(uint64_t u64Sector) const {
    if (m_vecVirtualDbr.empty()) return nullptr;
    if (m_vecVirtualDbr.size() == 1) return &m_vecVirtualDbr.front();
    // The volume the sector lies in, as far as boot sectors tell: the nearest one starting at or
    // below it.
    const __VIRTUAL_DBR_INFO__* pReal = nullptr;
    for (size_t i = 0; i < m_nRealCount; ++i) {
        const __VIRTUAL_DBR_INFO__& dbr = m_vecVirtualDbr[i];
        if (dbr.u64VolumeStartSector <= u64Sector &&
            (pReal == nullptr || dbr.u64VolumeStartSector > pReal->u64VolumeStartSector))
            pReal = &dbr;
    }
    // Inside it, an inferred geometry (an older format's) wins: the nearest data start at or below.
    const uint64_t u64Floor = pReal != nullptr ? pReal->u64VolumeStartSector : 0;
    const __VIRTUAL_DBR_INFO__* pBest = nullptr;
    for (size_t i = m_nRealCount; i < m_vecVirtualDbr.size(); ++i) {
        const uint64_t u64DataStart = GetVirtualDbrDataStart(m_vecVirtualDbr[i]);
        if (u64DataStart > u64Sector || u64DataStart < u64Floor) continue;
        if (pBest == nullptr || u64DataStart > GetVirtualDbrDataStart(*pBest)) pBest = &m_vecVirtualDbr[i];
    }
    if (pBest == nullptr) pBest = pReal;
    return pBest != nullptr ? pBest : &m_vecVirtualDbr.front();
}

const __VIRTUAL_DBR_INFO__* CVirtualDbrList::GetClusterStartDbr(uint64_t u64Sector, uint32_t& u32Cluster) const {
    const __VIRTUAL_DBR_INFO__* pBest = nullptr;
    uint64_t u64BestDistance = UINT64_MAX;
    for (const __VIRTUAL_DBR_INFO__& dbr : m_vecVirtualDbr) {
        uint32_t u32Candidate = 0;
        if (!GetClusterStartingAt(dbr, u64Sector, u32Candidate)) continue;
        // Measured from the start of the fixed root area, the lowest sector a cluster start can
        // have in that geometry, so the difference never goes below 0.
        const uint64_t u64Distance = u64Sector + FAT_FIXED_ROOT_SECTORS - GetVirtualDbrDataStart(dbr);
        if (pBest == nullptr || u64Distance < u64BestDistance) {
            pBest = &dbr;
            u64BestDistance = u64Distance;
            u32Cluster = u32Candidate;
        }
    }
    return pBest;
}
