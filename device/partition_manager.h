#pragma once
// Lists the disks of the disk map and the partitions their tables record: GUID partition table
// first, then a volume that fills the whole disk, then the Apple partition map, then the PC MBR
// with its chain of extended boot records.
// Disks are opened read-only, probed and closed within one enumeration; inside the partitions
// only a whole-disk volume's boot sector (and NTFS name record) is read, for its name.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/partition_records.h"
#include "device/volume_label.h"

// Most partition tables one disk's MBR/EBR walk reads. A chain longer than this is treated as
// damaged (it also bounds the depth of the walk).
constexpr int PARTITION_MAX_MBR_TABLES = 128;
// Most bytes of a GPT entry array that are read, whatever the header claims.
constexpr uint32_t PARTITION_MAX_GPT_ARRAY_BYTES = 128 * 1024;

class CPartitionManager {
public:
    CPartitionManager();
    ~CPartitionManager();

    // Clears mapItems and fills it with disk number -> partitions in table order, for every disk
    // of the disk map that yields at least one partition. Returns 1 in every case.
    int GetPartitionItems(std::map<int, std::vector<_PARTITION_ITEM_>>& mapItems);
    // The partitions of one disk already open as hDisk (a device or an image file), numbered from 1.
    void GetDiskPartitionItems(int hDisk, int nDiskNumber, const char* szDiskName,
                               std::vector<_PARTITION_ITEM_>& vecItems);

    // Walks the MBR or EBR at uTableSector of the open disk hDisk and the extended chain behind it,
    // appending its partitions to vecItems. MBR partitions are named "Partition <n>" with the
    // running number, which continues across calls until the next GetPartitionItems.
    void GetMBRPartition(int hDisk, unsigned int uTableSector, std::vector<_PARTITION_ITEM_>& vecItems,
                         int nDiskNumber, const char* szDiskName);

    // The three table tests. nLen is the number of bytes pBuf holds: IsMBR needs the whole sector,
    // IsEFI is handed the bytes of sector 1.
    static bool IsMBR(const char* pBuf, int nLen);
    static bool IsAPM(const char* pBuf, int nLen);
    static bool IsEFI(const char* pBuf, int nLen);

private:
    void ProbeDisk(int hDisk, int nDiskNumber, const char* szDiskName, std::vector<_PARTITION_ITEM_>& vecItems);
    // A disk formatted without a partition table (mkfs on the whole stick) begins with a volume's
    // own boot sector, whose boot code is no table: the whole disk is that one volume, named
    // after its file system and label.
    void AddWholeDiskVolume(int hDisk, const VOLUME_DESCRIPTION& volume, std::vector<_PARTITION_ITEM_>& vecItems,
                            int nDiskNumber, const char* szDiskName);
    void GetGPTPartition(int hDisk, const unsigned char* pHead, std::vector<_PARTITION_ITEM_>& vecItems,
                         int nDiskNumber, const char* szDiskName);
    void GetAPMPartition(int hDisk, const unsigned char* pHead, std::vector<_PARTITION_ITEM_>& vecItems,
                         int nDiskNumber, const char* szDiskName);
    void WalkMbrTable(int hDisk, uint32_t uTableSector, std::vector<_PARTITION_ITEM_>& vecItems,
                      int nDiskNumber, const char* szDiskName, int nDepth);
    bool ReadAt(int hDisk, uint64_t u64Sector, unsigned char* pBuf, uint32_t uLen, uint32_t* puGot) const;

    int m_nBytesPerSector;
    int m_nPartitionNumber;
    uint32_t m_uExtendedStartSector;
    // Table sectors already read in the current MBR walk: a chain that links back ends there.
    std::set<uint32_t> m_setVisitedTables;
};

// The display name of an item as wide text (UTF-16 decoded, up to the first NUL or 36 units).
std::wstring GetPartitionName(const _PARTITION_ITEM_& item);
// Stores wstrName as UTF-16, zero-filled; text beyond 36 units is cut (never half a pair).
void SetPartitionName(_PARTITION_ITEM_& item, const std::wstring& wstrName);
