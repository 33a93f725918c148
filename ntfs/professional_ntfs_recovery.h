#pragma once
// CProfessionalNtfsRecovery: the deep NTFS engine. The deep scan hands it every MFT file record
// its sweep meets; the engine makes a node for each, deleted or not, working out the cluster
// size and the volume start from the record itself and the MFT it belongs to, so records of
// damaged or reformatted volumes are placed too. Folders met while walking up from files are
// made into folder nodes (or "LostFolder%d" folders) by ParseProfessionalRecordVec at the end.
#include <map>
#include <memory>
#include <unordered_set>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "engine/recovery_parse.h"
#include "engine/store_backed_recovery.h"
#include "ntfs/ntfs_file_data.h"
#include "ntfs/ntfs_parse.h"
#include "ntfs/run_list.h"

// A folder met on the way up from a file, waiting for the end-of-scan pass.
struct __SPECIAL_RECOVERY_DIR__ {
    uint32_t nDirIndex;                     // the folder's record number
    uint32_t nSectorsPerCluster;            // in force when the folder was first met
    uint64_t u64PartitionStartSector;       // volume start of the file that led to it
    std::vector<__RUNLIST__> vecMftRunList; // MFT runs used to locate the folder's record
};

class CProfessionalNtfsRecovery : public CStoreBackedRecovery, private INtfsFileDataSource {
public:
    CProfessionalNtfsRecovery();
    ~CProfessionalNtfsRecovery() override;
    CProfessionalNtfsRecovery(const CProfessionalNtfsRecovery&) = delete;
    CProfessionalNtfsRecovery& operator=(const CProfessionalNtfsRecovery&) = delete;

    // The area [llStartSector, llStartSector + llSectorCount) of disk nDiskNo, or a whole image.
    // When the area starts with an NTFS boot sector, its MFT run list is remembered. 0, or the
    // error of the open or of reading the first 4096 bytes.
    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    // The deep scan sweeps for this engine: nothing to do here.
    int ScanDevice(wchar_t* pLogFile) override;
    int GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel, std::vector<_FILE_NODE_>& vecChildren) override;
    int GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) override;
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) override;
    int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) override;
    int BuildBitMapInfo() override;
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam) override;

    // Takes the cluster size and the MFT of the NTFS volume whose boot sector (or its copy in the
    // volume's last sector, when u64VolumeSectors is known) lies at u64VolumeStart. 0 in every case.
    int AddVolumeBootSector(unsigned long long u64VolumeStart, unsigned long long u64VolumeSectors);
    // A fresh result store (and no remembered folders); with a log file name, the saved store of
    // that name is reopened. Returns the store's Init result.
    int InitProfessionalScan(wchar_t* pLogFile);
    // The sweep's entry for one file record (m_nRecordSize bytes, fixed up in place) found at an
    // absolute sector. Folder records are left to the folder pass. 0, 87 or -1.
    int ParseNtfsFileRecord(unsigned char* pRecord, unsigned long long u64Sector);
    // The parser of both passes. In the folder pass (bParentPass 1) nParentDirIndex is the folder
    // whose record is expected; when none is found there a "LostFolder%d" folder stands in.
    int ParseProfessionalRecordInfo(unsigned char* pRecord, unsigned long long u64Sector, int bParentPass,
                                    unsigned int nParentDirIndex);
    // The end-of-scan pass over the remembered folders, including those it adds itself.
    int ParseProfessionalRecordVec();

    // A new node in the store from a $FILE_NAME attribute of u32AttrLength bytes (checked by the
    // caller to hold the whole name). Null when the store has no slot.
    _FILE_NODE_* FillFileNode(const unsigned char* pAttribute, uint32_t u32AttrLength, int bIsDir);
    // Sectors per cluster from the record's own non-resident $DATA (allocated bytes / clusters);
    // nSectorsPerCluster is left alone when the record does not tell. 0, or 87.
    int GetFileRecordSectorPerClusterByRecordBuf(unsigned char* pRecord, int& nSectorsPerCluster);
    // The volume start for record R found at u64Sector, with the run list of its MFT appended to
    // vecRuns (a gapless table from the record back to record 0 when its MFT is unknown).
    unsigned long long GetSpecialFileRecordPartitionStartSector(unsigned long long u64Sector,
                                                                unsigned long long u64RecordNumber,
                                                                unsigned int nSectorsPerCluster,
                                                                std::vector<__RUNLIST__>& vecRuns);
    // The key sector of the first known MFT that puts record R at u64Sector (its runs appended to
    // vecRuns), or 0.
    unsigned long long GetFileRecordIndexMftRunList(unsigned long long u64RecordNumber, unsigned long long u64Sector,
                                                    unsigned int nSectorsPerCluster, std::vector<__RUNLIST__>& vecRuns);
    // Walks up from folder P, remembering every folder and counting them in nLevel.
    int GetProfessionalRootParentDirIndex(unsigned int nParent, unsigned long long u64PartitionStart,
                                          unsigned int nSectorsPerCluster, std::vector<__RUNLIST__> vecRuns,
                                          int& nLevel, std::map<unsigned int, unsigned int>& mapVisited);

    // The record-reading family (result codes in ntfs/ntfs_records.h).
    int GetRunListInfo(long long llRecordSector, int nAttrType, std::vector<__RUNLIST__>& vecRuns);
    int GetFileNodeRunListInfo(_FILE_NODE_* pNode, int nAttrType, std::vector<__RUNLIST__>& vecRuns);
    int GetFileNodeAttr0x80Data(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength);

    int SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath);
    int IsFileDataHealth(_FILE_NODE_* pNode, unsigned int nUnused);

    // Views of the state, for the deep scan and for tests.
    unsigned int GetSectorsPerCluster() const { return m_nSectorsPerCluster; }
    int GetRecordSize() const { return m_nRecordSize; }
    const std::map<unsigned long long, std::vector<__RUNLIST__>>& GetMftRunListMap() const { return m_mapMftRunList; }
    const std::vector<__SPECIAL_RECOVERY_DIR__>& GetSpecialRecoveryDirs() const { return m_vecSpecialRecoveryDir; }

