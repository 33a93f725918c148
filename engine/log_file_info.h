#pragma once
// One scan's entry in the scan-log catalogue: the scanned area, where the sweep stood when the
// scan ended, and the folder holding its result stores. The catalogue file is a run of these
// records, so the layout below is a file format.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/le.h"

// Size of each of the two path fields, terminating NUL included.
constexpr size_t LOG_FILE_PATH_SIZE = 256;

#pragma pack(push, 1)
struct _LOG_FILE_INFO_ {
    int nDiskNo;                    // disk number of the scanned device (128 for an image)
    uint32_t nReserved1;            // written 0
    uint64_t u64StartSector;        // first sector of the scanned area
    uint64_t u64SectorCount;        // sectors in the area
    uint64_t u64RunStartSector;     // run being swept when the scan ended, relative to the area
    uint64_t u64RunSectorCount;     // length of that run
    uint64_t u64RunOffset;          // sectors of that run already swept
    uint64_t u64SweptSectorCount;   // sectors swept in all
    uint64_t u64FindFileCount;      // files found
    uint64_t u64FreeSpace;          // free-space fingerprint of the device path; 0 for an image
    uint64_t u64Reserved2;          // written 0
    char szImagePath[LOG_FILE_PATH_SIZE];   // image path, empty for a device scan
    char szLogDirPath[LOG_FILE_PATH_SIZE];  // the scan's folder, ending with "/"
};
#pragma pack(pop)

constexpr size_t LOG_FILE_INFO_SIZE = 592;

static_assert(sizeof(_LOG_FILE_INFO_) == LOG_FILE_INFO_SIZE, "_LOG_FILE_INFO_ is a 592-byte record");
static_assert(offsetof(_LOG_FILE_INFO_, nDiskNo) == 0, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, nReserved1) == 4, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64StartSector) == 8, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64SectorCount) == 16, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64RunStartSector) == 24, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64RunSectorCount) == 32, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64RunOffset) == 40, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64SweptSectorCount) == 48, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64FindFileCount) == 56, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64FreeSpace) == 64, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, u64Reserved2) == 72, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, szImagePath) == 80, "_LOG_FILE_INFO_ layout");
static_assert(offsetof(_LOG_FILE_INFO_, szLogDirPath) == 336, "_LOG_FILE_INFO_ layout");

// Reads one record from LOG_FILE_INFO_SIZE bytes. The reserved fields come back 0, and each path
// is cut at its last byte, so a record without a terminator never runs past its field.
inline void DecodeLogFileInfo(const unsigned char* pBytes, _LOG_FILE_INFO_& info) {
    info.nDiskNo = static_cast<int>(ReadLe32(pBytes + offsetof(_LOG_FILE_INFO_, nDiskNo)));
    info.nReserved1 = 0;
    info.u64StartSector = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64StartSector));
    info.u64SectorCount = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64SectorCount));
    info.u64RunStartSector = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64RunStartSector));
    info.u64RunSectorCount = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64RunSectorCount));
    info.u64RunOffset = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64RunOffset));
    info.u64SweptSectorCount = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64SweptSectorCount));
    info.u64FindFileCount = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64FindFileCount));
    info.u64FreeSpace = ReadLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64FreeSpace));
    info.u64Reserved2 = 0;
    memcpy(info.szImagePath, pBytes + offsetof(_LOG_FILE_INFO_, szImagePath), LOG_FILE_PATH_SIZE);
    memcpy(info.szLogDirPath, pBytes + offsetof(_LOG_FILE_INFO_, szLogDirPath), LOG_FILE_PATH_SIZE);
    info.szImagePath[LOG_FILE_PATH_SIZE - 1] = '\0';
    info.szLogDirPath[LOG_FILE_PATH_SIZE - 1] = '\0';
}

// Writes one record as LOG_FILE_INFO_SIZE bytes; the reserved fields are written 0.
inline void EncodeLogFileInfo(const _LOG_FILE_INFO_& info, unsigned char* pBytes) {
    WriteLe32(pBytes + offsetof(_LOG_FILE_INFO_, nDiskNo), static_cast<uint32_t>(info.nDiskNo));
    WriteLe32(pBytes + offsetof(_LOG_FILE_INFO_, nReserved1), 0);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64StartSector), info.u64StartSector);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64SectorCount), info.u64SectorCount);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64RunStartSector), info.u64RunStartSector);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64RunSectorCount), info.u64RunSectorCount);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64RunOffset), info.u64RunOffset);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64SweptSectorCount), info.u64SweptSectorCount);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64FindFileCount), info.u64FindFileCount);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64FreeSpace), info.u64FreeSpace);
    WriteLe64(pBytes + offsetof(_LOG_FILE_INFO_, u64Reserved2), 0);
    memcpy(pBytes + offsetof(_LOG_FILE_INFO_, szImagePath), info.szImagePath, LOG_FILE_PATH_SIZE);
    memcpy(pBytes + offsetof(_LOG_FILE_INFO_, szLogDirPath), info.szLogDirPath, LOG_FILE_PATH_SIZE);
}
