// CFastFatRecovery: set-up, the engine interface, browsing through the store and file data.
#include "fat/fast_fat_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "util/rsb.h"
#include "util/text.h"

CFastFatRecovery::CFastFatRecovery() : m_fileData(*this, m_diskReader, FAST_FAT_DEVICE_SECTOR, this, false) {}

int CFastFatRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) {
    if (m_diskReader.GetHandle() >= 0) return 0;
    if (llStartSector < 0 || llSectorCount < 0) return KR_ERROR_INVALID_PARAMETER;
    m_u64StartSector = static_cast<uint64_t>(llStartSector);
    m_u64SectorCount = static_cast<uint64_t>(llSectorCount);
    m_wcDrive = wcDrive;
    const int nError = m_diskReader.Init(nDiskNo, m_u64StartSector + m_u64SectorCount);
    if (nError != 0) return nError;
    return LoadGeometry();
}

int CFastFatRecovery::Init(wchar_t* pPath, wchar_t wcDrive) {
    if (m_diskReader.GetHandle() >= 0) return 0;
    if (pPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const int hFile = open(Unicode2Path(pPath).c_str(), O_RDONLY);
    if (hFile < 0) return errno;
    const off_t llSize = lseek(hFile, 0, SEEK_END);
    const int nSizeError = errno;
    close(hFile);
    if (llSize < 0) return nSizeError;
    m_u64StartSector = 0;
    m_u64SectorCount = static_cast<uint64_t>(llSize) / FAST_FAT_DEVICE_SECTOR;
    m_wcDrive = wcDrive;
    const int nError = m_diskReader.Init(pPath, m_u64SectorCount);
    if (nError != 0) return nError;
    return LoadGeometry();
}

int CFastFatRecovery::LoadGeometry() {
    m_geometry = __FAST_FAT_GEOMETRY__();
    m_dwRootClusterNO = 0;
    m_nFatType = 1;
    m_bitmap.Clear();
    m_tableWindow.Reset(nullptr, m_geometry, 0);
    unsigned int nRead = 0;
    int nError = m_diskReader.ReadData(m_abBootSector, 1, static_cast<long long>(m_u64StartSector),
                                       FAST_FAT_DEVICE_SECTOR, &nRead);
    if (nError == 0 && nRead != 1) nError = KR_ERROR_READ_FAULT;
    if (nError != 0) return nError;
    __FAST_FAT_GEOMETRY__ geometry;
    if (!ReadFastFatGeometry(m_abBootSector, geometry)) return KR_ERROR_INVALID_PARAMETER;
    m_tableWindow.Reset(&m_diskReader, geometry, m_u64StartSector);
    nError = m_tableWindow.Load(0);
    if (nError != 0) {
        m_tableWindow.Reset(nullptr, m_geometry, 0);
        return nError;
    }
    m_geometry = geometry;
    m_dwRootClusterNO = geometry.dwRootCluster;
    m_nFatType = geometry.dwFatBits == 32 ? 1 : 0;
    return 0;
}

int CFastFatRecovery::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack, void* pParam,
                                   int nPercent) {
    m_pScanCallBack = pScanCallBack;
    m_pRecoveryCallBack = pRecoveryCallBack;
    m_pCallBackParam = pParam;
    m_nCallBackFlag = nPercent;
    m_fileData.SetRecoveryCallBack(pRecoveryCallBack, pParam);
    return 0;
}

int CFastFatRecovery::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    return m_fileData.SaveFileData(pNode, pTargetPath, nBaseLevel);
}

int CFastFatRecovery::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                              PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    return m_fileData.PreView(pNode, pPreviewPath, pBuf, nBufLen, pPreViewCallBack, pParam);
}

int CFastFatRecovery::IsFileDataHealth(_FILE_NODE_* pNode, uint32_t u32SectorsPerCluster) {
    return m_fileData.IsFileDataHealth(pNode, u32SectorsPerCluster);
}

int CFastFatRecovery::GetDeviceFileSystemType(char* /*szUnused*/) const { return m_nFatType; }
