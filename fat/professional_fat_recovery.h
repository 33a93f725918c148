#pragma once
// CProfessionalFatRecovery: the deep FAT engine. While the deep scan sweeps a device it is handed
// every sector that looks like the start of a FAT directory or like a directory-table sector,
// wherever it lies. It works out the geometry of the volumes those sectors belong to (also when
// a boot sector is lost or a volume was formatted over), turns their entries into file and
// folder nodes in its result store, joins long names cut at sector ends, keeps what it cannot
// place yet, and after the sweep builds the folder tree, inventing "LostFolder%d" folders for
// parents that were never seen as entries.
//
// Files are kept by cluster: a node's nDirIndex is its first cluster, folders are keyed by their
// cluster and filed under (depth << 32) | parent cluster in the store.
//
// The geometry part lives in professional_fat_geometry.cpp, entry parsing in
// professional_fat_entries.cpp, the sweep and end pass in professional_fat_sweep.cpp.
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "engine/recovery_parse.h"
#include "engine/store_backed_recovery.h"
#include "fat/fat_dir_context.h"
#include "fat/fat_file_data.h"
#include "fat/fat_table.h"
#include "fat/undealt_sector_spill.h"
#include "fat/virtual_dbr.h"

constexpr int PRO_FAT_BYTES_PER_SECTOR = 512;
// Table sectors kept in memory until the end pass (about 40 MiB with their keeping); more go to
// a file beside the result store, so a huge device costs disk, not memory, and loses none.
constexpr size_t PRO_FAT_UNDEALT_MEMORY_SECTORS = 65536;
// The root cluster assumed until a FAT32 boot sector says otherwise.
constexpr uint32_t PRO_FAT_DEFAULT_ROOT_CLUSTER = 2;
// Candidate high words tried for a deleted entry on FAT32: 0 to 256.
constexpr uint32_t PRO_FAT_HIGH_WORD_CANDIDATES = 257;
// Most ".." steps a folder-depth walk takes.
constexpr int PRO_FAT_MAX_FOLDER_DEPTH = 256;
// Where FAT32 keeps the copy of its boot sector, counted from the volume start.
constexpr uint64_t FAT32_BACKUP_BOOT_SECTOR = 6;

class CProfessionalFatRecovery : public CStoreBackedRecovery, private IFatClusterChain {
public:
    CProfessionalFatRecovery();
    ~CProfessionalFatRecovery() override;
    CProfessionalFatRecovery(const CProfessionalFatRecovery&) = delete;
    CProfessionalFatRecovery& operator=(const CProfessionalFatRecovery&) = delete;

