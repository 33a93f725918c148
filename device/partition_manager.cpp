#include "device/partition_manager.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "device/disk_reader.h"
#include "device/volume_label.h"
#include "util/debug_log.h"
#include "util/disk_map.h"
#include "util/le.h"
#include "util/text.h"

namespace {

// The first read covers the MBR, the GPT header and the first 24 GPT entries.
constexpr uint32_t HEAD_BYTES = 4096;
constexpr uint32_t SECTOR = PARTITION_SECTOR_BYTES;
constexpr size_t MBR_ENTRIES_OFFSET = offsetof(MBR_SECTOR, entries);
constexpr size_t MBR_SIGNATURE_OFFSET = offsetof(MBR_SECTOR, wSignature);
// Byte offsets beyond this are not addressable through lseek's signed offset.
constexpr uint64_t MAX_READ_SECTOR = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / SECTOR - 1024;

_PARTITION_ITEM_ MakeItem(uint64_t u64Start, uint64_t u64End, int nDiskNumber, const char* szDiskName) {
    _PARTITION_ITEM_ item;
    memset(&item, 0, sizeof(item));
    item.u64StartSector = u64Start;
    item.u64EndSector = u64End;
    item.nDiskNumber = nDiskNumber;
    if (szDiskName != nullptr) strncpy(item.szDiskName, szDiskName, sizeof(item.szDiskName) - 1);
    return item;
}

bool AllZero(const unsigned char* p, size_t nLen) {
    return std::all_of(p, p + nLen, [](unsigned char c) { return c == 0; });
}

// Where the GPT entry array lies and how it is strided. The header's own fields are used when
// they are plausible; a damaged header falls back to the usual layout (entries from sector 2).
struct GptArray {
    uint64_t u64Sector = GPT_DEFAULT_ENTRIES_SECTOR;
    uint32_t uEntrySize = GPT_MIN_ENTRY_BYTES;
    uint32_t uEntryCount = (HEAD_BYTES - GPT_DEFAULT_ENTRIES_SECTOR * SECTOR) / GPT_MIN_ENTRY_BYTES;
    bool bFromHeader = false;
};

GptArray LocateGptArray(const unsigned char* pHeader) {
    GptArray array;
    uint32_t uHeaderSize = ReadLe32(pHeader + offsetof(GPT_HEADER, dwHeaderSize));
    uint32_t uEntrySize = ReadLe32(pHeader + offsetof(GPT_HEADER, dwEntrySize));
    uint32_t uEntryCount = ReadLe32(pHeader + offsetof(GPT_HEADER, dwEntryCount));
    uint64_t u64Sector = ReadLe64(pHeader + offsetof(GPT_HEADER, u64EntriesLba));
    uint64_t u64FirstUsable = ReadLe64(pHeader + offsetof(GPT_HEADER, u64FirstUsableLba));
    // Entry sizes are 128 times a power of two; the array lies between the header and the data.
    bool bPlausible = uHeaderSize >= sizeof(GPT_HEADER) && uHeaderSize <= SECTOR &&
                      uEntrySize >= GPT_MIN_ENTRY_BYTES && uEntrySize <= PARTITION_MAX_GPT_ARRAY_BYTES &&
                      (uEntrySize & (uEntrySize - 1)) == 0 && uEntryCount > 0 &&
                      u64Sector > GPT_HEADER_SECTOR && u64Sector < u64FirstUsable && u64Sector <= MAX_READ_SECTOR;
    if (!bPlausible) return array;
    array.u64Sector = u64Sector;
    array.uEntrySize = uEntrySize;
    array.uEntryCount = std::min(uEntryCount, PARTITION_MAX_GPT_ARRAY_BYTES / uEntrySize);
    array.bFromHeader = true;
    return array;
}

}  // namespace

CPartitionManager::CPartitionManager() : m_nBytesPerSector(SECTOR), m_nPartitionNumber(1), m_uExtendedStartSector(0) {}

CPartitionManager::~CPartitionManager() = default;

bool CPartitionManager::IsMBR(const char* pBuf, int nLen) {
    if (pBuf == nullptr || nLen < static_cast<int>(SECTOR)) return false;
    return ReadLe16(reinterpret_cast<const unsigned char*>(pBuf) + MBR_SIGNATURE_OFFSET) == MBR_BOOT_SIGNATURE;
}

bool CPartitionManager::IsAPM(const char* pBuf, int nLen) {
    constexpr int nSigLen = sizeof(APM_DRIVER_SIGNATURE) - 1;
    return pBuf != nullptr && nLen >= nSigLen && memcmp(pBuf, APM_DRIVER_SIGNATURE, nSigLen) == 0;
}

