#include "ntfs/fast_ntfs_recovery.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include "device/volume_tests.h"
#include "ntfs/ntfs_record_tests.h"
#include "ntfs/ntfs_records.h"
#include "util/le.h"
#include "util/rsb.h"

namespace {
// The only sector size this engine (like the deep one) reads records with.
const int kSectorBytes = 512;
const int kRecordBytes = 1024;
}  // namespace

CFastNtfsRecovery::CFastNtfsRecovery() : m_fileData(*this, m_diskReader, kSectorBytes) {
    m_ntfsParse.Init(kSectorBytes);
}

CFastNtfsRecovery::~CFastNtfsRecovery() = default;

int CFastNtfsRecovery::LoadVolume() {
    m_bHasVolume = false;
    m_vecMftRunList.clear();
    m_bitmap.Clear();
    unsigned char abBoot[kSectorBytes];
    const int nResult =
        m_diskReader.ReadData(abBoot, 1, static_cast<long long>(m_u64StartSector), kSectorBytes, nullptr);
    if (nResult != 0) return nResult;
    if (!IsNtfs(abBoot)) return KR_ERROR_INVALID_PARAMETER;
    const uint16_t u16BytesPerSector = ReadLe16(abBoot + offsetof(NTFS_BOOT_SECTOR, u16BytesPerSector));
    const uint8_t u8SectorsPerCluster = abBoot[offsetof(NTFS_BOOT_SECTOR, u8SectorsPerCluster)];
    const uint64_t u64MftCluster = ReadLe64(abBoot + offsetof(NTFS_BOOT_SECTOR, u64MftCluster));
    if ((u16BytesPerSector != 0 && u16BytesPerSector != kSectorBytes) ||
        !IsUsableNtfsSectorsPerCluster(u8SectorsPerCluster) || u64MftCluster >= m_u64SectorCount / u8SectorsPerCluster)
        return KR_ERROR_INVALID_PARAMETER;

    m_nBytesPerSector = kSectorBytes;
    m_nRecordSize = kRecordBytes;
    m_nSectorsPerRecord = kRecordBytes / kSectorBytes;
    m_nSectorsPerCluster = u8SectorsPerCluster;
    m_nBufferSize = m_nRecordSize * 1024;
    m_u64MftStartSector = u64MftCluster * u8SectorsPerCluster + m_u64StartSector;
    std::vector<__RUNLIST__> vecRuns;
    const int nRuns = GetRunListInfo(static_cast<long long>(m_u64MftStartSector), NTFS_ATTR_DATA, vecRuns);
    if (nRuns != 0) return nRuns;
    if (vecRuns.empty()) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    m_vecMftRunList.swap(vecRuns);
    m_bHasVolume = true;
    return 0;
}

int CFastNtfsRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) {
    m_bHasVolume = false;
    m_bitmap.Clear();
    if (llStartSector < 0 || llSectorCount < 0) return KR_ERROR_INVALID_PARAMETER;
    m_u64StartSector = static_cast<unsigned long long>(llStartSector);
    m_u64SectorCount = static_cast<unsigned long long>(llSectorCount);
    m_wcDrive = wcDrive;
    const int nResult = m_diskReader.Init(nDiskNo, m_u64StartSector + m_u64SectorCount);
    if (nResult != 0) return nResult;
    return LoadVolume();
}

int CFastNtfsRecovery::Init(wchar_t* pPath, wchar_t wcDrive) {
    m_bHasVolume = false;
    m_bitmap.Clear();
    if (pPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    // Opened without a limit first: the image's size sets it.
    int nResult = m_diskReader.Init(pPath, UINT64_MAX);
    if (nResult != 0) return nResult;
    int nLow = 0;
    int nHigh = 0;
    if (rsb_getFileSizeH(m_diskReader.GetHandle(), &nLow, &nHigh) != 0) return errno != 0 ? errno : EIO;
    const unsigned long long u64Size =
        (static_cast<unsigned long long>(static_cast<uint32_t>(nHigh)) << 32) | static_cast<uint32_t>(nLow);
    m_u64StartSector = 0;
    m_u64SectorCount = u64Size / kSectorBytes;
    m_wcDrive = wcDrive;
    nResult = m_diskReader.Init(pPath, m_u64SectorCount);
    if (nResult != 0) return nResult;
    return LoadVolume();
}

int CFastNtfsRecovery::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                                    int nPercent) {
    m_pScanCallBack = pScanCallBack;
    m_pRecoveryCallBack = pRecoveryCallBack;
    m_pCallBackParam = pParam;
    m_nCallBackFlag = nPercent;
    m_fileData.SetRecoveryCallBack(pRecoveryCallBack, pParam);
    return 0;
}

// --- browsing through the store -------------------------------------------------------------

// --- file data --------------------------------------------------------------------------------

int CFastNtfsRecovery::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    return m_fileData.SaveFileData(pNode, pTargetPath, nBaseLevel);
}

int CFastNtfsRecovery::SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath) {
    return m_fileData.SaveDataToTargetFile(pNode, pTargetPath);
}

int CFastNtfsRecovery::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                               PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    return m_fileData.PreView(pNode, pPreviewPath, pBuf, nBufLen, pPreViewCallBack, pParam);
}

int CFastNtfsRecovery::IsFileDataHealth(_FILE_NODE_* pNode, unsigned int) { return m_fileData.IsFileDataHealth(pNode); }

int CFastNtfsRecovery::ReadNodeResidentData(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    return GetAttr0x80Data(static_cast<long long>(pNode->u64RecordSector), pOut, nLength);
}

int CFastNtfsRecovery::ReadNodeDataRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    return GetRunListInfo(static_cast<long long>(pNode->u64RecordSector), NTFS_ATTR_DATA, vecRuns);
}

int CFastNtfsRecovery::ReadNodeHealthRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) {
    return ReadNodeDataRunList(pNode, vecRuns);
}

int CFastNtfsRecovery::ListNodeChildren(_FILE_NODE_* pParent, unsigned int nLevel,
                                        std::vector<_FILE_NODE_>& vecChildren) {
    return GetChildrenFileNode(pParent, nLevel, vecChildren);
}