    // --- IFileRecoveryParse ---------------------------------------------------------------
    // Opens disk nDiskNo (or the image) read-only for the area; a second Init does nothing.
    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    // The sweep belongs to the deep-scan orchestrator: nothing to do here.
    int ScanDevice(wchar_t* pLogFile) override;
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) override;
    int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) override;
    int BuildBitMapInfo() override;
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam) override;

    // --- the deep scan, in the order the orchestrator calls them --------------------------
    // Empties every list and map and makes a fresh result store: on pLogPath (a store name in
    // the scan-log manager's current folder) when given, else on "Pro_Fat_<start>_<time>".
    void ClearProfessionalVec(wchar_t* pLogPath);
    // Reads the area's first sector; a FAT boot sector there (or its FAT32 copy) becomes the first
    // geometry. 0 (also when there is none), or errno / 30 when it cannot be read.
    int InitVirtualDbrInfo();
    // The same for a volume that starts at u64VolumeStart inside the area (a partition of a whole
    // disk), so its files are placed even where no two folders give away the geometry.
    int AddVolumeBootSector(uint64_t u64VolumeStart);
    // A directory's first sector ("." then ".."), one sector of bytes at pBuf found at u64Sector.
    int ParseFatFileRecord(unsigned char* pBuf, unsigned long long u64Sector);
    // Any other sector of a directory table.
    int ParseFDTFileRecord(unsigned char* pBuf, unsigned long long u64Sector);
    // After the sweep: places what is left and builds the folder nodes. 0.
    int DealProfessionalRecordVec();

    // --- geometry -------------------------------------------------------------------------
    int CalcVirtualDbr(uint32_t u32ClusterHigh, uint64_t u64SectorHigh, uint32_t u32ClusterLow,
                       uint64_t u64SectorLow);
    int CalcVirtualDbrInfo(__FAT_SECTOR_OFFSET__* pStart);
    int GetVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster, __VIRTUAL_DBR_INFO__* pOut) const;
    int GetNearestVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster, __VIRTUAL_DBR_INFO__* pOut) const;
    int GetBestVirtalDbr(uint64_t u64Sector, __VIRTUAL_DBR_INFO__* pOut) const;
    // Places waiting file records whose geometry has become known. 0.
    int UpdateNoDbrFileVec();
    void AddUnDealFileMap(const unsigned char* pSector, int nLen, uint64_t u64SectorNo);

    // --- folders --------------------------------------------------------------------------
    // Adds to nDepth the folders between u32Cluster and the root, following ".." entries; each
    // cluster is visited once. 0 or the error of a failed read (nDepth keeps what was counted).
    int GetRootParentDirIndex(const __VIRTUAL_DBR_INFO__* pDbr, uint32_t u32Cluster, int& nDepth,
                              std::set<uint32_t>& setVisited);
    int GetRootParentDirIndex(const __VIRTUAL_DBR_INFO__* pDbr, uint32_t u32Cluster, int& nDepth);
    // The parent of the folder starting at u32Cluster, from its ".." entry (the root when there is
    // none or it names cluster 0). 87 without geometry, for cluster 0 or beyond the area.
    int GetParentClusterNO(const __VIRTUAL_DBR_INFO__* pDbr, uint32_t u32Cluster, uint32_t& u32Parent);
    // The directory the entries of a buffer belong to: the root for a volume label, the "."
    // entry's cluster for a directory start, else u32Cluster unless a folder entry's ".." tells
    // otherwise. 0 or the error of a failed read.
    int GetParentClusterNO(const unsigned char* pBuf, int nLen, const __VIRTUAL_DBR_INFO__* pDbr,
                           uint32_t& u32Cluster);
    // The high word of a deleted entry whose own is 0: the first candidate whose cluster starts a
    // directory, or whose first sector matches the file's extension. 0 or a read error.
    int GetDirRealHighClusterNO(uint16_t wLow, uint16_t& wHigh, const __VIRTUAL_DBR_INFO__* pDbr);
    int GetFileRealHighClusterNO(uint16_t wLow, uint16_t& wHigh, const char* szFileName,
                                 const __VIRTUAL_DBR_INFO__* pDbr);

    // --- directory buffers ----------------------------------------------------------------
    // Parses the entries of a buffer of nLen bytes that belongs to the directory u32Cluster and
    // was found at u64RecordSector. A long-name chain left open at the end goes to pLongInfo.
    int DealProfessionalFatFileEntry(const unsigned char* pBuf, int nLen, uint64_t u64RecordSector,
                                     uint32_t u32DirCluster, __LONG_FILE_INFO__* pLongInfo,
                                     const __VIRTUAL_DBR_INFO__* pDbr);
    // The same, looking the geometry up when pDbr is null, then following a cut chain.
    int ParseFatFDTRecord(const unsigned char* pBuf, int nLen, uint64_t u64RecordSector, uint32_t u32Cluster,
                          const __VIRTUAL_DBR_INFO__* pDbr);
    int DoParseFileOrAddUndelFileMap(const unsigned char* pSector, int nLen, uint64_t u64Sector);
    // When a waiting chain continues in this sector: the chain's bytes followed by the sector,
    // with nLen, u64Sector and u32Cluster changed to the chain's buffer. Empty otherwise.
    std::vector<unsigned char> GetParentDirCluster(const unsigned char* pSector, int& nLen, uint64_t& u64Sector,
                                                   uint32_t& u32Cluster);
    int ParseUnDealFileMap();
    // The end pass for one kept sector (taken out of its keeping).
    void ParseUndealtSector(uint64_t u64Sector, std::vector<unsigned char>& vecSector);

    // --- file data ------------------------------------------------------------------------
    int SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath);
    int IsFileDataHealth(_FILE_NODE_* pNode, uint32_t u32SectorsPerCluster);

    // --- views for the orchestrator and tests ---------------------------------------------
    const CVirtualDbrList& GetVirtualDbrList() const { return m_dbrList; }
    uint32_t GetRootClusterNO() const { return m_dwRootClusterNO; }
    size_t GetNoDbrFileCount() const { return m_vecNoDbrFile.size(); }
    size_t GetUnDealSectorCount() const { return m_mapUnDealFile.size() + m_undealtSpill.Count(); }
    // How many kept table sectors stay in memory; the rest wait in a file beside the store.
    void SetUndealtMemoryCap(size_t nSectors) { m_nUndealtMemoryCap = nSectors; }
    size_t GetLongFileInfoCount() const { return m_vecLongFileInfo.size(); }

