#pragma once
// The deep scan: one engine made of a fast engine for the area (when the factory recognises its
// file system) and three sweep engines (deep NTFS, deep FAT, carving). The scan lets the fast
// engine list what the file system still knows, then sweeps the free sectors (or the whole area)
// in 64 KiB chunks, offering each sector to the NTFS, FAT and carving parsers in that order.
// Browsing, search, preview and saving go to the engine that made each node.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "carving/file_type_recovery.h"
#include "device/disk_reader.h"
#include "device/sector_ranges.h"
#include "engine/log_file_info.h"
#include "engine/recovery_parse.h"
#include "fat/professional_fat_recovery.h"
#include "ntfs/professional_ntfs_recovery.h"

// Disk number of an image-file scan.
constexpr int PRO_IMAGE_DISK_NO = 128;
// Bytes read per chunk of the sweep.
constexpr int PRO_SWEEP_CHUNK_BYTES = 65536;
// Most sectors one chunk holds (the smallest sector size the sweep reads is 512 bytes).
constexpr int PRO_SWEEP_CHUNK_MAX_SECTORS = PRO_SWEEP_CHUNK_BYTES / 512;
// The file in a scan's folder that lists the sectors its sweep could not read.
constexpr const char* PRO_UNREADABLE_FILE_NAME = "Unreadable";
// Progress weights: the fast pass fills 9 % of the bar, the sweep 90 %.
constexpr int PRO_FAST_PASS_PERCENT = 9;
constexpr int PRO_SWEEP_PERCENT = 90;

// Where a find's record lies: one of the engines' result stores and its place there.
struct FOUND_PLACE {
    unsigned int nStore = 0;   // fast, carving, deep FAT, deep NTFS
    unsigned int nRecord = 0;  // from 1
};

class CProfessionalRecovery : public IFileRecoveryParse {
public:
    CProfessionalRecovery();
    ~CProfessionalRecovery() override;
    CProfessionalRecovery(const CProfessionalRecovery&) = delete;
    CProfessionalRecovery& operator=(const CProfessionalRecovery&) = delete;

    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    int ScanDevice(wchar_t* pLogFile) override;
    int GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel, std::vector<_FILE_NODE_>& vecChildren) override;
    int GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) override;
    unsigned long long GetLostFileCount() override;
    int GetFileNodeParentDirPath(_FILE_NODE_* pNode, wchar_t* pPath, int nMaxLen) override;
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) override;
    int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) override;
    int InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam) override;
    int SearchFileNode(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult) override;
    int BuildBitMapInfo() override;
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam) override;

    // 1 when Init found a saved scan of exactly this area that the next scan continues.
    int IsFindLogFile() const { return m_bLoadLogFile; }
    // Makes the next scan a fresh one and deletes the saved scan's folder.
    void SetNotLoadLogFile();

    // Offers each sector of one chunk (nLen at most PRO_SWEEP_CHUNK_BYTES, else 87) to the
    // parsers; inside a carved file's extent only signature detection is skipped. Returns 0, or
    // the progress callback's non-zero answer that stopped a carved file's size walk; llOverrun
    // is then minus the sectors not examined (the stopped one included), else 0.
    int ParseProfessionalFileInfo(unsigned char* pBuf, int nLen, unsigned long long u64Sector,
                                  unsigned long long u64DoneSectors, unsigned long long u64TotalSectors,
                                  int nRemaindSecond, long long& llOverrun, unsigned long long& u64FindFileCount);

    // The sectors the sweep could not read, even one at a time: absolute, sorted and merged. A
    // resumed or reused scan starts with those of its saved part (the "Unreadable" file of its
    // folder: one "first count" line per range).
    const std::vector<SECTOR_RANGE>& GetUnreadableRanges() const { return m_vecUnreadable; }
    unsigned long long GetUnreadableSectorCount() const { return CountRangeSectors(m_vecUnreadable); }

    // The first failure of an engine's result store to keep its finds (0: none), with the folder
    // of that store. A sweep stops at it: finds it cannot keep are not worth looking for.
    int GetStoreError(std::string& strFolder);
    // Writes what the engines' stores still buffer; then GetStoreError tells whether every
    // find was kept.
    void FlushStores();

    // Finds the last search left out because their data did not look like their type (damaged
    // pictures), so a summary can say that nothing vanished silently.
    unsigned long long GetHiddenDamagedCount();

    // The finds a search with the key gives, unsorted, each with the place of its record, so a
    // caller can keep a few bytes per find and read the record back later (ReadFind). onFind
    // answers whether to go on.
    using FIND_VISITOR = std::function<bool(const __SEARCH_FILE_INFO__& hit, FOUND_PLACE place)>;
    void VisitFinds(wchar_t* pSearchKey, const FIND_VISITOR& onFind);
    // How many records the engines' stores hold, folders included: at least as many as any
    // search gives.
    size_t GetStoredNodeCount();
    // The record at a place VisitFinds gave: 0, KR_ERROR_INVALID_PARAMETER for a store that does
    // not exist, or the store's read error.
    int ReadFind(FOUND_PLACE place, __SEARCH_FILE_INFO__& hit);

    // The fast engine (null when none was made), for callers that need to tell the passes apart.
    IFileRecoveryParse* GetFastRecovery() const { return m_pFastRecovery; }

