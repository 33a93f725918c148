#pragma once
// The interface every recovery engine implements, with its progress callbacks.
#include <vector>

#include "engine/file_node.h"
#include "engine/result_codes.h"

// Callbacks answer 0 to go on and anything else to stop; pParam is handed back unchanged.
typedef int (*SCAN_CALLBACK)(void* pParam, int nProgress, int nPercent, int nRemaindSecond,
                             unsigned long long u64CurSector, unsigned long long u64SectorCount,
                             unsigned long long u64FindFileCount, wchar_t* pRecoveryFileName);
typedef int (*RECOVERY_CALLBACK)(void* pParam, int nProgress, int nPercent, int nErrorCode,
                                 wchar_t* pRecoveryFileName);
typedef int (*SEARCH_CALLBACK)(void* pParam, int nProgress, wchar_t* pRecoveryFileName);
typedef int (*PREVIEW_CALLBACK)(void* pParam, int nProgress, int nRet);

// The engine kind asked of the factory: 0 fast, anything else professional.
typedef int RECOVERY_TYPE;
constexpr RECOVERY_TYPE RECOVERY_TYPE_FAST = 0;
constexpr RECOVERY_TYPE RECOVERY_TYPE_PROFESSIONAL = 1;

// Operations in their fixed slot order; engines override every one.
class IFileRecoveryParse {
public:
    virtual int Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) = 0;
    virtual int Init(wchar_t* pPath, wchar_t wcDrive) = 0;
    virtual int InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                             void* pParam, int nPercent) = 0;
    virtual int ScanDevice(wchar_t* pLogFile) = 0;
    virtual int GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                                    std::vector<_FILE_NODE_>& vecChildren) = 0;
    virtual int GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) = 0;
    virtual unsigned long long GetLostFileCount() = 0;
    virtual int GetFileNodeParentDirPath(_FILE_NODE_* pNode, wchar_t* pPath, int nMaxLen) = 0;
    virtual int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) = 0;
    virtual int GetUnUsedSectorCount(unsigned long long& u64StartSector, unsigned long long& u64SectorCount) = 0;
    virtual int InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam) = 0;
    virtual int SearchFileNode(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult) = 0;
    virtual int BuildBitMapInfo() = 0;
    virtual int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                        PREVIEW_CALLBACK pPreViewCallBack, void* pParam) = 0;
    virtual ~IFileRecoveryParse() = default;
};
