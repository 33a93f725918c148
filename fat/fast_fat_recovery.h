#pragma once
// CFastFatRecovery: the engine for a FAT12/16/32 volume whose boot sector is intact. It walks the
// folder tree from the root through the allocation table, breadth first, and records every file
// it meets, live or deleted (deleted ones and those inside deleted folders are marked), with the
// folders that lead to them. It builds the volume's cluster bitmap from the table, so the deep
// scan can sweep only the free clusters, and reads file data through the table: a live chain as
// it stands, a freed chain as the free clusters that follow the file's first one.
//
// Files: set-up and the interface here and in fast_fat_recovery.cpp, the walk in
// fast_fat_walk.cpp, table chains, the bitmap and the free runs in fast_fat_clusters.cpp.
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "engine/cluster_bitmap.h"
#include "engine/recovery_parse.h"
#include "engine/store_backed_recovery.h"
#include "fat/fast_fat_geometry.h"
#include "fat/fat_entry_names.h"
#include "fat/fat_file_data.h"
#include "fat/fat_records.h"
#include "fat/fat_table_window.h"

// A folder is at most 65536 entries of 32 bytes: no longer chain of a folder is followed.
constexpr uint32_t FAST_FAT_MAX_FOLDER_BYTES = 65536 * 32;
// Most folder steps between a folder and the root that are counted.
constexpr int FAST_FAT_MAX_FOLDER_DEPTH = 256;
// Candidate high words tried for a deleted FAT32 entry whose own is 0: 0 to 256.
constexpr uint32_t FAST_FAT_HIGH_WORD_CANDIDATES = 257;
// Names the stores of this engine in a scan's folder.
constexpr const char* FAST_FAT_STORE_PREFIX = "Fast_";
// Time between progress reports of the walk.
constexpr long long FAST_FAT_REPORT_MS = 5000;

class CFastFatRecovery : public CStoreBackedRecovery, private IFatClusterChain {
public:
    CFastFatRecovery();
    ~CFastFatRecovery() override = default;
    CFastFatRecovery(const CFastFatRecovery&) = delete;
    CFastFatRecovery& operator=(const CFastFatRecovery&) = delete;

    // --- IFileRecoveryParse ---------------------------------------------------------------
    // Both forms read the boot sector and the first table window; a boot sector that does not
    // describe a FAT volume gives 87 and leaves the engine without geometry (nothing is found,
    // no bitmap). A second Init does nothing.
    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    // Makes a fresh store (on pLogFile, reading nothing, when given; else "Fast_<start>_<time>")
    // and walks the tree. 0, or the callback's non-zero answer that stopped it.
    int ScanDevice(wchar_t* pLogFile) override;
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) override;
    // The free run at or after u64StartSector (sectors from the volume start): its first sector
    // and length, 0 when none is left (also without a bitmap). A start beyond the area becomes
    // the area's sector count. Always 1.
    int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) override;
    // One bit per data cluster, set when the cluster's table entry is not 0. 0, or 87 without
    // geometry (then the whole area is to be swept).
    int BuildBitMapInfo() override;
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam) override;

    // --- further operations ---------------------------------------------------------------
    // 1 for FAT32, 0 for FAT12/16.
    int GetDeviceFileSystemType(char* szUnused) const;
    // The raw table entry of u32Cluster. 0 or the error of the table read.
    int GetNextClusterNO(uint32_t u32Cluster, uint32_t& u32Value);
    // The cluster after u32Cluster in a folder or file whose table entries are either its chain
    // or freed: the table's next cluster while the entry is allocated, else the first cluster
    // after it that is free. u32Next 0: the chain ends (end mark, bad value, loop to itself, no
    // free cluster left). 0 or a read error.
    int FindNextClusterNO(uint32_t u32Cluster, uint32_t& u32Next);
    // Reads the folder at u32Cluster and records its entries (one step of the walk). 0 or the
    // last read error.
    int InitDirInfo(uint32_t u32Cluster);
    int IsFileDataHealth(_FILE_NODE_* pNode, uint32_t u32SectorsPerCluster);

    // --- views ------------------------------------------------------------------------------
    const __FAST_FAT_GEOMETRY__& Geometry() const { return m_geometry; }
    const CClusterBitmap& Bitmap() const { return m_bitmap; }
    uint32_t GetRootClusterNO() const { return m_dwRootClusterNO; }
    // How many folders the last walk read.
    size_t GetVisitedFolderCount() const { return m_setVisited.size(); }

