#pragma once
// Volume geometries of the deep FAT engine. A deep scan meets directory sectors of volumes whose
// boot sector may be gone, so it keeps a list of "virtual boot sectors": one read from a real boot
// sector when there is one, others inferred from two directory starts whose clusters and sectors
// agree on a cluster size. These records live in memory only.
#include <cstddef>
#include <cstdint>
#include <vector>

// FAT12/16 keep their root directory in a fixed area just below cluster 2, called cluster 0 here.
// Without a boot sector that states its size it is taken to be 32 sectors (512 entries).
constexpr uint32_t FAT_FIXED_ROOT_SECTORS = 32;

struct __VIRTUAL_DBR_INFO__ {
    uint32_t dwSectorsPerCluster;    // 0: no geometry
    uint32_t dwDataStartOffset;      // sectors from the volume start to cluster 2
    uint64_t u64VolumeStartSector;   // absolute sector of the volume start
    uint32_t dwRootSectors;          // FAT12/16 root area as a boot sector states it; 0: the usual 32
    // Known only from a boot sector (0 for an inferred geometry): where the first table lies.
    uint32_t dwFatStartOffset;       // sectors from the volume start to the first table
    uint32_t dwSectorsPerFat;
    uint32_t dwClusterCount;         // data clusters, numbered from 2
    uint32_t dwFatBits;              // 12, 16 or 32
};

// A directory start ("." then "..") that no known geometry explains yet.
struct __FAT_SECTOR_OFFSET__ {
    uint32_t dwClusterNO;            // cluster named by its "." entry
    uint64_t u64SectorNO;            // absolute sector where it was found
};

// A sector number that no geometry can give (a cluster that would lie before sector 0).
constexpr uint64_t FAT_NO_SECTOR = UINT64_MAX;
constexpr uint32_t FAT_ROOT_DIR_CLUSTER = 0;
// Inferred cluster sizes may go one step beyond what a boot sector may declare.
constexpr uint32_t FAT_VIRTUAL_MAX_SECTORS_PER_CLUSTER = 128;
// Unexplained directory starts kept for pairing; each new one is tried against all of them.
constexpr size_t FAT_MAX_SECTOR_OFFSETS = 4096;

inline bool IsVirtualDbrSet(const __VIRTUAL_DBR_INFO__* pDbr) {
    return pDbr != nullptr && pDbr->dwSectorsPerCluster != 0;
}
inline uint64_t GetVirtualDbrDataStart(const __VIRTUAL_DBR_INFO__& dbr) {
    return dbr.u64VolumeStartSector + dbr.dwDataStartOffset;
}
inline uint32_t GetVirtualDbrRootSectors(const __VIRTUAL_DBR_INFO__& dbr) {
    return dbr.dwRootSectors != 0 ? dbr.dwRootSectors : FAT_FIXED_ROOT_SECTORS;
}

// First sector of cluster c: data start + (c - 2) x sectors per cluster, and for cluster 0 the
// start of the fixed root area (data start - its sectors). FAT_NO_SECTOR for an unset geometry,
// cluster 1, or a cluster that would lie before sector 0.
uint64_t GetClusterFirstSector(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Cluster);
// The cluster whose first sector is u64Sector by the rule above (0 for the root area's first
// sector). False when u64Sector starts no cluster.
bool GetClusterStartingAt(const __VIRTUAL_DBR_INFO__& dbr, uint64_t u64Sector, uint32_t& u32Cluster);
// The cluster that holds u64Sector (0 for the fixed root area) and its first sector. False for a
// sector below the root area or beyond the last cluster number.
bool GetClusterHolding(const __VIRTUAL_DBR_INFO__& dbr, uint64_t u64Sector, uint32_t& u32Cluster,
                       uint64_t& u64ClusterFirstSector);

// Sectors per cluster an inferred geometry may have: 1, 2, 4, ... 128.
constexpr bool IsVirtualDbrSectorsPerCluster(uint64_t u64Value) {
    return u64Value != 0 && u64Value <= FAT_VIRTUAL_MAX_SECTORS_PER_CLUSTER && (u64Value & (u64Value - 1)) == 0;
}

