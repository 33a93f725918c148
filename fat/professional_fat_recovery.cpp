// CProfessionalFatRecovery: set-up, the engine interface, browsing through the store and file
// data.
#include "fat/professional_fat_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "util/disk_map.h"
#include "util/rsb.h"
#include "util/text.h"

CProfessionalFatRecovery::CProfessionalFatRecovery()
    : m_fileData(*this, m_diskReader, PRO_FAT_BYTES_PER_SECTOR, this, true) {}

CProfessionalFatRecovery::~CProfessionalFatRecovery() {
    if (m_hDevice >= 0) close(m_hDevice);
}

void CProfessionalFatRecovery::ResetDirContexts() {
    m_curDirContext = __FAT_DIR_CONTEXT__();
    m_lastDirContext = __FAT_DIR_CONTEXT__();
}

int CProfessionalFatRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) {
    if (m_hDevice >= 0) return 0;
    if (llStartSector < 0 || llSectorCount < 0) return KR_ERROR_INVALID_PARAMETER;
    m_nDiskNumber = nDiskNo;
    m_u64StartSector = static_cast<uint64_t>(llStartSector);
    m_u64SectorCount = static_cast<uint64_t>(llSectorCount);
    m_wcDrive = wcDrive;
    m_hDevice = rsb_openDisk(nDiskNo);
    if (m_hDevice < 0) return errno;
    // No geometry is known before the boot sector has been read.
    m_dbrList.Clear();
    ResetDirContexts();
    return m_diskReader.Init(nDiskNo, m_u64StartSector + m_u64SectorCount);
}

int CProfessionalFatRecovery::Init(wchar_t* pPath, wchar_t wcDrive) {
    if (m_hDevice >= 0) return 0;
    if (pPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const std::string strPath = Unicode2Path(pPath);
    m_hDevice = open(strPath.c_str(), O_RDONLY);
    if (m_hDevice < 0) return errno;
    const off_t llSize = lseek(m_hDevice, 0, SEEK_END);
    if (llSize < 0) {
        const int nError = errno;
        close(m_hDevice);
        m_hDevice = -1;
        return nError;
    }
    m_wcDrive = wcDrive;
    m_u64StartSector = 0;
    m_u64SectorCount = static_cast<uint64_t>(llSize) / static_cast<uint64_t>(m_nBytesPerSector);
    m_dbrList.Clear();
    ResetDirContexts();
    return m_diskReader.Init(pPath, m_u64SectorCount);
}

int CProfessionalFatRecovery::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                                           void* pParam, int nPercent) {
    m_pScanCallBack = pScanCallBack;
    m_pRecoveryCallBack = pRecoveryCallBack;
    m_pCallBackParam = pParam;
    m_nCallBackFlag = nPercent;
    m_fileData.SetRecoveryCallBack(pRecoveryCallBack, pParam);
    return 0;
}

int CProfessionalFatRecovery::ScanDevice(wchar_t* /*pLogFile*/) {
    return 0;
}

void CProfessionalFatRecovery::ClearProfessionalVec(wchar_t* pLogPath) {
    m_dbrList.Clear();
    m_vecNoDbrFile.clear();
    m_nNoDbrCheckedRecords = 0;
    m_nNoDbrCheckedGeometries = 0;
    m_vecLongFileInfo.clear();
    m_mapUnDealFile.clear();
    m_mapDirInfo.clear();
    m_mapDirChain.clear();
    ForgetLastFolderChain();
    ResetDirContexts();
    OpenStore(pLogPath, "Pro_Fat_", m_u64StartSector);
    m_undealtSpill.SetPlace(m_pScanResult ? m_pScanResult->GetNodeFilePath() : std::string());
}

int CProfessionalFatRecovery::GetUnUsedSectorCount(unsigned long long& /*u64StartSector*/,
                                                   unsigned long long& /*u64SectorCount*/) {
    return 0;
}

int CProfessionalFatRecovery::BuildBitMapInfo() {
    return 0;
}

int CProfessionalFatRecovery::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    return m_fileData.SaveFileData(pNode, pTargetPath, nBaseLevel);
}

int CProfessionalFatRecovery::SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath) {
    return m_fileData.SaveDataToTargetFile(pNode, pTargetPath);
}

int CProfessionalFatRecovery::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                                      PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    return m_fileData.PreView(pNode, pPreviewPath, pBuf, nBufLen, pPreViewCallBack, pParam);
}

int CProfessionalFatRecovery::IsFileDataHealth(_FILE_NODE_* pNode, uint32_t u32SectorsPerCluster) {
    return m_fileData.IsFileDataHealth(pNode, u32SectorsPerCluster);
}