private:
    unsigned int StoreRootDirIndex() const override { return m_dwRootClusterNO; }
    // IFatClusterChain: every file of this volume is read through the engine. Its own table
    // chain when that is allocated and exactly as long as its size (live files), else its first
    // cluster and the free clusters after it (a deleted file's freed chain).
    bool UsesChain(const _FILE_NODE_& node) override;
    int FindNextClusterNO(const _FILE_NODE_& node, uint32_t u32Cluster, uint32_t& u32Next) override;
    bool ChainFitsSize(uint32_t u32First, uint64_t u64Clusters);
    int NextFreeCluster(uint32_t u32Cluster, uint32_t& u32Next);

    // Reads the boot sector and the first table window after the reader is open.
    int LoadGeometry();
    int Report(int nProgress, int nRemain);

    // --- the walk (fast_fat_walk.cpp) ---
    // Reads nBytes at the device sector u64Sector into buffer (resized). 0 or the read's error.
    int ReadFolderBytes(uint64_t u64Sector, uint32_t nBytes, std::vector<unsigned char>& vecBuf);
    // Parses the entries of one folder buffer; false once the folder's end mark was met.
    bool ParseFolderBuffer(const std::vector<unsigned char>& vecBuf, uint64_t u64FirstSector, uint32_t u32Folder,
                           bool bInDeletedFolder, CFatLongNameCollector& longName);
    void AddFileEntry(const FAT32_Entry& entry, const char* szName, uint32_t u32Folder, bool bInDeletedFolder,
                      uint64_t u64RecordSector);
    void AddFolderEntry(const FAT32_Entry& entry, const char* szName, uint32_t u32Folder, bool bInDeletedFolder,
                        uint64_t u64RecordSector);
    _FILE_NODE_ MakeNode(const FAT32_Entry& entry, const char* szName, int bIsDir, uint64_t u64RecordSector) const;
    // The first cluster an entry names; for a deleted FAT32 entry whose high word was cleared,
    // the candidate whose first sector fits (a folder start, or the file's extension).
    uint32_t EntryCluster(const FAT32_Entry& entry, const char* szName, bool bIsDir);
    bool ClusterFits(uint32_t u32Cluster, const char* szName, bool bIsDir);
    // Folders between u32Folder and the root by the folder records, u32Folder counted.
    unsigned int FolderDepth(uint32_t u32Folder) const;
    // Appends u32Folder and its ancestors to the folders that get nodes.
    void RegisterFolderChain(uint32_t u32Folder);
    void AddFolderNodes();

    wchar_t m_wcDrive = 0;
    uint64_t m_u64StartSector = 0;
    uint64_t m_u64SectorCount = 0;
    unsigned char m_abBootSector[FAST_FAT_DEVICE_SECTOR] = {};
    __FAST_FAT_GEOMETRY__ m_geometry;
    uint32_t m_dwRootClusterNO = 0;
    int m_nFatType = 1;
    const int m_nSourceType = FILE_SOURCE_FAST_FAT;

    CDiskReader m_diskReader;
    CFatTableWindow m_tableWindow;
    CClusterBitmap m_bitmap;
    // The file whose way of reading was decided last: its identity and whether it uses the table.
    _FILE_NODE_ m_chainNode{};
    bool m_bChainNodeSet = false;
    bool m_bChainNodeUsesTable = false;

    std::deque<uint32_t> m_dequeDirCluster;
    std::set<uint32_t> m_setVisited;
    std::map<uint32_t, _FILE_NODE_> m_mapDirInfo;
    std::vector<uint32_t> m_vecLostParentDir;
    std::set<uint32_t> m_setLostParentDir;

    SCAN_CALLBACK m_pScanCallBack = nullptr;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nCallBackFlag = 0;
    long long m_llLastReportTick = 0;
    int m_nReports = 0;
    CFileTypeJudge m_fileTypeJudge;  // keeps the judge's shared buffer alive
    CFatFileData m_fileData;
};