// The pair rule: directory starts of clusters u32ClusterLow < u32ClusterHigh found at sectors
// u64SectorLow <= u64SectorHigh fit one geometry when the sector distance divides exactly by the
// cluster distance into an allowed cluster size. Cluster 2 then lies at
// u64SectorLow - (u32ClusterLow - 2) x size, which must not lie before u64VolumeStart nor more than
// 2^32 - 1 sectors after it. True with the geometry in out.
bool CalcVirtualDbr(uint32_t u32ClusterHigh, uint64_t u64SectorHigh, uint32_t u32ClusterLow, uint64_t u64SectorLow,
                    uint64_t u64VolumeStart, __VIRTUAL_DBR_INFO__& out);

// The geometry a FAT boot sector (512 bytes that IsFat accepts) describes for a volume starting at
// u64VolumeStart, and its root cluster (the FAT32 field, 0 on FAT12/16). FAT12/16 data start after
// the root area the boot sector states (32 sectors when it states none). False when the fields
// give no usable geometry.
bool GetVirtualDbrFromBootSector(const unsigned char* pBoot, uint64_t u64VolumeStart, __VIRTUAL_DBR_INFO__& out,
                                 uint32_t& u32RootCluster);

// The ordered list of known geometries and of unexplained directory starts. Ties between
// geometries always go to the earlier one; a real boot sector's geometry is kept first.
class CVirtualDbrList {
public:
    void Clear();

    // Puts the geometry of a real boot sector after the real ones already known, in front of every
    // inferred one; one already there is not added twice.
    void AddReal(const __VIRTUAL_DBR_INFO__& dbr);
    // Appends the geometry of the pair rule when the pair gives one; 1 then, else 0.
    int CalcVirtualDbr(uint32_t u32ClusterHigh, uint64_t u64SectorHigh, uint32_t u32ClusterLow, uint64_t u64SectorLow,
                       uint64_t u64VolumeStart);
    // Tries the pair rule between a new directory start and each kept one in order, until one
    // gives a geometry. Each pair is taken as two points (cluster, sector): starts whose sector
    // order contradicts their cluster order give none.
    void CalcVirtualDbrInfo(const __FAT_SECTOR_OFFSET__& newStart, uint64_t u64VolumeStart);
    // Keeps an unexplained directory start (up to FAT_MAX_SECTOR_OFFSETS of them).
    void AddSectorOffset(const __FAT_SECTOR_OFFSET__& start);

    // The first geometry that puts cluster exactly at u64Sector, or null.
    const __VIRTUAL_DBR_INFO__* GetVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster) const;
    // The first geometry in which u64Sector lies inside cluster u32Cluster, or null.
    const __VIRTUAL_DBR_INFO__* GetNearestVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster) const;
    // The best geometry for a sector of unknown cluster. Boot sectors split the disk into volumes
    // (each from its start up to the next one's); inside the sector's volume the inferred geometry
    // whose data start lies nearest at or below it wins (an older format's sectors keep their own
    // geometry), else the volume's own, else the first.
    const __VIRTUAL_DBR_INFO__* GetBestVirtalDbr(uint64_t u64Sector) const;
    // A geometry in which u64Sector starts a cluster, with that cluster: when several do, the one
    // whose data area begins nearest below the sector, so a volume's sectors are not read with
    // the geometry of a volume before it. Null when none does.
    const __VIRTUAL_DBR_INFO__* GetClusterStartDbr(uint64_t u64Sector, uint32_t& u32Cluster) const;

    const std::vector<__VIRTUAL_DBR_INFO__>& Geometries() const { return m_vecVirtualDbr; }
    const std::vector<__FAT_SECTOR_OFFSET__>& SectorOffsets() const { return m_vecFatSectorOffset; }
    bool FirstIsReal() const { return m_nRealCount != 0; }
    size_t RealCount() const { return m_nRealCount; }
    bool Empty() const { return m_vecVirtualDbr.empty(); }

private:
    std::vector<__VIRTUAL_DBR_INFO__> m_vecVirtualDbr;
    std::vector<__FAT_SECTOR_OFFSET__> m_vecFatSectorOffset;
    // The first m_nRealCount geometries come from boot sectors.
    size_t m_nRealCount = 0;
};
