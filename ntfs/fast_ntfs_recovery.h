#pragma once
// CFastNtfsRecovery: the engine for an NTFS volume whose boot sector and MFT are intact. It reads
// the MFT through the MFT's own run list, makes a node for every file record (deleted or live),
// then makes the folders those files lie in (a folder whose record is gone or reused becomes
// "LostFolder%d"). It also loads the allocation bitmap ($Bitmap) so the deep scan can sweep only
// the free clusters. File data are read back through CNtfsFileData with this engine's readers,
// which follow attribute lists.
//
// Sectors are 512 bytes and records 1024 bytes, as the deep engine reads them; a volume that
// says otherwise is refused by Init (the deep scan then sweeps it whole).
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "device/disk_reader.h"
#include "engine/cluster_bitmap.h"
#include "engine/recovery_parse.h"
#include "engine/store_backed_recovery.h"
#include "ntfs/ntfs_file_data.h"
#include "ntfs/ntfs_parse.h"
#include "ntfs/ntfs_records.h"
#include "ntfs/run_list.h"

class CFastNtfsRecovery : public CStoreBackedRecovery, private INtfsFileDataSource {
public:
    CFastNtfsRecovery();
    ~CFastNtfsRecovery() override;
    CFastNtfsRecovery(const CFastNtfsRecovery&) = delete;
    CFastNtfsRecovery& operator=(const CFastNtfsRecovery&) = delete;

    // The volume [llStartSector, + llSectorCount) of disk nDiskNo, or a whole image. 0 once the
    // boot sector and the MFT's run list are read; otherwise the error of the open or the read,
    // 87 for a boot sector that is not NTFS (or a geometry this engine does not read), or the
    // record readers' code for an MFT record 0 without a run list. After a failure the engine
    // has no volume: ScanDevice finds nothing and BuildBitMapInfo fails.
    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    // A fresh store ("Fast_<start>_<time>"), then the scan; with a log file the saved store of
    // that name is reopened instead. 0, the store's error, or the callback's stop answer.
    int ScanDevice(wchar_t* pLogFile) override;
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) override;
    // The next free stretch at or after u64StartSector (sectors from the volume start): the
    // sector moves to its first free cluster and u64SectorCount gets its length, cut at the
    // volume's end. Count 0 when nothing free is left or no bitmap is loaded. Returns 1.
    int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) override;
    // Loads $Bitmap (record 6), one bit per cluster. Clusters whose bitmap bytes cannot be read
    // count as free, so the deep scan sweeps them rather than trusting guessed bits. 0, or the
    // record readers' code (87 without a volume).
    int BuildBitMapInfo() override;
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam) override;

    // The scan proper over the store ScanDevice made: the MFT in pieces with progress, then the
    // folder pass and the final report. 0 or the callback's stop answer. A piece of the MFT that
    // cannot be read is counted (GetUnreadableMftPieces) and passed over.
    int FastScanDevice();
    // Reads nSectorCount sectors of the MFT at llSector (absolute) and parses each whole record,
    // numbering them from u32FirstRecord. 0 or the read's error.
    int ReadFileAndParseRecordInfo(long long llSector, int nSectorCount, uint32_t u32FirstRecord);
    // The parser of both passes on one m_nRecordSize-byte record (fixed up in place). Sweep
    // (bParentPass 0): u32RecordNumber is the record's place in the MFT; a file record, deleted
    // or live, becomes a node. Folder pass: u32RecordNumber is the folder expected there; a
    // record still marked as a folder gives a folder node, anything else "LostFolder%d".
    // 0, or -1 when there is no file record.
    int ParseRecordInfo(unsigned char* pRecord, int bParentPass, uint32_t u32RecordNumber);
    // Walks up from folder nParent to the root, remembering each folder for the folder pass and
    // counting them in nLevel. Stops at a record that cannot be read or is no folder, and at a
    // folder already visited. 0 or the read's code.
    int GetRootParentDirIndex(unsigned int nParent, int& nLevel, std::map<unsigned int, unsigned int>& mapVisited);
    // Reads MFT record nRecord (m_nRecordSize bytes) into pOut. 0, -100 when the MFT has no such
    // record or the read failed without an error number, or that number.
    int GetFileRecordBuf(unsigned int nRecord, unsigned char* pOut);

    // The record readers (result codes in ntfs/ntfs_records.h). The run list of the record's
    // first attribute of type nAttrType; when the record has an attribute list, the runs of every
    // extent it names, in order.
    int GetRunListInfo(long long llRecordSector, int nAttrType, std::vector<__RUNLIST__>& vecRuns);
    // The runs of the attribute of type u32Type (unnamed for $DATA) gathered from the extents an
    // attribute list names; pAttrList holds the list attribute (u32AttrBytes readable bytes) of
    // record u32BaseRecord. Extents must follow on without a gap and belong to the base record;
    // gathering stops at the first that does not. 0, or the code of the last record read.
    int Get0X20RunList(const unsigned char* pAttrList, uint32_t u32AttrBytes, uint32_t u32BaseRecord,
                       uint32_t u32Type, std::vector<__RUNLIST__>& vecRuns);
    // Reads the record holding the first attribute of type u32Type that the list (as for
    // Get0X20RunList) names; u32AttrOffset is where it lies in vecRecord. 0 or a reader's code.
    int FindListedAttribute(const unsigned char* pAttrList, uint32_t u32AttrBytes, uint32_t u32BaseRecord,
                            uint32_t u32Type, std::vector<unsigned char>& vecRecord, uint32_t& u32AttrOffset);
    // The resident $DATA value (with its alignment padding) of the record at llRecordSector;
    // pOut holds m_nRecordSize bytes. 0, -101 when there is none, 87 when too long.
    int GetAttr0x80Data(long long llRecordSector, unsigned char* pOut, unsigned int& nLength);
    // The real size of the record's $DATA. 0, 87 when there is none, -1 without a record, or the
    // read's error.
    int GetBitMapRealBytesSize(long long llRecordSector, unsigned long long& u64Size);

    int SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath);
    int IsFileDataHealth(_FILE_NODE_* pNode, unsigned int nUnused);

    // Views of the state, for the deep scan and for tests.
    bool HasVolume() const { return m_bHasVolume; }
    unsigned int GetSectorsPerCluster() const { return m_nSectorsPerCluster; }
    const std::vector<__RUNLIST__>& GetMftRunList() const { return m_vecMftRunList; }
    const std::vector<uint32_t>& GetParentDirIndex() const { return m_vecParentDirIndex; }
    const CClusterBitmap& GetBitmap() const { return m_bitmap; }
    unsigned long long GetUnreadableMftPieces() const { return m_u64UnreadableMftPieces; }
    unsigned long long GetUnreadableBitmapBytes() const { return m_u64UnreadableBitmapBytes; }

