// The carving engine: set-up, carving during the sweep, and browsing the carved files.
#include "carving/file_type_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "carving/forward_walk.h"
#include "engine/scan_result_file_manager.h"
#include "util/rsb.h"
#include "util/text.h"

namespace {

// Sectors of the image file at szPath (whole sectors), through lseek so devices work too.
int ImageSectorCount(wchar_t* pPath, int nBytesPerSector, unsigned long long& u64Sectors) {
    if (pPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    int hFile = open(Unicode2Path(pPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return errno;
    off_t llSize = lseek(hFile, 0, SEEK_END);
    int nError = llSize < 0 ? errno : 0;
    close(hFile);
    if (nError != 0) return nError;
    u64Sectors = static_cast<unsigned long long>(llSize) / static_cast<unsigned long long>(nBytesPerSector);
    return KR_SUCCESS;
}

// Types whose size comes from a header field or a rule that is often wrong: the sweep keeps
// going inside them, so files embedded in them are still found.
bool SweepStaysInside(EXTEND_NAME_TYPE nType) {
    switch (nType) {
    case EXT_DOC: case EXT_OLE: case EXT_XLS: case EXT_PPT: case EXT_WAV: case EXT_AVI:
    case EXT_ASF: case EXT_SWF: case EXT_BMP: case EXT_CAB: case EXT_TTF: case EXT_ICO:
        return true;
    default:
        return false;
    }
}

}  // namespace

CFileTypeRecovery::CFileTypeRecovery() = default;
CFileTypeRecovery::~CFileTypeRecovery() = default;

int CFileTypeRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) {
    if (llStartSector < 0 || llSectorCount < 0 || llSectorCount > LLONG_MAX - llStartSector)
        return KR_ERROR_INVALID_PARAMETER;
    m_wcDrive = wcDrive;
    m_llStartSector = llStartSector;
    m_llSectorCount = llSectorCount;
    int nStore = OpenStore(nullptr, FILE_TYPE_STORE_PREFIX, static_cast<unsigned long long>(llStartSector));
    int nReader = m_diskReader.Init(nDiskNo, static_cast<unsigned long long>(llStartSector + llSectorCount));
    // A scan whose finds cannot be kept is no more ready than one that cannot read.
    return nReader != KR_SUCCESS ? nReader : nStore;
}

int CFileTypeRecovery::Init(wchar_t* pPath, wchar_t wcDrive) {
    unsigned long long u64Sectors = 0;
    int nSize = ImageSectorCount(pPath, m_nBytesPerSector, u64Sectors);
    if (nSize != KR_SUCCESS) return nSize;
    m_wcDrive = wcDrive;
    m_llStartSector = 0;
    m_llSectorCount = static_cast<long long>(u64Sectors);
    int nStore = OpenStore(nullptr, FILE_TYPE_STORE_PREFIX, 0);
    int nReader = m_diskReader.Init(pPath, u64Sectors);
    return nReader != KR_SUCCESS ? nReader : nStore;
}

int CFileTypeRecovery::InitLogFile(wchar_t* pLogName, wchar_t wcDrive, wchar_t* pPath, int nBytesPerSector,
                                   unsigned long long u64EndSector) {
    if (nBytesPerSector <= 0 || nBytesPerSector > FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR)
        return KR_ERROR_INVALID_PARAMETER;
    m_wcDrive = wcDrive;
    m_nBytesPerSector = nBytesPerSector;
    int nReader = m_diskReader.Init(pPath, u64EndSector);
    OpenStore(pLogName, FILE_TYPE_STORE_PREFIX, 0);
    return nReader;
}

int CFileTypeRecovery::InitLogFile(wchar_t* pLogName, wchar_t wcDrive, int nDiskNo, int nBytesPerSector,
                                   unsigned long long u64EndSector) {
    if (nBytesPerSector <= 0 || nBytesPerSector > FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR)
        return KR_ERROR_INVALID_PARAMETER;
    m_wcDrive = wcDrive;
    m_nBytesPerSector = nBytesPerSector;
    int nReader = m_diskReader.Init(nDiskNo, u64EndSector);
    OpenStore(pLogName, FILE_TYPE_STORE_PREFIX, 0);
    return nReader;
}

int CFileTypeRecovery::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                                    void* pParam, int nPercent) {
    m_pScanCallBack = pScanCallBack;
    m_pRecoveryCallBack = pRecoveryCallBack;
    m_pCallBackParam = pParam;
    m_nPercent = nPercent;
    return CFileTypeJudge::InitCallBack(pScanCallBack, pRecoveryCallBack, pParam, nPercent);
}

int CFileTypeRecovery::ScanDevice(wchar_t*) {
    return 0;
}

unsigned long long CFileTypeRecovery::SectorsToSkip(EXTEND_NAME_TYPE nType, unsigned long long u64Size,
                                                     int nBytesPerSector) {
    if (SweepStaysInside(nType) || nBytesPerSector <= 0) return 1;
    const unsigned long long u64Sector = static_cast<unsigned long long>(nBytesPerSector);
    unsigned long long u64Sectors = u64Size / u64Sector + (u64Size % u64Sector != 0 ? 1 : 0);
    // The head sector is always used, whatever a rule answered.
    return u64Sectors == 0 ? 1 : u64Sectors;
}

int CFileTypeRecovery::ParseFileBuf(const unsigned char* pBuf, int nLen, unsigned long long u64StartSector,
                                    unsigned long long u64ScanSectorCount,
                                    unsigned long long u64SectorTotalCount, int nRemainSecond,
                                    CDiskReader* pReader, int nBytesPerSector,
                                    unsigned long long& u64SectorsUsed, unsigned long long& u64FileCount) {
    m_nBytesPerSector = nBytesPerSector;
    // Called for nearly every swept sector: the name buffer is only filled when a file is found.
    char szName[sizeof(_FILE_NODE_::szFileName)];
    szName[0] = '\0';
    EXTEND_NAME_TYPE nType = EXT_UNKNOWN;
    unsigned long long u64Size = 0;
    // A stop answer of an earlier walk must not be taken for one of this judgement.
    CFileTypeJudge::m_ErrorCode = 0;
    ForgetWalkUnreadable();
    int nRet = CFileTypeJudge::ParseFileBuf(pBuf, nLen, u64StartSector, u64ScanSectorCount,
                                            u64SectorTotalCount, nRemainSecond, u64FileCount, pReader,
                                            nBytesPerSector, szName, sizeof(szName), nType, u64Size);
    // Whatever the callback answered other than 0 stopped the walk where it was.
    if (GetWalkStopAnswer() != 0) return GetWalkStopAnswer();
    if (nRet != KR_SUCCESS) return nRet;
    // A walk that met a sector it could not read (a structure record that lies in it, say) may
    // have answered an end beyond it: the file ends before that sector, its head always stays.
    const unsigned long long u64Unreadable = GetWalkUnreadableSector();
    if (u64Unreadable != UINT64_MAX && u64Unreadable >= u64StartSector) {
        const unsigned long long u64Before = std::max(u64Unreadable - u64StartSector, 1ULL) *
                                             static_cast<unsigned long long>(nBytesPerSector);
        if (u64Size > u64Before) u64Size = u64Before;
    }

    // A find that cannot be kept is not a find: the sweep goes on sector by sector.
    unsigned char* pSlot = m_pScanResult ? m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_)) : nullptr;
    if (pSlot == nullptr) return KR_ERROR_INVALID_PARAMETER;

    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    node.wcDrive = m_wcDrive;
    node.nSourceType = FILE_SOURCE_CARVING;
    node.bIsDir = 0;
    node.bIsHealth = 1;
    node.nFileIndex = m_pScanResult->GetFileIndex();
    node.nDirIndex = 0;
    node.nClusterSize = CARVED_CLUSTER_SIZE;
    node.u64FileSize = u64Size;
    node.u64RecordSector = u64StartSector;
    // The rest of the name field stays zero, like every other unused byte of the record.
    memcpy(node.szFileName, szName, strnlen(szName, sizeof(node.szFileName) - 1));
    memcpy(pSlot, &node, sizeof(node));
    m_pScanResult->AddChildren(0, 0, node.nFileIndex, 0, nullptr);

    u64SectorsUsed = SectorsToSkip(nType, u64Size, nBytesPerSector);
    ++u64FileCount;
    return KR_SUCCESS;
}

int CFileTypeRecovery::GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                                           std::vector<_FILE_NODE_>& vecChildren) {
    if (!m_pScanResult) return 0;
    m_pScanResult->FlushBufToFile();
    if (pParent != nullptr || nLevel != 0) return 0;
    return m_pScanResult->GetChildrenFileNode(nullptr, 0, 0, vecChildren);
}

int CFileTypeRecovery::GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) {
    if (!m_pScanResult) return 0;
    m_pScanResult->FlushBufToFile();
    if (pParent != nullptr || nLevel != 0) return 0;
    return m_pScanResult->GetChildrenFileCount(nullptr, 0, 0, nCount);
}

int CFileTypeRecovery::GetFileNodeParentDirPath(_FILE_NODE_*, wchar_t*, int) {
    return 0;
}

int CFileTypeRecovery::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int) {
    return SaveDataToTargetFile(pNode, pTargetPath);
}

int CFileTypeRecovery::GetUnUsedSectorCount(unsigned long long&, unsigned long long&) {
    return 0;
}

int CFileTypeRecovery::BuildBitMapInfo() {
    return 0;
}
