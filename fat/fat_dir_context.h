#pragma once
// What the deep FAT engine keeps between directory sectors while it sweeps a device: the
// directory a run of table sectors belongs to, long-name chains cut off at the end of a buffer,
// folders seen as entries or as parents, files waiting for a geometry, and table sectors waiting
// for one. Memory-only records.
#include <cstdint>
#include <vector>

#include "engine/file_node.h"
#include "fat/fat_entry_names.h"
#include "fat/virtual_dbr.h"

// The directory that the table sectors after a cluster start belong to. Set when the geometry
// has a cluster size.
struct __FAT_DIR_CONTEXT__ {
    __VIRTUAL_DBR_INFO__ dbr{};
    uint32_t dwClusterNO = 0;
    uint64_t u64SectorNO = 0;  // first sector of that cluster

    bool IsSet() const { return dbr.dwSectorsPerCluster != 0; }
    // True when u64Sector lies in the context's cluster or is the first sector after it (a
    // directory's next cluster usually follows its first one).
    bool Covers(uint64_t u64Sector) const {
        return IsSet() && u64Sector >= u64SectorNO && u64Sector - u64SectorNO <= dbr.dwSectorsPerCluster;
    }
};

// The bytes of a cut-off chain: at most the pieces of one long name.
constexpr int FAT_LONG_INFO_MAX_BYTES = FAT_LONG_NAME_MAX_PIECES * FAT_DIR_ENTRY_BYTES;  // 608

// A long-name chain that reached the end of a parsed buffer before its short entry.
struct __LONG_FILE_INFO__ {
    uint8_t btCheckSum = 0;          // of the chain's pieces
    __VIRTUAL_DBR_INFO__ dbr{};      // geometry of the buffer (unset when it had none)
    uint32_t dwParentClusterNO = 0;  // directory the chain belongs to
    uint32_t dwDataLen = 0;          // bytes in btData; 0: nothing pending
    uint64_t u64SectorNO = 0;        // record sector of the buffer
    unsigned char btData[FAT_LONG_INFO_MAX_BYTES] = {};
};

// A folder met as an entry; node.nFileIndex holds its parent's cluster until it is placed.
struct __FAT_DIR_RECORD__ {
    _FILE_NODE_ node;
    __VIRTUAL_DBR_INFO__ dbr;  // geometry of the buffer it came from (unset when none)
};

// A folder met as the parent of a recorded file.
struct __FAT_DIR_CHAIN__ {
    __VIRTUAL_DBR_INFO__ dbr;
    uint64_t u64SectorNO;
};

// A file found before its geometry was known; node.nFileIndex holds its parent's cluster and
// node.u64RecordSector the directory start it came from.
struct __NO_DBR_FILE__ {
    uint32_t bPlaced;
    _FILE_NODE_ node;
};

// A directory-table sector that no geometry placed when it was met.
struct __UNDEAL_SECTOR__ {
    uint32_t bDealt = 0;
    std::vector<unsigned char> vecData;  // released once dealt with
};