bool CPartitionManager::IsEFI(const char* pBuf, int nLen) {
    constexpr int nSigLen = sizeof(GPT_SIGNATURE) - 1;
    return pBuf != nullptr && nLen >= nSigLen && memcmp(pBuf, GPT_SIGNATURE, nSigLen) == 0;
}

bool CPartitionManager::ReadAt(int hDisk, uint64_t u64Sector, unsigned char* pBuf, uint32_t uLen,
                               uint32_t* puGot) const {
    if (puGot != nullptr) *puGot = 0;
    if (u64Sector > MAX_READ_SECTOR || uLen > static_cast<uint32_t>(std::numeric_limits<int>::max())) return false;
    off_t llOffset = static_cast<off_t>(u64Sector * static_cast<uint64_t>(m_nBytesPerSector));
    if (lseek(hDisk, llOffset, SEEK_SET) < 0) return false;
    unsigned int uGot = 0;
    bool bOk = ReadData(hDisk, pBuf, static_cast<int>(uLen), &uGot) == DEVICE_READ_OK;
    if (puGot != nullptr) *puGot = uGot;
    return bOk;
}

int CPartitionManager::GetPartitionItems(std::map<int, std::vector<_PARTITION_ITEM_>>& mapItems) {
    mapItems.clear();
    m_nPartitionNumber = 1;
    std::vector<std::string> vecDisks = rsb_getDiskList();
    int nDisks = static_cast<int>(std::min<size_t>(vecDisks.size(), KORVALO_MAX_DISKS));
    for (int nDisk = 0; nDisk < nDisks; ++nDisk) {
        // Missing nodes and nodes we may not read are skipped without a word.
        int hDisk = rsb_openDisk(nDisk);
        if (hDisk < 0) continue;
        std::vector<_PARTITION_ITEM_> vecItems;
        ProbeDisk(hDisk, nDisk, vecDisks[static_cast<size_t>(nDisk)].c_str(), vecItems);
        close(hDisk);
        if (!vecItems.empty()) mapItems[nDisk] = std::move(vecItems);
    }
    return 1;
}

void CPartitionManager::GetDiskPartitionItems(int hDisk, int nDiskNumber, const char* szDiskName,
                                              std::vector<_PARTITION_ITEM_>& vecItems) {
    m_nPartitionNumber = 1;
    ProbeDisk(hDisk, nDiskNumber, szDiskName, vecItems);
}

void CPartitionManager::ProbeDisk(int hDisk, int nDiskNumber, const char* szDiskName,
                                  std::vector<_PARTITION_ITEM_>& vecItems) {
    std::vector<unsigned char> vecHead(HEAD_BYTES);
    if (!ReadAt(hDisk, 0, vecHead.data(), HEAD_BYTES, nullptr)) return;
    const char* pHead = reinterpret_cast<const char*>(vecHead.data());
    // GPT before MBR: a GPT disk's protective MBR carries the boot signature too.
    VOLUME_DESCRIPTION volume;
    if (IsEFI(pHead + GPT_HEADER_SECTOR * SECTOR, HEAD_BYTES - GPT_HEADER_SECTOR * SECTOR))
        GetGPTPartition(hDisk, vecHead.data(), vecItems, nDiskNumber, szDiskName);
    else if (DescribeVolumeAt(hDisk, 0, volume))
        AddWholeDiskVolume(hDisk, volume, vecItems, nDiskNumber, szDiskName);
    else if (IsAPM(pHead, HEAD_BYTES))
        GetAPMPartition(hDisk, vecHead.data(), vecItems, nDiskNumber, szDiskName);
    else if (IsMBR(pHead, HEAD_BYTES))
        GetMBRPartition(hDisk, 0, vecItems, nDiskNumber, szDiskName);
}

void CPartitionManager::AddWholeDiskVolume(int hDisk, const VOLUME_DESCRIPTION& volume,
                                           std::vector<_PARTITION_ITEM_>& vecItems, int nDiskNumber,
                                           const char* szDiskName) {
    const off_t llEnd = lseek(hDisk, 0, SEEK_END);
    if (llEnd < static_cast<off_t>(SECTOR)) return;
    _PARTITION_ITEM_ item = MakeItem(0, static_cast<uint64_t>(llEnd) / SECTOR - 1, nDiskNumber, szDiskName);
    SetPartitionName(item, Path2Unicode(VolumeDisplayName(volume).c_str()));
    vecItems.push_back(item);
}

