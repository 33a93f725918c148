// The shared judge context and the life of the shared read buffer.
#include <climits>
#include <cstring>
#include <new>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"

int CFileTypeJudge::m_nBytesPerSector = 512;
CDiskReader* CFileTypeJudge::m_pDiskReader = nullptr;
unsigned long long CFileTypeJudge::m_u64StartSector = 0;
unsigned long long CFileTypeJudge::m_u64CurrentSector = 0;
int CFileTypeJudge::m_bIsNeedCheckTsFileRange = 1;
int CFileTypeJudge::m_bIsMtsFileHead = 0;
std::vector<_TS_FILE_RANGE_> CFileTypeJudge::m_tsFileRangeVec;
CFileTypeJudge::PFN_DIRECTORY_SECTOR_TEST CFileTypeJudge::m_pfnDirectorySectorTest = nullptr;

unsigned long long CFileTypeJudge::m_u64ScanSectorCount = 0;
unsigned long long CFileTypeJudge::m_u64SectorTotalCount = 0;
int CFileTypeJudge::m_nRemaidSecond = 0;
unsigned long long CFileTypeJudge::m_u64FileCount = 0;
SCAN_CALLBACK CFileTypeJudge::m_progressFunc = nullptr;
RECOVERY_CALLBACK CFileTypeJudge::m_pRecoveryFunc = nullptr;
void* CFileTypeJudge::m_pParam = nullptr;
int CFileTypeJudge::m_nPercent = 0;
unsigned char* CFileTypeJudge::m_pReadBuf = nullptr;
int CFileTypeJudge::m_ErrorCode = 0;

int CFileTypeJudge::sm_nInstanceCount = 0;

CFileTypeJudge::CFileTypeJudge() {
    // A failed allocation leaves the buffer null; the size walks must check it, and the next
    // object tries again.
    ++sm_nInstanceCount;
    if (m_pReadBuf == nullptr)
        m_pReadBuf = new (std::nothrow) unsigned char[FILE_TYPE_JUDGE_READ_BUF_BYTES]();
}

// A copy is one more owner of the buffer, exactly like a fresh object.
CFileTypeJudge::CFileTypeJudge(const CFileTypeJudge&) : CFileTypeJudge() {}

CFileTypeJudge::~CFileTypeJudge() {
    if (--sm_nInstanceCount == 0) {
        delete[] m_pReadBuf;
        m_pReadBuf = nullptr;
    }
}

int CFileTypeJudge::GetInstanceCount() {
    return sm_nInstanceCount;
}

bool CFileTypeJudge::ReadContextSectors(unsigned char* pBuf, int nBufBytes,
                                        unsigned long long u64Sector, int nSectorCount) {
    if (m_pDiskReader == nullptr || pBuf == nullptr || nSectorCount <= 0) return false;
    if (m_nBytesPerSector <= 0 || m_nBytesPerSector > FILE_TYPE_JUDGE_MAX_BYTES_PER_SECTOR)
        return false;
    if (static_cast<long long>(nSectorCount) * m_nBytesPerSector > nBufBytes) return false;
    if (u64Sector > static_cast<unsigned long long>(LLONG_MAX)) return false;
    unsigned int nRead = 0;
    int nRet = m_pDiskReader->ReadData(pBuf, nSectorCount, static_cast<long long>(u64Sector),
                                       m_nBytesPerSector, &nRead);
    return nRet == KR_SUCCESS && nRead == static_cast<unsigned int>(nSectorCount);
}