private:
    // IFatClusterChain: a live file on a volume whose boot sector and table are readable is read
    // through its chain when the chain is allocated and exactly as long as the file.
    bool UsesChain(const _FILE_NODE_& node) override;
    int FindNextClusterNO(const _FILE_NODE_& node, uint32_t u32Cluster, uint32_t& u32Next) override;
    // The boot-sector geometry the node was placed with, or null.
    const __VIRTUAL_DBR_INFO__* RealGeometryOf(const _FILE_NODE_& node) const;

    // Reads the first sector of cluster u32Cluster; false when it cannot be read.
    bool ReadClusterFirstSector(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Cluster, unsigned char* pSector,
                                int& nError);
    bool IsInArea(uint64_t u64Sector) const;
    // One sector of the area; 0, or the read's error (30 when nothing arrived, 87 outside the area).
    int ReadBootSector(uint64_t u64Sector, unsigned char* pSector);
    // The cluster a ".." entry names, the root for 0.
    uint32_t DotDotTarget(const unsigned char* pDirStart) const;
    // Fills the geometry fields, files the node under its parent and writes it to the store.
    void PlaceFileNode(_FILE_NODE_ node, uint32_t u32Parent, const __VIRTUAL_DBR_INFO__& dbr);
    void AddFileEntry(const FAT32_Entry& entry, const char* szName, uint32_t u32Parent, uint64_t u64RecordSector,
                      const __VIRTUAL_DBR_INFO__* pDbr);
    void AddFolderEntry(const FAT32_Entry& entry, const char* szName, uint32_t& u32Parent,
                        uint64_t u64RecordSector, const __VIRTUAL_DBR_INFO__* pDbr);
    // Registers u32Cluster and its ancestors as folders that hold recorded files.
    void RegisterFolderChain(uint32_t u32Cluster, uint64_t u64RecordSector, const __VIRTUAL_DBR_INFO__* pDbr);
    // Joins a chain left at the end of a buffer with a kept sector that continues it, over and
    // over; a chain nothing continues is kept for the sectors still to come.
    void FollowPendingChain(__LONG_FILE_INFO__& longInfo, uint64_t u64RecordSector, uint32_t u32Cluster,
                            const __VIRTUAL_DBR_INFO__* pDbr);
    bool ChainContinuesIn(const __LONG_FILE_INFO__& longInfo, uint64_t u64Sector,
                          const std::vector<unsigned char>& vecSector) const;
    void AddFolderNodes();
    _FILE_NODE_ MakeNode(const FAT32_Entry& entry, const char* szName, int bIsDir, uint64_t u64RecordSector) const;
    void ResetDirContexts();
    void ForgetLastFolderChain() { m_u32LastChainCluster = UINT32_MAX; }

    int m_hDevice = -1;
    int m_nDiskNumber = 0;
    uint64_t m_u64StartSector = 0;
    uint64_t m_u64SectorCount = 0;
    wchar_t m_wcDrive = 0;
    int m_nBytesPerSector = PRO_FAT_BYTES_PER_SECTOR;
    uint32_t m_dwRootClusterNO = PRO_FAT_DEFAULT_ROOT_CLUSTER;
    const int m_nSourceType = FILE_SOURCE_DEEP_FAT;

    CVirtualDbrList m_dbrList;
    std::vector<__NO_DBR_FILE__> m_vecNoDbrFile;
    // How far UpdateNoDbrFileVec got: records before the first index were tried against the
    // geometries before the second.
    size_t m_nNoDbrCheckedRecords = 0;
    size_t m_nNoDbrCheckedGeometries = 0;
    std::vector<__LONG_FILE_INFO__> m_vecLongFileInfo;
    std::map<uint64_t, __UNDEAL_SECTOR__> m_mapUnDealFile;
    CUndealtSectorSpill m_undealtSpill;
    size_t m_nUndealtMemoryCap = PRO_FAT_UNDEALT_MEMORY_SECTORS;
    std::map<uint32_t, __FAT_DIR_RECORD__> m_mapDirInfo;
    std::map<uint32_t, __FAT_DIR_CHAIN__> m_mapDirChain;
    // The folder whose ancestors were registered last, and how many folder records existed then.
    uint32_t m_u32LastChainCluster = UINT32_MAX;
    size_t m_nLastChainDirInfoCount = 0;
    __VIRTUAL_DBR_INFO__ m_lastChainDbr{};
    __FAT_DIR_CONTEXT__ m_curDirContext;
    __FAT_DIR_CONTEXT__ m_lastDirContext;

    CDiskReader m_diskReader;
    CFatTable m_fatTable{m_diskReader};
    SCAN_CALLBACK m_pScanCallBack = nullptr;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nCallBackFlag = 0;
    CFileTypeJudge m_fileTypeJudge;  // keeps the judge's shared buffer alive
    CFatFileData m_fileData;
};
