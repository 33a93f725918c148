#pragma once
// The record of one found file or folder. It is copied by value everywhere and written unchanged
// as one record of a result store's node file, so its layout is a file format.
#include <cstddef>
#include <cstdint>

static_assert(sizeof(wchar_t) == 4, "records hold 32-bit characters");

#pragma pack(push, 1)
struct _FILETIME {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};

struct _FILE_NODE_ {
    wchar_t wcDrive;            // drive letter given to Init, copied into every node
    int nSourceType;            // FILE_SOURCE_* below: the engine that made the node
    int bIsDir;                 // 1 folder, 0 file
    int nReserved;              // FAT: 1 = deleted (fast FAT folders: or inside a deleted folder)
    int bIsHealth;              // 1 data looks intact, 0 damaged
    uint32_t nFileIndex;        // 1-based record number in the store's node file
    uint32_t nDirIndex;         // identity in the file system; key of the node's children
    uint32_t nClusterSize;      // bytes per cluster; 0xFFFFFFFF for carved files
    _FILETIME ftCreationTime;   // NTFS: 100 ns ticks since 1601; FAT: seconds since 1970; carved: 0
    _FILETIME ftLastAccessTime;
    _FILETIME ftLastWriteTime;
    uint64_t u64FileSize;
    uint64_t u64DataStartSector;       // FAT: sector of cluster 2 from the volume start; else 0
    uint64_t u64RecordSector;          // where the entry (or carved data) was found
    uint64_t u64PartitionStartSector;  // volume start on the device; 0 for carved files
    char szFileName[256];              // NUL-terminated 8-bit name
};

// A search hit is a byte copy of the node that matched.
struct __SEARCH_FILE_INFO__ : _FILE_NODE_ {
    __SEARCH_FILE_INFO__() = default;
    explicit __SEARCH_FILE_INFO__(const _FILE_NODE_& node) : _FILE_NODE_(node) {}
};
#pragma pack(pop)

static_assert(sizeof(_FILETIME) == 8, "_FILETIME layout");
static_assert(sizeof(_FILE_NODE_) == 344, "_FILE_NODE_ is a 344-byte file record");
static_assert(offsetof(_FILE_NODE_, wcDrive) == 0, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, nSourceType) == 4, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, bIsDir) == 8, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, nReserved) == 12, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, bIsHealth) == 16, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, nFileIndex) == 20, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, nDirIndex) == 24, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, nClusterSize) == 28, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, ftCreationTime) == 32, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, ftLastAccessTime) == 40, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, ftLastWriteTime) == 48, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, u64FileSize) == 56, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, u64DataStartSector) == 64, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, u64RecordSector) == 72, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, u64PartitionStartSector) == 80, "_FILE_NODE_ layout");
static_assert(offsetof(_FILE_NODE_, szFileName) == 88, "_FILE_NODE_ layout");
static_assert(sizeof(__SEARCH_FILE_INFO__) == sizeof(_FILE_NODE_), "a hit is a node's bytes");

// Values of nSourceType.
constexpr int FILE_SOURCE_FAST_NTFS = 0;
constexpr int FILE_SOURCE_FAST_FAT = 1;
constexpr int FILE_SOURCE_DEEP_NTFS = 2;
constexpr int FILE_SOURCE_DEEP_FAT = 3;
constexpr int FILE_SOURCE_CARVING = 4;

// nClusterSize of a carved node.
constexpr uint32_t CARVED_CLUSTER_SIZE = 0xFFFFFFFFu;

// Children are filed under (level << 32) | parent nDirIndex.
inline uint64_t MakeChildrenKey(uint32_t nParentDirIndex, uint32_t nLevel) {
    return (static_cast<uint64_t>(nLevel) << 32) | nParentDirIndex;
}

// First data sector, on the device, of a node found through FAT (sources 1 and 3): cluster
// nDirIndex counted from cluster 2; a node without a first cluster points 32 sectors before
// cluster 2.
inline uint64_t GetFatNodeFirstDataSector(const _FILE_NODE_& node, int nBytesPerSector) {
    const uint64_t u64Base = node.u64DataStartSector + node.u64PartitionStartSector;
    if (node.nDirIndex == 0) return u64Base - 32;
    const uint64_t u64SectorsPerCluster = nBytesPerSector > 0 ? node.nClusterSize / static_cast<uint32_t>(nBytesPerSector) : 0;
    return u64Base + (static_cast<uint64_t>(node.nDirIndex) - 2) * u64SectorsPerCluster;
}