private:
    // Geometry, default cluster size, and the MFT named by a boot sector at the area's start.
    int InitGeometry();
    // Reads the record at an absolute sector into pBuf (m_nRecordSize bytes). 0, -100 for a read
    // that failed without an error number of its own, or that number.
    int ReadRecord(unsigned long long u64Sector, unsigned char* pBuf);
    void RememberFolder(unsigned int nDirIndex, unsigned int nSectorsPerCluster, unsigned long long u64PartitionStart,
                        const std::vector<__RUNLIST__>& vecRuns);
    void MakeLostFolder(unsigned int nDirIndex);
    void RememberMftRunList(unsigned char* pRecord, unsigned long long u64Sector);
    // Fills the placement fields of a new node for record R and walks its ancestors.
    void PlaceNode(_FILE_NODE_* pNode, unsigned char* pRecord, unsigned long long u64Sector, unsigned int nParent,
                   int& nLevel);

    // INtfsFileDataSource
    int ReadNodeResidentData(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength) override;
    int ReadNodeDataRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) override;
    int ReadNodeHealthRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) override;
    int ListNodeChildren(_FILE_NODE_* pParent, unsigned int nLevel, std::vector<_FILE_NODE_>& vecChildren) override;

    int m_nDiskNumber = -1;
    unsigned long long m_u64StartSector = 0;
    unsigned long long m_u64SectorCount = 0;
    wchar_t m_wcDrive = 0;
    int m_nBytesPerSector = 512;
    int m_nSectorsPerRecord = 2;
    int m_nRecordSize = 1024;
    unsigned int m_nSectorsPerCluster = 8;
    int m_nSourceType = FILE_SOURCE_DEEP_NTFS;

    std::map<unsigned long long, std::vector<__RUNLIST__>> m_mapMftRunList;
    std::vector<__SPECIAL_RECOVERY_DIR__> m_vecSpecialRecoveryDir;
    std::unordered_set<uint32_t> m_setSpecialRecoveryDir;  // the record numbers in the vector

    CNtfsParse m_ntfsParse;
    CDiskReader m_diskReader;
    CFileTypeJudge m_fileTypeJudge;
    CNtfsFileData m_fileData;

    SCAN_CALLBACK m_pScanCallBack = nullptr;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nCallBackFlag = 0;
};
