#pragma once
// Partition-table records as they lie on disk (GPT, Apple partition map, PC MBR/EBR) and the
// in-memory record of one found partition. On-disk fields are read from byte buffers at the
// offsets these structs fix (little-endian through util/le.h; the Apple map is big-endian).
#include <cstddef>
#include <cstdint>

// Tables are laid out in 512-byte sectors wherever this program meets them.
constexpr int PARTITION_SECTOR_BYTES = 512;

#pragma pack(push, 1)

// ---- PC master boot record and extended boot records --------------------------------------

struct MBR_PARTITION_ENTRY {
    uint8_t byBootIndicator;
    uint8_t byStartChs[3];
    uint8_t byType;
    uint8_t byEndChs[3];
    uint32_t dwRelativeStart;  // from the sector of the table that holds the entry
    uint32_t dwSectorCount;
};

struct MBR_SECTOR {
    uint8_t byBootCode[446];
    MBR_PARTITION_ENTRY entries[4];
    uint16_t wSignature;  // MBR_BOOT_SIGNATURE
};

// ---- GUID partition table ----------------------------------------------------------------

struct GPT_HEADER {
    char szSignature[8];  // GPT_SIGNATURE, not NUL-terminated
    uint32_t dwRevision;
    uint32_t dwHeaderSize;
    uint32_t dwHeaderCrc32;
    uint32_t dwReserved;
    uint64_t u64CurrentLba;
    uint64_t u64BackupLba;
    uint64_t u64FirstUsableLba;
    uint64_t u64LastUsableLba;
    uint8_t byDiskGuid[16];
    uint64_t u64EntriesLba;
    uint32_t dwEntryCount;
    uint32_t dwEntrySize;
    uint32_t dwEntriesCrc32;
};

struct GPT_PARTITION_ENTRY {
    uint8_t byTypeGuid[16];  // all zero: the slot is unused
    uint8_t byUniqueGuid[16];
    uint64_t u64FirstLba;
    uint64_t u64LastLba;  // inclusive
    uint64_t u64Attributes;
    uint16_t wName[36];  // UTF-16LE
};

// ---- Apple partition map -----------------------------------------------------------------

struct APM_DRIVER_DESCRIPTOR {
    char szSignature[2];  // APM_DRIVER_SIGNATURE
    uint16_t wBlockSize;
    uint32_t dwBlockCount;
    uint8_t byRest[504];
};

// Every integer here is big-endian.
struct APM_PARTITION_ENTRY {
    char szSignature[2];  // "PM"
    uint16_t wSignaturePad;
    uint32_t dwMapBlockCount;  // pmMapBlkCnt: entries in the whole map
    uint32_t dwPhysicalStart;  // pmPyPartStart
    uint32_t dwPartitionBlockCount;
    char szName[32];  // pmPartName, NUL-terminated unless it fills the field
    char szType[32];
    uint32_t dwLogicalDataStart;  // pmLgDataStart, from dwPhysicalStart
    uint32_t dwDataCount;         // pmDataCnt
    uint32_t dwStatus;
    uint32_t dwBootStart;
    uint32_t dwBootSize;
    uint32_t dwBootAddress;
    uint32_t dwBootAddress2;
    uint32_t dwBootEntry;
    uint32_t dwBootEntry2;
    uint32_t dwBootChecksum;
    char szProcessor[16];
    uint8_t byPad[376];
};

#pragma pack(pop)

constexpr uint16_t MBR_BOOT_SIGNATURE = 0xAA55;
constexpr uint8_t MBR_TYPE_EMPTY = 0x00;
constexpr uint8_t MBR_TYPE_EXTENDED_CHS = 0x05;
constexpr uint8_t MBR_TYPE_EXTENDED_LBA = 0x0F;
constexpr int MBR_ENTRY_COUNT = 4;

constexpr char GPT_SIGNATURE[] = "EFI PART";
constexpr int GPT_HEADER_SECTOR = 1;
constexpr int GPT_DEFAULT_ENTRIES_SECTOR = 2;
constexpr int GPT_MIN_ENTRY_BYTES = 128;

constexpr char APM_DRIVER_SIGNATURE[] = "ER";
constexpr int APM_MAP_SECTOR = 1;
constexpr uint32_t APM_MAX_ENTRIES = 128;

static_assert(sizeof(MBR_PARTITION_ENTRY) == 16, "MBR entry layout");
static_assert(offsetof(MBR_PARTITION_ENTRY, byBootIndicator) == 0, "MBR entry layout");
static_assert(offsetof(MBR_PARTITION_ENTRY, byStartChs) == 1, "MBR entry layout");
static_assert(offsetof(MBR_PARTITION_ENTRY, byType) == 4, "MBR entry layout");
static_assert(offsetof(MBR_PARTITION_ENTRY, byEndChs) == 5, "MBR entry layout");
static_assert(offsetof(MBR_PARTITION_ENTRY, dwRelativeStart) == 8, "MBR entry layout");
static_assert(offsetof(MBR_PARTITION_ENTRY, dwSectorCount) == 12, "MBR entry layout");
static_assert(sizeof(MBR_SECTOR) == PARTITION_SECTOR_BYTES, "MBR sector layout");
static_assert(offsetof(MBR_SECTOR, byBootCode) == 0, "MBR sector layout");
static_assert(offsetof(MBR_SECTOR, entries) == 446, "MBR sector layout");
static_assert(offsetof(MBR_SECTOR, wSignature) == 510, "MBR sector layout");