private:
    // What the pure record tests say of each sector of a chunk.
    enum SECTOR_KIND : unsigned char {
        SECTOR_PLAIN,             // none of the records below: offered to carving
        SECTOR_NTFS_RECORD,       // an NTFS file record that lies inside the chunk
        SECTOR_FAT_DIR_START,     // a FAT directory's first sector
        SECTOR_FAT_DIR_TABLE,     // another sector of a FAT directory table
    };
    struct CHUNK_KINDS {
        int nSectors;
        SECTOR_KIND aKind[PRO_SWEEP_CHUNK_MAX_SECTORS];
        // Starts like an NTFS record that runs past the chunk: read again from the device, and
        // judged by aKind only when that read holds no record.
        bool abStraddling[PRO_SWEEP_CHUNK_MAX_SECTORS];
    };
    // Classifies every sector of the chunk. Touches no heap and no engine state (it reads pBuf
    // and writes kinds only), so it is what the sweep runs under the fault guard. False for a
    // chunk longer than the kinds can hold.
    bool ClassifyChunk(const unsigned char* pBuf, int nLen, CHUNK_KINDS& kinds) const;
    // Hands the classified sectors to the parsers that change the engines' state; the rest as
    // ParseProfessionalFileInfo.
    int ParseClassifiedChunk(unsigned char* pBuf, const CHUNK_KINDS& kinds, unsigned long long u64Sector,
                             unsigned long long u64DoneSectors, unsigned long long u64TotalSectors,
                             int nRemaindSecond, long long& llOverrun, unsigned long long& u64FindFileCount);
    // Parses the NTFS record at u64Here that runs past its chunk, read again in one piece into
    // pStraddle (made on first use). False when the read holds no record.
    bool ParseStraddlingRecord(unsigned long long u64Here, std::unique_ptr<unsigned char[]>& pStraddle);
    // Writes the unreadable ranges to the scan's folder, replacing the file in one step. 0 or errno.
    int SaveUnreadableRanges(const char* szLogDir) const;
    // Reads them back from the folder of a saved scan (none when the file is missing).
    void LoadUnreadableRanges(const char* szLogDir);
    // The result stores of every engine (fast, carving, deep FAT, deep NTFS); null where none.
    std::array<CScanResultFileManager*, 4> ResultStores();
    CScanResultFileManager* FastStore();
    // The engine that serves nodes of that source, or null.
    IFileRecoveryParse* EngineOfSource(int nSourceType);
    // The sweep between the fast pass and the end passes. Returns 0 or the callback's answer.
    int Sweep(bool bBitmap, unsigned long long& u64RunStart, unsigned long long& u64RunCount,
              unsigned long long& u64OffsetInRun, unsigned long long& u64Done, unsigned long long& u64Found);
    // Prepares the sweep engines for a fresh scan or reloads them from the saved scan's folder.
    void PrepareSweepEngines();
    // Hands the start of every partition inside the area to the FAT and NTFS engines, so a
    // whole-disk scan knows each volume's geometry from its boot sector (or its copy).
    void SeedPartitionVolumes();
    // The first data sector of a file found through a file system; false when unknown.
    bool GetFileSystemNodeFirstSector(const _FILE_NODE_& node, unsigned long long& u64Sector);
    std::string DeviceNodePath() const;

    int m_hDisk = -1;  // the disk or image, for partition discovery
    wchar_t m_wcDrive = L'C';
    int m_nBytesPerSector = 512;
    int m_nDiskNo = 0;
    long long m_llStartSector = 0;
    long long m_llSectorCount = 0;
    CDiskReader m_diskReader;
    CProfessionalFatRecovery m_proFatRecovery;
    CProfessionalNtfsRecovery m_proNtfsRecovery;
    CFileTypeRecovery m_fileTypeRecovery;
    IFileRecoveryParse* m_pFastRecovery = nullptr;
    int m_nCallBackFlag = 0;
    SCAN_CALLBACK m_pScanCallBack = nullptr;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    SEARCH_CALLBACK m_pSearchCallBack = nullptr;
    void* m_pSearchParam = nullptr;
    int m_bLoadLogFile = 0;
    _LOG_FILE_INFO_ m_logFileInfo;
    std::string m_strImagePath;
    // The first sector after the last carved file: no new file head is looked for before it.
    unsigned long long m_u64CarvedEndSector = 0;
    std::vector<SECTOR_RANGE> m_vecUnreadable;
};
