#include "fat/fast_fat_geometry.h"

#include "fat/fat_records.h"

namespace {
bool IsPowerOfTwo(uint32_t u32) { return u32 != 0 && (u32 & (u32 - 1)) == 0; }
}  // namespace

bool ReadFastFatGeometry(const unsigned char* pBoot, __FAST_FAT_GEOMETRY__& out) {
    if (pBoot == nullptr) return false;
    const _FAT_BOOT_SECTOR_ boot = ReadFatBootSector(pBoot);
    const uint32_t u32Bps = boot.wBytesPerSector;
    if (u32Bps != 512 && u32Bps != 1024 && u32Bps != 2048 && u32Bps != 4096) return false;
    if (!IsPowerOfTwo(boot.btSectorsPerCluster) || boot.wReservedSectors == 0 || boot.btNumberOfFats == 0) return false;
    // FAT32 leaves the 16-bit table size at 0; its label says so too, but the field is what counts.
    const bool bFat32 = boot.wSectorsPerFat16 == 0;
    const uint64_t u64SectorsPerFat = bFat32 ? boot.dwSectorsPerFat32 : boot.wSectorsPerFat16;
    const uint64_t u64Total = boot.dwTotalSectors32 != 0 ? boot.dwTotalSectors32 : boot.wTotalSectors16;
    if (u64SectorsPerFat == 0 || u64Total == 0) return false;
    const uint64_t u64RootBytes = bFat32 ? 0 : static_cast<uint64_t>(boot.wRootEntries) * FAT_DIR_ENTRY_BYTES;
    const uint64_t u64RootSectors = (u64RootBytes + u32Bps - 1) / u32Bps;
    const uint64_t u64DataStart = boot.wReservedSectors + u64SectorsPerFat * boot.btNumberOfFats + u64RootSectors;
    if (u64DataStart >= u64Total) return false;
    const uint64_t u64Clusters = (u64Total - u64DataStart) / boot.btSectorsPerCluster;
    if (u64Clusters == 0) return false;

    __FAST_FAT_GEOMETRY__ g;
    g.dwFatBits = bFat32 ? 32 : u64Clusters < FAST_FAT12_MAX_CLUSTERS ? 12 : 16;
    // The table must hold an entry for every cluster; a smaller one describes no real volume.
    const uint64_t u64EntryBits = g.dwFatBits;
    if ((u64Clusters + 2) * u64EntryBits > u64SectorsPerFat * u32Bps * 8) return false;
    const uint64_t u64Scale = u32Bps / FAST_FAT_DEVICE_SECTOR;
    g.dwBytesPerSector = u32Bps;
    g.dwSectorsPerCluster = static_cast<uint32_t>(boot.btSectorsPerCluster * u64Scale);
    g.u64FatStart = boot.wReservedSectors * u64Scale;
    g.u64FatBytes = u64SectorsPerFat * u32Bps;
    g.u64RootStart = (u64DataStart - u64RootSectors) * u64Scale;
    g.dwRootBytes = static_cast<uint32_t>(u64RootBytes);
    g.u64DataStart = u64DataStart * u64Scale;
    g.u64TotalSectors = u64Total * u64Scale;
    g.dwClusterCount = static_cast<uint32_t>(u64Clusters);
    if (bFat32) {
        g.dwRootCluster = boot.dwRootCluster;
        if (!g.IsDataCluster(g.dwRootCluster)) return false;
    } else if (u64RootBytes == 0) {
        return false;
    }
    out = g;
    return true;
}
