#pragma once
// The allocation table of an intact FAT volume, read through an in-memory window of up to
// 16 MiB that moves along the table as entries outside it are asked for. FAT12 entries take a
// byte and a half and may straddle the window's end: the window then moves to the entry's sector.
#include <cstdint>
#include <vector>

#include "fat/fast_fat_geometry.h"

class CDiskReader;

constexpr uint32_t FAT_TABLE_WINDOW_BYTES = 16 * 1024 * 1024;

class CFatTableWindow {
public:
    // Forgets the window; entries are then read from the table of geometry g, which begins at the
    // device sector u64VolumeStart + g.u64FatStart.
    void Reset(CDiskReader* pReader, const __FAST_FAT_GEOMETRY__& g, uint64_t u64VolumeStart,
               uint32_t u32WindowBytes = FAT_TABLE_WINDOW_BYTES);
    bool IsConfigured() const { return m_pReader != nullptr; }

    // Loads the window that begins at the table's device sector u64Index. 0, 30 when nothing of it
    // could be read, 87 beyond the table or without a table.
    int Load(uint64_t u64Index);
    // The raw value of the entry of u32Cluster (12, 16 or 28 bits). 0, or 87 for an entry beyond
    // the table, or the error of the read that was to bring it.
    int ReadEntry(uint32_t u32Cluster, uint32_t& u32Value);

    // Where the window stands in the table (device sectors) and how many bytes of it were read.
    uint64_t WindowIndex() const { return m_u64Index; }
    uint64_t WindowBytes() const { return m_vecWindow.size(); }

private:
    CDiskReader* m_pReader = nullptr;
    uint32_t m_dwFatBits = 0;
    uint64_t m_u64TableSector = 0;  // device sector of the table's start
    uint64_t m_u64TableBytes = 0;
    uint32_t m_u32WindowCapacity = FAT_TABLE_WINDOW_BYTES;
    uint64_t m_u64Index = 0;
    std::vector<unsigned char> m_vecWindow;  // the bytes from m_u64Index on that arrived
};
