// Judging one head sector: the context the size rules run in, and the carve decision.
#include <cstdio>

#include "carving/file_type_judge.h"
#include "carving/type_table.h"

int CFileTypeJudge::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                                 void* pParam, int nPercent) {
    m_progressFunc = pScanCallBack;
    m_pRecoveryFunc = pRecoveryCallBack;
    m_pParam = pParam;
    m_nPercent = nPercent;
    return 0;
}

int CFileTypeJudge::ParseFileBuf(const unsigned char* pBuf, int nLen, unsigned long long u64StartSector,
                                 unsigned long long u64ScanSectorCount,
                                 unsigned long long u64SectorTotalCount, int nRemainSecond,
                                 unsigned long long u64FileCount, CDiskReader* pReader,
                                 int nBytesPerSector, char* szName, int nNameLen,
                                 EXTEND_NAME_TYPE& nType, unsigned long long& u64Size) {
    if (pBuf == nullptr || nLen <= 0 || szName == nullptr || nNameLen <= 0) return KR_ERROR_INVALID_PARAMETER;
    if (nBytesPerSector <= 0 || nBytesPerSector > FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR)
        return KR_ERROR_INVALID_PARAMETER;

    m_nBytesPerSector = nBytesPerSector;
    m_u64StartSector = u64StartSector;
    m_u64CurrentSector = u64StartSector;
    m_pDiskReader = pReader;
    m_u64ScanSectorCount = u64ScanSectorCount;
    m_u64SectorTotalCount = u64SectorTotalCount;
    m_nRemaidSecond = nRemainSecond;
    m_u64FileCount = u64FileCount;

    EXTEND_NAME_TYPE nDetected = GetDataBufType(pBuf, nLen);
    // A head's own detection judged it with the range check on; the end searches of its size
    // walk run with the flags set below.
    m_bIsNeedCheckTsFileRange = 1;
    m_bIsMtsFileHead = 0;

    const _EXTEND_NAME_AND_TYPE_* pRow = FindFirstRowOfType(nDetected);
    if (pRow == nullptr || pRow->pfnGetFileBytesSize == nullptr) return KR_ERROR_INVALID_PARAMETER;

    // Only a stream being sized rejects its own packets; an MTS file keeps its recurring tables.
    if (nDetected != EXT_TS) m_bIsNeedCheckTsFileRange = 0;
    if (nDetected == EXT_MTS) m_bIsMtsFileHead = 1;

    snprintf(szName, static_cast<size_t>(nNameLen), "%lld.%s", static_cast<long long>(u64StartSector),
             pRow->szExtendName);
    nType = nDetected;

    m_ErrorCode = 0;
    u64Size = pRow->pfnGetFileBytesSize(pBuf, nLen);
    // A rule with no usable answer still leaves the head sector.
    if (u64Size == SIZE_RULE_UNKNOWN) u64Size = static_cast<unsigned long long>(nBytesPerSector);
    return m_ErrorCode == KR_STOPPED_BY_USER ? KR_STOPPED_BY_USER : KR_SUCCESS;
}