static_assert(sizeof(GPT_HEADER) == 92, "GPT header layout");
static_assert(offsetof(GPT_HEADER, szSignature) == 0, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwRevision) == 8, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwHeaderSize) == 12, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwHeaderCrc32) == 16, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwReserved) == 20, "GPT header layout");
static_assert(offsetof(GPT_HEADER, u64CurrentLba) == 24, "GPT header layout");
static_assert(offsetof(GPT_HEADER, u64BackupLba) == 32, "GPT header layout");
static_assert(offsetof(GPT_HEADER, u64FirstUsableLba) == 40, "GPT header layout");
static_assert(offsetof(GPT_HEADER, u64LastUsableLba) == 48, "GPT header layout");
static_assert(offsetof(GPT_HEADER, byDiskGuid) == 56, "GPT header layout");
static_assert(offsetof(GPT_HEADER, u64EntriesLba) == 72, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwEntryCount) == 80, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwEntrySize) == 84, "GPT header layout");
static_assert(offsetof(GPT_HEADER, dwEntriesCrc32) == 88, "GPT header layout");

static_assert(sizeof(GPT_PARTITION_ENTRY) == GPT_MIN_ENTRY_BYTES, "GPT entry layout");
static_assert(offsetof(GPT_PARTITION_ENTRY, byTypeGuid) == 0, "GPT entry layout");
static_assert(offsetof(GPT_PARTITION_ENTRY, byUniqueGuid) == 16, "GPT entry layout");
static_assert(offsetof(GPT_PARTITION_ENTRY, u64FirstLba) == 32, "GPT entry layout");
static_assert(offsetof(GPT_PARTITION_ENTRY, u64LastLba) == 40, "GPT entry layout");
static_assert(offsetof(GPT_PARTITION_ENTRY, u64Attributes) == 48, "GPT entry layout");
static_assert(offsetof(GPT_PARTITION_ENTRY, wName) == 56, "GPT entry layout");

static_assert(sizeof(APM_DRIVER_DESCRIPTOR) == PARTITION_SECTOR_BYTES, "APM descriptor layout");
static_assert(offsetof(APM_DRIVER_DESCRIPTOR, szSignature) == 0, "APM descriptor layout");
static_assert(offsetof(APM_DRIVER_DESCRIPTOR, wBlockSize) == 2, "APM descriptor layout");
static_assert(offsetof(APM_DRIVER_DESCRIPTOR, dwBlockCount) == 4, "APM descriptor layout");
static_assert(offsetof(APM_DRIVER_DESCRIPTOR, byRest) == 8, "APM descriptor layout");

static_assert(sizeof(APM_PARTITION_ENTRY) == PARTITION_SECTOR_BYTES, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, szSignature) == 0, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, wSignaturePad) == 2, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwMapBlockCount) == 4, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwPhysicalStart) == 8, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwPartitionBlockCount) == 12, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, szName) == 16, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, szType) == 48, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwLogicalDataStart) == 80, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwDataCount) == 84, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwStatus) == 88, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootStart) == 92, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootSize) == 96, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootAddress) == 100, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootAddress2) == 104, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootEntry) == 108, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootEntry2) == 112, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, dwBootChecksum) == 116, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, szProcessor) == 120, "APM entry layout");
static_assert(offsetof(APM_PARTITION_ENTRY, byPad) == 136, "APM entry layout");

// ---- One found partition -----------------------------------------------------------------

constexpr int PARTITION_NAME_UNITS = 36;
constexpr int PARTITION_DISK_NAME_BYTES = 16;

// Copied by value (the window keeps one per tree row); never written to disk.
struct _PARTITION_ITEM_ {
    uint64_t u64StartSector;  // absolute on the disk, 512-byte sectors
    uint64_t u64EndSector;    // inclusive: the sector count is end + 1 - start
    int32_t nDiskNumber;
    uint16_t wszPartitionName[PARTITION_NAME_UNITS];  // UTF-16, zero-filled; 36 units need no NUL
    char szDiskName[PARTITION_DISK_NAME_BYTES];        // node path cut to 15 bytes, NUL-terminated
};

static_assert(sizeof(_PARTITION_ITEM_) == 112, "_PARTITION_ITEM_ layout");
static_assert(offsetof(_PARTITION_ITEM_, u64StartSector) == 0, "_PARTITION_ITEM_ layout");
static_assert(offsetof(_PARTITION_ITEM_, u64EndSector) == 8, "_PARTITION_ITEM_ layout");
static_assert(offsetof(_PARTITION_ITEM_, nDiskNumber) == 16, "_PARTITION_ITEM_ layout");
static_assert(offsetof(_PARTITION_ITEM_, wszPartitionName) == 20, "_PARTITION_ITEM_ layout");
static_assert(offsetof(_PARTITION_ITEM_, szDiskName) == 92, "_PARTITION_ITEM_ layout");
