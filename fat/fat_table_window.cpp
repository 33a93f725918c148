#include "fat/fat_table_window.h"

#include <algorithm>

#include "device/disk_reader.h"
#include "engine/result_codes.h"
#include "util/le.h"

void CFatTableWindow::Reset(CDiskReader* pReader, const __FAST_FAT_GEOMETRY__& g, uint64_t u64VolumeStart,
                            uint32_t u32WindowBytes) {
    m_pReader = g.IsSet() ? pReader : nullptr;
    m_dwFatBits = g.dwFatBits;
    m_u64TableSector = u64VolumeStart + g.u64FatStart;
    m_u64TableBytes = g.u64FatBytes;
    // Whole sectors, and at least two so that a straddling FAT12 entry always fits.
    m_u32WindowCapacity = std::max<uint32_t>(u32WindowBytes / FAST_FAT_DEVICE_SECTOR, 2) * FAST_FAT_DEVICE_SECTOR;
    m_u64Index = 0;
    m_vecWindow.clear();
}

int CFatTableWindow::Load(uint64_t u64Index) {
    const uint64_t u64Offset = u64Index * FAST_FAT_DEVICE_SECTOR;
    if (m_pReader == nullptr || u64Offset >= m_u64TableBytes) return KR_ERROR_INVALID_PARAMETER;
    const uint64_t u64Bytes = std::min<uint64_t>(m_u32WindowCapacity, m_u64TableBytes - u64Offset);
    const uint64_t u64Sectors = (u64Bytes + FAST_FAT_DEVICE_SECTOR - 1) / FAST_FAT_DEVICE_SECTOR;
    m_vecWindow.assign(static_cast<size_t>(u64Sectors * FAST_FAT_DEVICE_SECTOR), 0);
    m_u64Index = u64Index;
    unsigned int nRead = 0;
    const int nError =
        m_pReader->ReadData(m_vecWindow.data(), static_cast<int>(u64Sectors),
                            static_cast<long long>(m_u64TableSector + u64Index), FAST_FAT_DEVICE_SECTOR, &nRead);
    // A table cut short by the end of the area or a bad sector keeps what came before.
    m_vecWindow.resize(
        std::min<size_t>(static_cast<size_t>(nRead) * FAST_FAT_DEVICE_SECTOR, static_cast<size_t>(u64Bytes)));
    if (m_vecWindow.empty()) return nError != 0 ? nError : KR_ERROR_READ_FAULT;
    return 0;
}

int CFatTableWindow::ReadEntry(uint32_t u32Cluster, uint32_t& u32Value) {
    u32Value = 0;
    if (m_pReader == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const uint64_t u64Offset = m_dwFatBits == 12 ? u32Cluster + u32Cluster / 2ull : u32Cluster * (m_dwFatBits / 8ull);
    const uint64_t u64Width = m_dwFatBits == 32 ? 4 : 2;
    if (u64Offset + u64Width > m_u64TableBytes) return KR_ERROR_INVALID_PARAMETER;
    const uint64_t u64WindowStart = m_u64Index * FAST_FAT_DEVICE_SECTOR;
    if (m_vecWindow.empty() || u64Offset < u64WindowStart ||
        u64Offset + u64Width > u64WindowStart + m_vecWindow.size()) {
        const int nError = Load(u64Offset / FAST_FAT_DEVICE_SECTOR);
        if (nError != 0) return nError;
        if (u64Offset + u64Width > m_u64Index * FAST_FAT_DEVICE_SECTOR + m_vecWindow.size()) return KR_ERROR_READ_FAULT;
    }
    const unsigned char* p = m_vecWindow.data() + (u64Offset - m_u64Index * FAST_FAT_DEVICE_SECTOR);
    if (m_dwFatBits == 12)
        u32Value = (u32Cluster & 1) ? ReadLe16(p) >> 4 : ReadLe16(p) & 0xFFFu;
    else if (m_dwFatBits == 16)
        u32Value = ReadLe16(p);
    else
        u32Value = ReadLe32(p) & 0x0FFFFFFFu;
    return 0;
}