void CPartitionManager::GetGPTPartition(int hDisk, const unsigned char* pHead, std::vector<_PARTITION_ITEM_>& vecItems,
                                        int nDiskNumber, const char* szDiskName) {
    GptArray array = LocateGptArray(pHead + GPT_HEADER_SECTOR * SECTOR);
    std::vector<unsigned char> vecArray;
    const unsigned char* pEntries = pHead + GPT_DEFAULT_ENTRIES_SECTOR * SECTOR;
    uint32_t uEntries = array.uEntryCount;
    if (array.bFromHeader) {
        vecArray.resize(static_cast<size_t>(array.uEntrySize) * array.uEntryCount);
        uint32_t uGot = 0;
        // A short array (the disk ends inside it) still yields the entries that arrived.
        ReadAt(hDisk, array.u64Sector, vecArray.data(), static_cast<uint32_t>(vecArray.size()), &uGot);
        pEntries = vecArray.data();
        uEntries = uGot / array.uEntrySize;
    }
    for (uint32_t i = 0; i < uEntries; ++i) {
        const unsigned char* pEntry = pEntries + static_cast<size_t>(i) * array.uEntrySize;
        uint64_t u64First = ReadLe64(pEntry + offsetof(GPT_PARTITION_ENTRY, u64FirstLba));
        uint64_t u64Last = ReadLe64(pEntry + offsetof(GPT_PARTITION_ENTRY, u64LastLba));
        // Unused slots may sit between used ones (a deleted partition): skip them, go on.
        if (AllZero(pEntry + offsetof(GPT_PARTITION_ENTRY, byTypeGuid), sizeof(GPT_PARTITION_ENTRY::byTypeGuid)) ||
            u64First == 0 || u64Last == 0 || u64Last < u64First)
            continue;
        _PARTITION_ITEM_ item = MakeItem(u64First, u64Last, nDiskNumber, szDiskName);
        const unsigned char* pName = pEntry + offsetof(GPT_PARTITION_ENTRY, wName);
        for (int u = 0; u < PARTITION_NAME_UNITS; ++u) item.wszPartitionName[u] = ReadLe16(pName + 2 * u);
        vecItems.push_back(item);
    }
}

void CPartitionManager::GetAPMPartition(int hDisk, const unsigned char* pHead, std::vector<_PARTITION_ITEM_>& vecItems,
                                        int nDiskNumber, const char* szDiskName) {
    uint32_t uCount = ReadBe32(pHead + APM_MAP_SECTOR * SECTOR + offsetof(APM_PARTITION_ENTRY, dwMapBlockCount));
    if (uCount < 1 || uCount > APM_MAX_ENTRIES) return;
    std::vector<unsigned char> vecMap(static_cast<size_t>(uCount) * SECTOR);
    if (!ReadAt(hDisk, APM_MAP_SECTOR, vecMap.data(), static_cast<uint32_t>(vecMap.size()), nullptr)) return;
    for (uint32_t i = 0; i < uCount; ++i) {
        const unsigned char* pEntry = vecMap.data() + static_cast<size_t>(i) * SECTOR;
        uint64_t u64Start = static_cast<uint64_t>(ReadBe32(pEntry + offsetof(APM_PARTITION_ENTRY, dwPhysicalStart))) +
                            ReadBe32(pEntry + offsetof(APM_PARTITION_ENTRY, dwLogicalDataStart));
        uint32_t uDataCount = ReadBe32(pEntry + offsetof(APM_PARTITION_ENTRY, dwDataCount));
        if (uDataCount == 0) continue;  // an empty entry holds no sector to offer
        _PARTITION_ITEM_ item = MakeItem(u64Start, u64Start + uDataCount - 1, nDiskNumber, szDiskName);
        const unsigned char* pName = pEntry + offsetof(APM_PARTITION_ENTRY, szName);
        std::wstring wstrName;
        for (size_t c = 0; c < sizeof(APM_PARTITION_ENTRY::szName) && pName[c] != 0; ++c)
            wstrName.push_back(pName[c] < 0x80 ? static_cast<wchar_t>(pName[c]) : L'?');  // the field is ASCII
        SetPartitionName(item, wstrName);
        vecItems.push_back(item);
    }
}

void CPartitionManager::GetMBRPartition(int hDisk, unsigned int uTableSector, std::vector<_PARTITION_ITEM_>& vecItems,
                                        int nDiskNumber, const char* szDiskName) {
    // Each walk (one per disk) starts with its own record of the tables it has read; an extended
    // base found on a previous disk would place this chain's logical partitions wrongly.
    m_setVisitedTables.clear();
    m_uExtendedStartSector = 0;
    WalkMbrTable(hDisk, uTableSector, vecItems, nDiskNumber, szDiskName, 0);
}

