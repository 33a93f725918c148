#include "ntfs/ntfs_record_tests.h"

#include <cstring>

#include "ntfs/ntfs_records.h"
#include "util/le.h"

namespace {
// The word at the end of the first 512 bytes carries the update sequence number.
const int kFirstSectorEndWord = 510;
}  // namespace

bool HasNtfsFileSignature(const unsigned char* buf) {
    return buf != nullptr && memcmp(buf, "FILE", 4) == 0;
}

bool IsNtfsFileRecord(unsigned char* buf, int nRecordSize) {
    if (buf == nullptr || nRecordSize < kFirstSectorEndWord + 2) return false;
    if (!HasNtfsFileSignature(buf)) return false;
    const uint32_t u32Size = static_cast<uint32_t>(nRecordSize);
    if (ReadLe32(buf + NTFS_OFS_BYTES_IN_USE) > u32Size) return false;
    if (ReadLe32(buf + NTFS_OFS_BYTES_ALLOCATED) != u32Size) return false;
    return ReadLe16(buf + NTFS_OFS_UPDATE_SEQUENCE) == ReadLe16(buf + kFirstSectorEndWord);
}

unsigned int GetDefaultNtfsSectorPerCluster(unsigned long long u64SectorCount, unsigned int nBytesPerSector) {
    const double dMegabytes = static_cast<double>(u64SectorCount) * nBytesPerSector / 1048576.0;
    const double k = static_cast<double>(nBytesPerSector / 512);
    if (dMegabytes > 7 * k && dMegabytes <= 512 * k) return 1;
    if (dMegabytes > 512 * k && dMegabytes <= 1024 * k) return 2;
    if (dMegabytes > 1024 * k && dMegabytes <= 2048 * k) return 4;
    return 8;
}

bool IsUsableNtfsSectorsPerCluster(unsigned long long u64Value) {
    const unsigned long long kMaxSectorsPerCluster = 4096;
    return u64Value != 0 && u64Value <= kMaxSectorsPerCluster && (u64Value & (u64Value - 1)) == 0;
}
