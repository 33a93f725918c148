#pragma once
// The layout of an intact FAT12/16/32 volume as its boot sector states it, checked field by
// field. Everything is kept in 512-byte device sectors counted from the volume start, whatever
// the volume's own sector size, so that it matches the sectors the device is read and swept in.
#include <cstdint>

constexpr uint32_t FAST_FAT_DEVICE_SECTOR = 512;
// Fewer clusters than this make a FAT12 volume; FAT16 holds fewer than FAST_FAT16_MAX_CLUSTERS.
constexpr uint64_t FAST_FAT12_MAX_CLUSTERS = 4085;

struct __FAST_FAT_GEOMETRY__ {
    uint32_t dwFatBits = 0;            // 12, 16 or 32; 0: no geometry
    uint32_t dwBytesPerSector = 0;     // the volume's own sector size
    uint32_t dwSectorsPerCluster = 0;  // device sectors
    uint64_t u64FatStart = 0;          // first table
    uint64_t u64FatBytes = 0;          // size of one table
    uint64_t u64RootStart = 0;         // FAT12/16 fixed root area
    uint32_t dwRootBytes = 0;          // FAT12/16: root entries x 32; 0 on FAT32
    uint64_t u64DataStart = 0;         // cluster 2
    uint64_t u64TotalSectors = 0;      // the whole volume
    uint32_t dwClusterCount = 0;       // whole data clusters, numbered from 2
    uint32_t dwRootCluster = 0;        // FAT32 root folder; 0 (the fixed area) on FAT12/16

    bool IsSet() const { return dwFatBits != 0; }
    uint32_t ClusterBytes() const { return dwSectorsPerCluster * FAST_FAT_DEVICE_SECTOR; }
    // True for clusters that have a place in the data area.
    bool IsDataCluster(uint32_t u32Cluster) const { return u32Cluster >= 2 && u32Cluster - 2 < dwClusterCount; }
    // First device sector of a data cluster, or of the fixed root area for cluster 0 on FAT12/16.
    uint64_t ClusterFirstSector(uint32_t u32Cluster) const {
        if (u32Cluster == 0 && dwFatBits != 32) return u64RootStart;
        return u64DataStart + static_cast<uint64_t>(u32Cluster - 2) * dwSectorsPerCluster;
    }
};

// The geometry of the 512 bytes at pBoot. False, leaving out untouched, when a field is out of
// range: bytes per sector other than 512/1024/2048/4096, sectors per cluster not a power of two,
// no reserved sectors, no tables, tables of no size, a volume smaller than its own metadata, or a
// FAT32 root cluster outside the data area.
bool ReadFastFatGeometry(const unsigned char* pBoot, __FAST_FAT_GEOMETRY__& out);
