#pragma once
// Reading a volume's file allocation table, for live files whose clusters are not consecutive.
// Only geometries read from a boot sector know where their table lies.
#include <cstdint>

#include "fat/virtual_dbr.h"

class CDiskReader;

// What a table entry says about the cluster it belongs to.
enum FAT_ENTRY_KIND {
    FAT_ENTRY_FREE,  // not allocated
    FAT_ENTRY_NEXT,  // allocated, followed by the cluster in the entry
    FAT_ENTRY_LAST,  // allocated, the last of its chain
    FAT_ENTRY_BAD    // marked bad, reserved, or pointing outside the volume
};

class CFatTable {
public:
    explicit CFatTable(CDiskReader& reader) : m_reader(reader) {}

    // True when the geometry came with a table (a boot sector) and the table's first entries carry
    // the media byte and an end mark, as every formatted table does.
    bool IsReadable(const __VIRTUAL_DBR_INFO__& dbr);
    // The entry of u32Cluster: 0 with its kind (and the next cluster for FAT_ENTRY_NEXT), or the
    // error of the read.
    int ReadEntry(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Cluster, FAT_ENTRY_KIND& eKind, uint32_t& u32Next);

private:
    // The raw value of entry u32Index (masked to the table's width). 0 or a read error.
    int ReadRawEntry(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Index, uint32_t& u32Value);
    // Makes the two sectors from u64Sector on available in m_abCache (a FAT12 entry may straddle).
    int Load(uint64_t u64Sector);

    CDiskReader& m_reader;
    uint64_t m_u64CachedSector = UINT64_MAX;
    unsigned char m_abCache[1024] = {};
};