private:
    // Where a folder lies: its level below the root and whether it is, or lies in, one of the
    // volume's own folders.
    struct FOLDER_PLACE {
        int nLevel = 0;
        bool bSystem = false;
    };
    unsigned int StoreRootDirIndex() const override { return NTFS_ROOT_RECORD; }
    // The place of folder nFolder, from its ancestor walk (taken once per folder and scan).
    FOLDER_PLACE PlaceOfFolder(uint32_t nFolder);
    // Reads the boot sector and the MFT's run list. 0 or the error Init returns.
    int LoadVolume();
    // Reads m_nRecordSize bytes at an absolute sector. 0, -100 for a read that failed without an
    // error number of its own, or that number.
    int ReadRecordAt(unsigned long long u64Sector, unsigned char* pBuf);
    // Reads the record at an absolute sector and checks and fixes it up. 0, a read code, or -1.
    int ReadFixedRecordAt(unsigned long long u64Sector, unsigned char* pBuf);
    // The value of an attribute list, resident or in its own clusters (as far as it can be read).
    int ReadAttrListValue(const unsigned char* pAttrList, uint32_t u32AttrBytes, std::vector<unsigned char>& vecList);
    // Reads MFT record u32Record, fixed up, when it is u32BaseRecord or one of its extensions.
    int ReadListedRecord(uint32_t u32Record, uint32_t u32BaseRecord, unsigned char* pBuf);
    // The absolute sector of MFT record nRecord; false when the MFT has no such record.
    bool LocateRecord(unsigned int nRecord, unsigned long long& u64Sector) const;
    void RememberFolder(uint32_t nDirIndex);
    void MakeLostFolder(uint32_t nDirIndex);
    // Fills a new node from a $FILE_NAME attribute (the caller checked it holds its name). Null
    // when the store has no slot.
    _FILE_NODE_* FillFileNode(const unsigned char* pAttribute, uint32_t u32AttrLength, int bIsDir);
    // The callback's answer to progress nPercent (0 without a callback).
    int ReportScanProgress(int nPercent, int nRemainSeconds);
    // The folder pass over every remembered folder, also those it adds itself.
    void ParseParentDirs();

    // INtfsFileDataSource
    int ReadNodeResidentData(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength) override;
    int ReadNodeDataRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) override;
    int ReadNodeHealthRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) override;
    int ListNodeChildren(_FILE_NODE_* pParent, unsigned int nLevel, std::vector<_FILE_NODE_>& vecChildren) override;

    bool m_bHasVolume = false;
    unsigned long long m_u64StartSector = 0;
    unsigned long long m_u64SectorCount = 0;
    wchar_t m_wcDrive = 0;
    unsigned long long m_u64MftStartSector = 0;
    int m_nBytesPerSector = 512;
    int m_nSectorsPerRecord = 2;
    int m_nRecordSize = 1024;
    unsigned int m_nSectorsPerCluster = 8;
    int m_nBufferSize = 1024 * 1024;  // MFT bytes read per piece: 1024 records
    int m_nSourceType = FILE_SOURCE_FAST_NTFS;

    std::vector<__RUNLIST__> m_vecMftRunList;
    std::vector<uint32_t> m_vecParentDirIndex;
    std::unordered_set<uint32_t> m_setParentDirIndex;  // the numbers in the vector
    std::unordered_map<uint32_t, FOLDER_PLACE> m_mapFolderPlace;  // by folder, for this scan
    CClusterBitmap m_bitmap;
    unsigned long long m_u64UnreadableMftPieces = 0;
    unsigned long long m_u64UnreadableBitmapBytes = 0;

    CNtfsParse m_ntfsParse;
    CDiskReader m_diskReader;
    CNtfsFileData m_fileData;

    SCAN_CALLBACK m_pScanCallBack = nullptr;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nCallBackFlag = 0;
};
