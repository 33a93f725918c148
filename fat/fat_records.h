#pragma once
// On-disk FAT records as the FAT engines read them: the boot-sector fields they use, the
// 32-byte short directory entry and the long-name entry that shares its size. All integers are
// little-endian; a record is filled by copying its bytes as they stand (util/le.h guarantees a
// little-endian host), never by pointing a record type into a sector buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/le.h"

constexpr int FAT_DIR_ENTRY_BYTES = 32;

// First name byte of an entry.
constexpr unsigned char FAT_ENTRY_END_OF_DIR = 0x00;
constexpr unsigned char FAT_ENTRY_DELETED = 0xE5;
constexpr unsigned char FAT_ENTRY_DOT = '.';

// btAttribute bits; exactly FAT_ATTR_LONG_NAME marks a long-name entry.
constexpr unsigned char FAT_ATTR_READ_ONLY = 0x01;
constexpr unsigned char FAT_ATTR_HIDDEN = 0x02;
constexpr unsigned char FAT_ATTR_SYSTEM = 0x04;
constexpr unsigned char FAT_ATTR_VOLUME_LABEL = 0x08;
constexpr unsigned char FAT_ATTR_DIRECTORY = 0x10;
constexpr unsigned char FAT_ATTR_ARCHIVE = 0x20;
constexpr unsigned char FAT_ATTR_LONG_NAME = 0x0F;
// Never set by a FAT driver; an entry carrying them is noise.
constexpr unsigned char FAT_ATTR_UNUSED_BITS = 0xC0;

// Long-name pieces: 13 UTF-16 units each, btOrder 1 nearest the short entry, 0x40 on the last
// piece. More than 18 pieces never occur in the names the engines accept.
constexpr int FAT_LFN_UNITS_PER_ENTRY = 13;
constexpr unsigned char FAT_LFN_LAST_PIECE = 0x40;
constexpr int FAT_LFN_MAX_PIECES = 18;

// btNTReserved bits: the short name's base or extension is shown in lower case.
constexpr unsigned char FAT_CASE_LOWER_BASE = 0x08;
constexpr unsigned char FAT_CASE_LOWER_EXT = 0x10;

constexpr int FAT_SHORT_NAME_BYTES = 8;
constexpr int FAT_SHORT_EXT_BYTES = 3;

#pragma pack(push, 1)
struct FAT32_Entry {
    unsigned char szName[8];     // space-padded; first byte 0x00 end, 0xE5 deleted, '.' dot entry
    unsigned char szExtName[3];  // space-padded
    uint8_t btAttribute;         // FAT_ATTR_* bits
    uint8_t btNTReserved;
    uint8_t btCreateTimeTenth;
    uint16_t wCreateTime;
    uint16_t wCreateDate;        // FAT date words: year-1980 << 9 | month << 5 | day
    uint16_t wLastAccessDate;
    uint16_t wFirstClusterHigh;  // 0 on FAT12/16
    uint16_t wLastWriteTime;
    uint16_t wLastWriteDate;
    uint16_t wFirstClusterLow;
    uint32_t dwFileSize;         // 0 for directories
};

struct _FAT_LFN_ENTRY_ {
    uint8_t btOrder;             // piece number, FAT_LFN_LAST_PIECE on the first one stored
    uint16_t wName1[5];          // units 1-5 of this piece
    uint8_t btAttribute;         // FAT_ATTR_LONG_NAME
    uint8_t btType;              // 0
    uint8_t btCheckSum;          // GetShortNameCheckSum of the short entry the chain names
    uint16_t wName2[6];          // units 6-11
    uint16_t wFirstCluster;      // 0
    uint16_t wName3[2];          // units 12-13
};

