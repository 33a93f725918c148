#pragma once
// The deep scan: one engine made of a fast engine for the area (when the factory recognises its
// file system) and three sweep engines (deep NTFS, deep FAT, carving). The scan lets the fast
// engine list what the file system still knows, then sweeps the free sectors (or the whole area)
// in 64 KiB chunks, offering each sector to the NTFS, FAT and carving parsers in that order.
// Browsing, search, preview and saving go to the engine that made each node.
#include <string>
#include <vector>

#include "carving/file_type_recovery.h"
#include "device/disk_reader.h"
#include "engine/log_file_info.h"
#include "engine/recovery_parse.h"
#include "fat/professional_fat_recovery.h"
#include "ntfs/professional_ntfs_recovery.h"

// Disk number of an image-file scan.
constexpr int PRO_IMAGE_DISK_NO = 128;
// Bytes read per chunk of the sweep.
constexpr int PRO_SWEEP_CHUNK_BYTES = 65536;
// Progress weights: the fast pass fills 9 % of the bar, the sweep 90 %.
constexpr int PRO_FAST_PASS_PERCENT = 9;
constexpr int PRO_SWEEP_PERCENT = 90;

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

    // Offers each sector of one chunk to the parsers; inside a carved file's extent only signature
    // detection is skipped. llOverrun is 0, or after a stop minus the sectors not examined.
    int ParseProfessionalFileInfo(unsigned char* pBuf, int nLen, unsigned long long u64Sector,
                                  unsigned long long u64DoneSectors, unsigned long long u64TotalSectors,
                                  int nRemaindSecond, long long& llOverrun, unsigned long long& u64FindFileCount);

    // The first failure of a sweep engine's result store to keep its finds (0: none), with the
    // folder of that store. A sweep stops at it: finds it cannot keep are not worth looking for.
    int GetStoreError(std::string& strFolder);

    // Finds the last search left out because their data did not look like their type (damaged
    // pictures), so a summary can say that nothing vanished silently.
    unsigned long long GetHiddenDamagedCount();

    // The fast engine (null when none was made), for callers that need to tell the passes apart.
    IFileRecoveryParse* GetFastRecovery() const { return m_pFastRecovery; }

private:
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
};
