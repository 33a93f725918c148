#pragma once
// Engine for ext volumes. It recovers nothing by itself: it only holds the device open so the
// deep scan can sweep the area, and reports no files and no free-space map.
#include "device/disk_reader.h"
#include "engine/recovery_parse.h"

class CFastExtRecovery : public IFileRecoveryParse {
public:
    CFastExtRecovery() = default;
    ~CFastExtRecovery() override = default;

    int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) override;
    int Init(wchar_t* pPath, wchar_t wcDrive) override;
    int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                     int nPercent) override;
    int ScanDevice(wchar_t* pLogFile) override;
    int GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                            std::vector<_FILE_NODE_>& vecChildren) override;
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

    long long GetStartSector() const { return m_llStartSector; }
    long long GetSectorCount() const { return m_llSectorCount; }

private:
    CDiskReader m_DiskReader;
    long long m_llStartSector = 0;
    long long m_llSectorCount = 0;
};