// The first 512 bytes of a FAT volume in the FAT32 layout. FAT12/16 share everything up to
// offset 36; from there on only the FAT32 fields below mean anything to the engines.
struct _FAT_BOOT_SECTOR_ {
    uint8_t abJump[3];
    char szOemName[8];
    uint16_t wBytesPerSector;
    uint8_t btSectorsPerCluster;
    uint16_t wReservedSectors;   // sectors before the first FAT
    uint8_t btNumberOfFats;
    uint16_t wRootEntries;       // FAT12/16 root directory entries
    uint16_t wTotalSectors16;    // 0 when the 32-bit form is used
    uint8_t btMedia;
    uint16_t wSectorsPerFat16;   // 0 on FAT32
    uint16_t wSectorsPerTrack;
    uint16_t wHeads;
    uint32_t dwHiddenSectors;
    uint32_t dwTotalSectors32;
    uint32_t dwSectorsPerFat32;
    uint16_t wExtFlags;
    uint16_t wFsVersion;
    uint32_t dwRootCluster;
    uint16_t wFsInfoSector;
    uint16_t wBackupBootSector;
    uint8_t abReserved[12];
    uint8_t btDriveNumber;
    uint8_t btReserved1;
    uint8_t btBootSignature;
    uint32_t dwVolumeId;
    char szVolumeLabel[11];
    char szFsType[8];            // "FAT32   " on a FAT32 volume
    uint8_t abBootCode[420];
    uint8_t abSignature[2];      // 0x55, 0xAA
};
#pragma pack(pop)

static_assert(sizeof(FAT32_Entry) == 32, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, szName) == 0, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, szExtName) == 8, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, btAttribute) == 11, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, btNTReserved) == 12, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, btCreateTimeTenth) == 13, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wCreateTime) == 14, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wCreateDate) == 16, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wLastAccessDate) == 18, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wFirstClusterHigh) == 20, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wLastWriteTime) == 22, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wLastWriteDate) == 24, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, wFirstClusterLow) == 26, "FAT32_Entry layout");
static_assert(offsetof(FAT32_Entry, dwFileSize) == 28, "FAT32_Entry layout");

static_assert(sizeof(_FAT_LFN_ENTRY_) == 32, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, btOrder) == 0, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, wName1) == 1, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, btAttribute) == 11, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, btType) == 12, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, btCheckSum) == 13, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, wName2) == 14, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, wFirstCluster) == 26, "_FAT_LFN_ENTRY_ layout");
static_assert(offsetof(_FAT_LFN_ENTRY_, wName3) == 28, "_FAT_LFN_ENTRY_ layout");

static_assert(sizeof(_FAT_BOOT_SECTOR_) == 512, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, abJump) == 0, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, szOemName) == 3, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wBytesPerSector) == 11, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, btSectorsPerCluster) == 13, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wReservedSectors) == 14, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, btNumberOfFats) == 16, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wRootEntries) == 17, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wTotalSectors16) == 19, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, btMedia) == 21, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wSectorsPerFat16) == 22, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wSectorsPerTrack) == 24, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wHeads) == 26, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, dwHiddenSectors) == 28, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, dwTotalSectors32) == 32, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, dwSectorsPerFat32) == 36, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wExtFlags) == 40, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wFsVersion) == 42, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, dwRootCluster) == 44, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wFsInfoSector) == 48, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, wBackupBootSector) == 50, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, abReserved) == 52, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, btDriveNumber) == 64, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, btReserved1) == 65, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, btBootSignature) == 66, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, dwVolumeId) == 67, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, szVolumeLabel) == 71, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, szFsType) == 82, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, abBootCode) == 90, "_FAT_BOOT_SECTOR_ layout");
static_assert(offsetof(_FAT_BOOT_SECTOR_, abSignature) == 510, "_FAT_BOOT_SECTOR_ layout");

// The cluster an entry's data starts at; 0 in a ".." entry means the root directory.
inline uint32_t GetFatFirstCluster(const FAT32_Entry& entry) {
    return (static_cast<uint32_t>(entry.wFirstClusterHigh) << 16) | entry.wFirstClusterLow;
}

// Sectors per cluster a FAT volume may declare: 1, 2, 4, 8, 16, 32 or 64.
constexpr bool IsFatSectorsPerClusterAllowed(unsigned int uSectorsPerCluster) {
    return uSectorsPerCluster != 0 && uSectorsPerCluster <= 64 &&
           (uSectorsPerCluster & (uSectorsPerCluster - 1)) == 0;
}

// Copies one entry out of a byte buffer that holds at least FAT_DIR_ENTRY_BYTES at pBytes.
inline FAT32_Entry ReadFatEntry(const unsigned char* pBytes) {
    FAT32_Entry entry;
    memcpy(&entry, pBytes, sizeof(entry));
    return entry;
}
// The same for the boot sector; pBytes holds at least 512 bytes.
inline _FAT_BOOT_SECTOR_ ReadFatBootSector(const unsigned char* pBytes) {
    _FAT_BOOT_SECTOR_ boot;
    memcpy(&boot, pBytes, sizeof(boot));
    return boot;
}
