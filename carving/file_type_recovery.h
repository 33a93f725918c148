#pragma once
// CFileTypeRecovery: the carving engine. The deep-scan sweep offers it sectors one at a time;
// it records every file whose head it recognises (sized by the type's size rule) in its own
// result store and tells the sweep how far to jump. Afterwards it serves the carved files to
// the results browser: listing, search, preview and recovery straight from the device.
#include <memory>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "engine/recovery_parse.h"
#include "engine/store_backed_recovery.h"

class CScanResultFileManager;

// Prefix of the engine's store names (the scan-log manager finds its scans by it).
constexpr const char* FILE_TYPE_STORE_PREFIX = "File_Type_";

class CFileTypeRecovery : public CStoreBackedRecovery {
public:
    CFileTypeRecovery();
    ~CFileTypeRecovery() override;
    CFileTypeRecovery(const CFileTypeRecovery&) = delete;
    CFileTypeRecovery& operator=(const CFileTypeRecovery&) = delete;

    // Fresh scan of sectors [llStartSector, llStartSector + llSectorCount) of disk nDiskNo, or
    // of a whole image file. A new store "File_Type_<start>_<y><m><d><h><mm>" replaces the old.
    // Returns the reader's result, or the store's when only the store failed to open.
    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    // Reopens the store of an earlier scan (pLogName) on an image path or a disk number.
    int InitLogFile(wchar_t* pLogName, wchar_t wcDrive, wchar_t* pPath, int nBytesPerSector,
                    unsigned long long u64EndSector);
    int InitLogFile(wchar_t* pLogName, wchar_t wcDrive, int nDiskNo, int nBytesPerSector,
                    unsigned long long u64EndSector);

    // Keeps the callbacks and hands them to the judge, whose size walks report through them.
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    // The sweep drives carving through ParseFileBuf: nothing to do here.
    int ScanDevice(wchar_t* pLogFile) override;

    // Carved files have no folders: only the root (null parent, level 0) has children.
    int GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                            std::vector<_FILE_NODE_>& vecChildren) override;
    int GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) override;
    int GetFileNodeParentDirPath(_FILE_NODE_* pNode, wchar_t* pPath, int nMaxLen) override;

    // Copies the node's u64FileSize bytes from its head sector on into pTargetPath.
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) override;
    int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) override;
    int BuildBitMapInfo() override;
    // Pictures go to "tmp.<ext>" in the scan-log folder (path copied to pPreviewPath, which
    // must hold 256 characters); everything else to pBuf, at most nBufLen bytes.
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam) override;

    // Offers the sector u64StartSector (pBuf, nLen bytes) to the judge. On a find the file is
    // recorded, u64SectorsUsed says how many sectors the sweep may skip (at least 1) and
    // u64FileCount grows by one. A find never runs over a sector its size walk could not read:
    // it ends before it. Any other answer (87 nothing found, or the progress callback's non-zero
    // answer that stopped the size walk, also kept in GetWalkStopAnswer) is returned with nothing
    // recorded and both counters untouched: a size cut short by a stop is no size.
    int ParseFileBuf(const unsigned char* pBuf, int nLen, unsigned long long u64StartSector,
                     unsigned long long u64ScanSectorCount, unsigned long long u64SectorTotalCount,
                     int nRemainSecond, CDiskReader* pReader, int nBytesPerSector,
                     unsigned long long& u64SectorsUsed, unsigned long long& u64FileCount);

    // The progress callback's non-zero answer that stopped the last ParseFileBuf's size walk, or 0.
    static int GetWalkStopAnswer() { return CFileTypeJudge::m_ErrorCode; }

    // The recovery itself (SaveFileData's work).
    int SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath);

    // Sectors the sweep moves on after a carved file of that type and size.
    static unsigned long long SectorsToSkip(EXTEND_NAME_TYPE nType, unsigned long long u64Size,
                                            int nBytesPerSector);

private:
    wchar_t m_wcDrive = L'\0';
    long long m_llStartSector = 0;
    long long m_llSectorCount = 0;
    int m_nBytesPerSector = 512;
    CDiskReader m_diskReader;
    CFileTypeJudge m_judge;

    SCAN_CALLBACK m_pScanCallBack = nullptr;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nPercent = 0;
};