void CPartitionManager::WalkMbrTable(int hDisk, uint32_t uTableSector, std::vector<_PARTITION_ITEM_>& vecItems,
                                     int nDiskNumber, const char* szDiskName, int nDepth) {
    if (nDepth >= PARTITION_MAX_MBR_TABLES || m_setVisitedTables.size() >= PARTITION_MAX_MBR_TABLES) {
        DebugLog("partition chain too long at sector %u\n", uTableSector);
        return;
    }
    if (!m_setVisitedTables.insert(uTableSector).second) {
        DebugLog("partition chain loops back to sector %u\n", uTableSector);
        return;
    }
    unsigned char ucTable[SECTOR];
    if (!ReadAt(hDisk, uTableSector, ucTable, SECTOR, nullptr)) return;
    // A link that lands on a sector without the boot signature is not a table; its bytes would
    // only make up partitions. Sector 0 was tested by the caller.
    if (uTableSector != 0 && !IsMBR(reinterpret_cast<const char*>(ucTable), SECTOR)) return;

    for (int i = 0; i < MBR_ENTRY_COUNT; ++i) {
        const unsigned char* pEntry = ucTable + MBR_ENTRIES_OFFSET + i * sizeof(MBR_PARTITION_ENTRY);
        uint8_t byType = pEntry[offsetof(MBR_PARTITION_ENTRY, byType)];
        uint32_t uStart = ReadLe32(pEntry + offsetof(MBR_PARTITION_ENTRY, dwRelativeStart));
        uint32_t uCount = ReadLe32(pEntry + offsetof(MBR_PARTITION_ENTRY, dwSectorCount));
        if (byType == MBR_TYPE_EXTENDED_CHS || byType == MBR_TYPE_EXTENDED_LBA) {
            // Links in the MBR are absolute; links in the chain count from the first EBR.
            if (m_uExtendedStartSector == 0 && uTableSector != 0) m_uExtendedStartSector = uTableSector;
            uint64_t u64Link = static_cast<uint64_t>(uStart) + m_uExtendedStartSector;
            if (u64Link <= std::numeric_limits<uint32_t>::max())
                WalkMbrTable(hDisk, static_cast<uint32_t>(u64Link), vecItems, nDiskNumber, szDiskName, nDepth + 1);
            continue;
        }
        if (byType == MBR_TYPE_EMPTY && uStart == 0 && uCount == 0) return;  // end of this table
        if (uCount == 0) continue;  // no sector to offer; would give an end before the start
        uint64_t u64Start = static_cast<uint64_t>(uStart) + uTableSector;
        _PARTITION_ITEM_ item = MakeItem(u64Start, u64Start + uCount - 1, nDiskNumber, szDiskName);
        SetPartitionName(item, L"Partition " + std::to_wstring(m_nPartitionNumber));
        ++m_nPartitionNumber;
        vecItems.push_back(item);
    }
}

std::wstring GetPartitionName(const _PARTITION_ITEM_& item) {
    size_t nUnits = 0;
    while (nUnits < PARTITION_NAME_UNITS && item.wszPartitionName[nUnits] != 0) ++nUnits;
    // The units are kept little-endian, as the records are (util/le.h).
    return DecodeUtf16Le(reinterpret_cast<const unsigned char*>(item.wszPartitionName), nUnits);
}

void SetPartitionName(_PARTITION_ITEM_& item, const std::wstring& wstrName) {
    memset(item.wszPartitionName, 0, sizeof(item.wszPartitionName));
    int u = 0;
    for (wchar_t wc : wstrName) {
        uint32_t uChar = static_cast<uint32_t>(wc);
        if (uChar > 0x10FFFF || (uChar >= 0xD800 && uChar <= 0xDFFF)) uChar = 0xFFFD;
        if (uChar >= 0x10000) {
            if (u + 2 > PARTITION_NAME_UNITS) break;
            uChar -= 0x10000;
            item.wszPartitionName[u++] = static_cast<uint16_t>(0xD800 + (uChar >> 10));
            item.wszPartitionName[u++] = static_cast<uint16_t>(0xDC00 + (uChar & 0x3FF));
        } else {
            if (u + 1 > PARTITION_NAME_UNITS) break;
            item.wszPartitionName[u++] = static_cast<uint16_t>(uChar);
        }
    }
}
