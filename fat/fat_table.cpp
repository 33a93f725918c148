#include "fat/fat_table.h"

#include <cstring>

#include "device/disk_reader.h"
#include "engine/result_codes.h"
#include "util/le.h"

namespace {
constexpr uint64_t TABLE_SECTOR_BYTES = 512;

uint32_t EntryMask(uint32_t u32Bits) {
    return u32Bits == 32 ? 0x0FFFFFFFu : (1u << u32Bits) - 1;
}
}  // namespace

int CFatTable::Load(uint64_t u64Sector) {
    if (u64Sector == m_u64CachedSector) return 0;
    m_u64CachedSector = UINT64_MAX;
    unsigned int nRead = 0;
    const int nError = m_reader.ReadData(m_abCache, 2, static_cast<long long>(u64Sector), TABLE_SECTOR_BYTES, &nRead);
    // The table's last sector has no successor in the area; its entries lie in the first half.
    if (nRead == 0) return nError != 0 ? nError : KR_ERROR_READ_FAULT;
    if (nRead == 1) memset(m_abCache + TABLE_SECTOR_BYTES, 0, sizeof(m_abCache) - TABLE_SECTOR_BYTES);
    m_u64CachedSector = u64Sector;
    return 0;
}

int CFatTable::ReadRawEntry(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Index, uint32_t& u32Value) {
    // Byte offset of the entry: 1.5, 2 or 4 bytes an entry.
    const uint64_t u64Offset = dbr.dwFatBits == 12 ? u32Index + u32Index / 2ull : u32Index * (dbr.dwFatBits / 8ull);
    const uint64_t u64EntryBytes = dbr.dwFatBits == 32 ? 4 : 2;
    if (u64Offset + u64EntryBytes > static_cast<uint64_t>(dbr.dwSectorsPerFat) * TABLE_SECTOR_BYTES)
        return KR_ERROR_INVALID_PARAMETER;
    const uint64_t u64Sector = dbr.u64VolumeStartSector + dbr.dwFatStartOffset + u64Offset / TABLE_SECTOR_BYTES;
    const int nError = Load(u64Sector);
    if (nError != 0) return nError;
    const unsigned char* p = m_abCache + u64Offset % TABLE_SECTOR_BYTES;
    if (dbr.dwFatBits == 12)
        u32Value = (u32Index & 1) ? ReadLe16(p) >> 4 : ReadLe16(p) & 0xFFFu;
    else
        u32Value = (dbr.dwFatBits == 16 ? ReadLe16(p) : ReadLe32(p)) & EntryMask(dbr.dwFatBits);
    return 0;
}

bool CFatTable::IsReadable(const __VIRTUAL_DBR_INFO__& dbr) {
    if (dbr.dwFatBits != 12 && dbr.dwFatBits != 16 && dbr.dwFatBits != 32) return false;
    if (dbr.dwSectorsPerFat == 0 || dbr.dwClusterCount == 0) return false;
    uint32_t u32Media = 0, u32Second = 0;
    if (ReadRawEntry(dbr, 0, u32Media) != 0 || ReadRawEntry(dbr, 1, u32Second) != 0) return false;
    // Entry 0 holds the media byte (F0, F8-FF) with all higher bits set; entry 1 is all ones but
    // for its top two bits, which FAT16/32 use as clean-shutdown and error flags.
    const uint32_t u32Mask = EntryMask(dbr.dwFatBits);
    const uint32_t u32Media8 = u32Media & 0xFF;
    if ((u32Media | 0xFF) != u32Mask || (u32Media8 != 0xF0 && u32Media8 < 0xF8)) return false;
    return (u32Second | (u32Mask ^ (u32Mask >> 2))) == u32Mask;
}

int CFatTable::ReadEntry(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Cluster, FAT_ENTRY_KIND& eKind,
                         uint32_t& u32Next) {
    eKind = FAT_ENTRY_BAD;
    if (u32Cluster < 2 || u32Cluster - 2 >= dbr.dwClusterCount) return 0;
    uint32_t u32Value = 0;
    const int nError = ReadRawEntry(dbr, u32Cluster, u32Value);
    if (nError != 0) return nError;
    const uint32_t u32Mask = EntryMask(dbr.dwFatBits);
    if (u32Value == 0) {
        eKind = FAT_ENTRY_FREE;
    } else if (u32Value >= (u32Mask & ~7u)) {
        eKind = FAT_ENTRY_LAST;
    } else if (u32Value >= 2 && u32Value - 2 < dbr.dwClusterCount) {
        eKind = FAT_ENTRY_NEXT;
        u32Next = u32Value;
    }
    return 0;
}
