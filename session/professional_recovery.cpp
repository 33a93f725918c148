#include "session/professional_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "carving/file_type_judge.h"
#include "device/partition_manager.h"
#include "device/sweep_prefetcher.h"
#include "engine/log_file_manager.h"
#include "engine/node_order.h"
#include "fat/fat_record_tests.h"
#include "ntfs/ntfs_record_tests.h"
#include "session/recovery_factory.h"
#include "util/debug_log.h"
#include "util/disk_map.h"
#include "util/fault_guard.h"
#include "util/rsb.h"
#include "util/text.h"

namespace {
// Remaining-time estimates are refreshed at most this often.
constexpr unsigned long long ESTIMATE_INTERVAL_MS = 4999;
// An NTFS record that runs past the chunk is read again from the device in one piece this big.
constexpr int STRADDLING_RECORD_READ_BYTES = 8192;

std::wstring LogFileName(const char* szFolder, const char* szPrefix) {
    char szName[LOG_FILE_PATH_SIZE] = {0};
    CLogFileManager::GetInstance().GetLogFileNameByFileType(szFolder, szPrefix, szName);
    return Path2Unicode(szName);
}
}  // namespace

CProfessionalRecovery::CProfessionalRecovery() {
    memset(&m_logFileInfo, 0, sizeof(m_logFileInfo));
    // Carved files end where a FAT directory begins; carving itself cannot tell one.
    CFileTypeJudge::SetDirectorySectorTest(&IsFatDirectorySector);
}

CProfessionalRecovery::~CProfessionalRecovery() {
    if (m_hDisk >= 0) close(m_hDisk);
    m_hDisk = -1;
    delete m_pFastRecovery;
    m_pFastRecovery = nullptr;
}

std::string CProfessionalRecovery::DeviceNodePath() const {
    std::string strPath;
    rsb_getDiskPath(m_nDiskNo, strPath);
    return strPath;
}

int CProfessionalRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) {
    m_nDiskNo = nDiskNo;
    m_llStartSector = llStartSector;
    m_llSectorCount = llSectorCount;
    m_wcDrive = wcDrive;
    m_strImagePath.clear();
    if (m_hDisk >= 0) close(m_hDisk);
    m_hDisk = rsb_openDisk(nDiskNo);
    m_diskReader.Init(nDiskNo, static_cast<unsigned long long>(llStartSector + llSectorCount));

    memset(&m_logFileInfo, 0, sizeof(m_logFileInfo));
    m_bLoadLogFile = CLogFileManager::GetInstance().LoadRecoveryLogInfo(
        nullptr, nDiskNo, static_cast<unsigned long long>(llStartSector),
        static_cast<unsigned long long>(llSectorCount), &m_logFileInfo);

    m_proFatRecovery.Init(nDiskNo, llStartSector, llSectorCount, wcDrive);
    int nRet = m_proNtfsRecovery.Init(nDiskNo, llStartSector, llSectorCount, wcDrive);
    delete m_pFastRecovery;
    m_pFastRecovery = CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(
        nDiskNo, llStartSector, llSectorCount, wcDrive, RECOVERY_TYPE_FAST);
    return nRet;
}

int CProfessionalRecovery::Init(wchar_t* pPath, wchar_t wcDrive) {
    if (pPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    m_wcDrive = wcDrive;
    std::string strPath = Unicode2Path(pPath);
    if (m_hDisk >= 0) close(m_hDisk);
    m_hDisk = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_hDisk < 0) return errno;
    int nLow = 0, nHigh = 0;
    if (rsb_getFileSizeH(m_hDisk, &nLow, &nHigh) != 0) return errno != 0 ? errno : EIO;
    unsigned long long u64Size = (static_cast<unsigned long long>(static_cast<unsigned int>(nHigh)) << 32) |
                                 static_cast<unsigned int>(nLow);
    m_nDiskNo = PRO_IMAGE_DISK_NO;
    m_llStartSector = 0;
    m_llSectorCount = static_cast<long long>(u64Size / static_cast<unsigned long long>(m_nBytesPerSector));
    m_strImagePath = strPath;
    m_diskReader.Init(pPath, static_cast<unsigned long long>(m_llSectorCount));
    m_bLoadLogFile = 0;
    memset(&m_logFileInfo, 0, sizeof(m_logFileInfo));

    m_proFatRecovery.Init(pPath, wcDrive);
    int nRet = m_proNtfsRecovery.Init(pPath, wcDrive);
    delete m_pFastRecovery;
    m_pFastRecovery = CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(pPath, wcDrive, RECOVERY_TYPE_FAST);
    return nRet;
}

int CProfessionalRecovery::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                                        void* pParam, int) {
    m_pScanCallBack = pScanCallBack;
    m_pRecoveryCallBack = pRecoveryCallBack;
    m_pCallBackParam = pParam;
    m_nCallBackFlag = PRO_SWEEP_PERCENT;
    if (m_pFastRecovery != nullptr)
        m_pFastRecovery->InitCallBack(pScanCallBack, pRecoveryCallBack, pParam, PRO_FAST_PASS_PERCENT);
    m_proFatRecovery.InitCallBack(pScanCallBack, pRecoveryCallBack, pParam, PRO_SWEEP_PERCENT);
    m_proNtfsRecovery.InitCallBack(pScanCallBack, pRecoveryCallBack, pParam, PRO_SWEEP_PERCENT);
    m_fileTypeRecovery.InitCallBack(pScanCallBack, pRecoveryCallBack, pParam, PRO_SWEEP_PERCENT);
    return KR_SUCCESS;
}

void CProfessionalRecovery::SetNotLoadLogFile() {
    m_bLoadLogFile = 0;
    if (m_logFileInfo.szLogDirPath[0] != '\0')
        CLogFileManager::GetInstance().DeleteLogFileDir(m_logFileInfo.szLogDirPath);
}

void CProfessionalRecovery::PrepareSweepEngines() {
    if (!m_bLoadLogFile) {
        if (m_strImagePath.empty()) {
            m_fileTypeRecovery.Init(m_nDiskNo, m_llStartSector, m_llSectorCount, m_wcDrive);
        } else {
            std::wstring wstrPath = Path2Unicode(m_strImagePath.c_str());
            m_fileTypeRecovery.Init(&wstrPath[0], m_wcDrive);
        }
        m_proFatRecovery.ClearProfessionalVec(nullptr);
        m_proNtfsRecovery.InitProfessionalScan(nullptr);
        return;
    }
    const char* szFolder = m_logFileInfo.szLogDirPath;
    std::wstring wstrCarving = LogFileName(szFolder, "File_Type_");
    std::wstring wstrFat = LogFileName(szFolder, "Pro_Fat_");
    std::wstring wstrNtfs = LogFileName(szFolder, "Pro_Ntfs_");
    unsigned long long u64End = static_cast<unsigned long long>(m_llStartSector + m_llSectorCount);
    if (m_strImagePath.empty()) {
        m_fileTypeRecovery.InitLogFile(&wstrCarving[0], m_wcDrive, m_nDiskNo, m_nBytesPerSector, u64End);
    } else {
        std::wstring wstrPath = Path2Unicode(m_strImagePath.c_str());
        m_fileTypeRecovery.InitLogFile(&wstrCarving[0], m_wcDrive, &wstrPath[0], m_nBytesPerSector, u64End);
    }
    m_proFatRecovery.ClearProfessionalVec(&wstrFat[0]);
    m_proNtfsRecovery.InitProfessionalScan(&wstrNtfs[0]);
    LoadUnreadableRanges(szFolder);
}

void CProfessionalRecovery::SeedPartitionVolumes() {
    if (m_hDisk < 0) return;
    std::vector<_PARTITION_ITEM_> vecItems;
    CPartitionManager partitions;
    partitions.GetDiskPartitionItems(m_hDisk, m_nDiskNo, m_strImagePath.c_str(), vecItems);
    const unsigned long long u64AreaStart = static_cast<unsigned long long>(m_llStartSector);
    const unsigned long long u64AreaEnd = u64AreaStart + static_cast<unsigned long long>(m_llSectorCount);
    for (const _PARTITION_ITEM_& item : vecItems) {
        // The area's own start was read already; a partition reaching outside the area is no
        // volume of this scan.
        if (item.u64StartSector <= u64AreaStart || item.u64EndSector < item.u64StartSector ||
            item.u64EndSector >= u64AreaEnd)
            continue;
        m_proFatRecovery.AddVolumeBootSector(item.u64StartSector);
        m_proNtfsRecovery.AddVolumeBootSector(item.u64StartSector, item.u64EndSector + 1 - item.u64StartSector);
    }
}

int CProfessionalRecovery::ScanDevice(wchar_t*) {
    CLogFileManager& logs = CLogFileManager::GetInstance();
    int nResult = KR_SUCCESS;
    bool bSaveLog = m_bLoadLogFile != 0;
    if (!bSaveLog) logs.AddDirIndex();
    bool bSwept = false;
    m_vecUnreadable.clear();  // a saved scan's list is loaded with its stores

    unsigned long long u64RunStart = 0, u64RunCount = 0, u64OffsetInRun = 0, u64Done = 0, u64Found = 0;
    bool bBitmap = false;
    bool bFastPassFailed = false;
    if (m_pFastRecovery != nullptr) {
        m_pFastRecovery->InitCallBack(m_pScanCallBack, m_pRecoveryCallBack, m_pCallBackParam, PRO_FAST_PASS_PERCENT);
        bBitmap = m_pFastRecovery->BuildBitMapInfo() == 0;
        std::wstring wstrFastLog;
        if (m_bLoadLogFile) wstrFastLog = LogFileName(m_logFileInfo.szLogDirPath, "Fast_");
        int nFast = m_pFastRecovery->ScanDevice(m_bLoadLogFile ? &wstrFastLog[0] : nullptr);
        if (nFast != 0) {
            nResult = nFast;
            bFastPassFailed = true;
        }
    }

    if (!bFastPassFailed) {
        PrepareSweepEngines();
        DebugLog("InitVirtualDbrInfo Start\n");
        m_proFatRecovery.InitVirtualDbrInfo();
        SeedPartitionVolumes();
        CFileTypeJudge::m_tsFileRangeVec.clear();
        nResult = Sweep(bBitmap, u64RunStart, u64RunCount, u64OffsetInRun, u64Done, u64Found);
        // Also after a stop: the folders of everything found so far are built.
        m_proFatRecovery.DealProfessionalRecordVec();
        m_proNtfsRecovery.ParseProfessionalRecordVec();
        bSaveLog = true;
        bSwept = true;
    }

    if (m_pScanCallBack != nullptr && nResult == 0)
        m_pScanCallBack(m_pCallBackParam, 100, 100, 0, 0, 0, 0, nullptr);

    if (!bSaveLog) {
        logs.ReduceDirIndex();
        m_strImagePath.clear();
        return nResult;
    }
    // The catalogue never names stores that lost finds: such a scan is not one to continue.
    FlushStores();
    std::string strStoreFolder;
    if (const int nStoreError = GetStoreError(strStoreFolder)) {
        m_strImagePath.clear();
        return nStoreError;
    }
    char szLogDir[LOG_FILE_PATH_SIZE] = {0};
    if (m_bLoadLogFile)
        memcpy(szLogDir, m_logFileInfo.szLogDirPath, sizeof(szLogDir) - 1);
    else
        logs.GetLogFileDirPath(szLogDir, sizeof(szLogDir));
    // Before the catalogue names the folder, so a saved scan never lacks its list.
    if (bSwept) SaveUnreadableRanges(szLogDir);
    std::string strDevice = m_strImagePath.empty() ? DeviceNodePath() : std::string();
    logs.SaveLogFileInfo(strDevice.c_str(), m_nDiskNo, static_cast<unsigned long long>(m_llStartSector),
                         static_cast<unsigned long long>(m_llSectorCount), u64RunStart, u64RunCount, u64OffsetInRun,
                         u64Done, u64Found, szLogDir, m_strImagePath.c_str());
    m_strImagePath.clear();
    return nResult;
}

int CProfessionalRecovery::Sweep(bool bBitmap, unsigned long long& u64RunStart, unsigned long long& u64RunCount,
                                 unsigned long long& u64OffsetInRun, unsigned long long& u64Done,
                                 unsigned long long& u64Found) {
    const unsigned long long u64Bps = static_cast<unsigned long long>(m_nBytesPerSector);
    CSweepPrefetcher prefetcher(m_diskReader, m_nBytesPerSector, PRO_SWEEP_CHUNK_BYTES / m_nBytesPerSector);

    unsigned long long u64Total = 0;
    if (bBitmap) {
        unsigned long long u64Start = 0, u64Count = 0;
        for (;;) {
            u64Count = 0;
            m_pFastRecovery->GetUnUsedSectorCount(u64Start, u64Count);
            if (u64Count == 0) break;
            u64Total += u64Count;
            u64Start += u64Count;
        }
        u64RunStart = 0;
        u64RunCount = 0;
        m_pFastRecovery->GetUnUsedSectorCount(u64RunStart, u64RunCount);
    } else {
        u64Total = static_cast<unsigned long long>(m_llSectorCount);
        u64RunStart = 0;
        u64RunCount = static_cast<unsigned long long>(m_llSectorCount);
    }
    unsigned long long u64BaseFound = 0;
    if (m_bLoadLogFile) {
        u64RunStart = m_logFileInfo.u64RunStartSector;
        u64RunCount = m_logFileInfo.u64RunSectorCount;
        u64BaseFound = u64Found = m_logFileInfo.u64FindFileCount;
    }
    unsigned long long u64AbsBase = u64RunStart + static_cast<unsigned long long>(m_llStartSector);
    const unsigned long long u64StartTick = static_cast<unsigned long long>(rsb_getTickCount());
    unsigned long long u64LastEstimate = u64StartTick;
    int nRemainSec = -1;
    m_u64CarvedEndSector = 0;

    // Only the pure record tests run under the guard: a fault there abandons a chunk before any
    // parser has changed anything, and leaves nothing allocated on the abandoned frames.
    CFaultGuard guard("ProfessionalRecovery recvSignal\n");
    CHUNK_KINDS kinds;
    std::vector<SECTOR_RANGE> vecChunkUnreadable;
    while (u64RunCount != 0) {
        long long llRemaining = static_cast<long long>(u64RunCount);
        u64OffsetInRun = 0;
        if (m_bLoadLogFile) {
            u64OffsetInRun = m_logFileInfo.u64RunOffset;
            u64Done = m_logFileInfo.u64SweptSectorCount;
            llRemaining -= static_cast<long long>(u64OffsetInRun);
            m_bLoadLogFile = 0;
        }
        while (llRemaining > 0) {
            long long llSectors = PRO_SWEEP_CHUNK_BYTES / m_nBytesPerSector;
            if (llSectors > llRemaining) llSectors = llRemaining;
            const unsigned long long u64Sector = u64AbsBase + u64OffsetInRun;
            const int nLen = static_cast<int>(llSectors) * m_nBytesPerSector;
            unsigned int nRead = 0;
            unsigned char* pChunk = prefetcher.Fetch(u64Sector, static_cast<int>(llSectors), u64AbsBase + u64RunCount,
                                                     &nRead, nullptr, &vecChunkUnreadable);
            // What could not be read is zeros in the chunk: the rest of it is parsed as usual.
            for (const SECTOR_RANGE& range : vecChunkUnreadable) AddSectorRange(m_vecUnreadable, range);
            long long llOverrun = 0;
            int nStopAnswer = 0;
            if (nRead > 0) {
                bool bClassified = false;
                auto classify = [&]() { bClassified = ClassifyChunk(pChunk, nLen, kinds); };
                if (guard.Run(classify) && bClassified)
                    nStopAnswer = ParseClassifiedChunk(pChunk, kinds, u64Sector, u64Done, u64Total, nRemainSec,
                                                       llOverrun, u64Found);
            }
            const long long llStep = llSectors + llOverrun;
            u64OffsetInRun += static_cast<unsigned long long>(llStep);
            u64Done += static_cast<unsigned long long>(llStep > llRemaining ? llRemaining : llStep);
            llRemaining -= llStep;
            // A stop inside a size walk: the position kept is the sector being judged.
            if (nStopAnswer != 0) return nStopAnswer;

            const unsigned long long u64Now = static_cast<unsigned long long>(rsb_getTickCount());
            if (u64Now - u64LastEstimate > ESTIMATE_INTERVAL_MS && m_nCallBackFlag == PRO_SWEEP_PERCENT) {
                unsigned long long u64Elapsed = (u64Now - u64StartTick) / 1000;
                unsigned long long u64Rate = u64Elapsed == 0 ? 0 : u64Bps * u64Done / u64Elapsed;
                if (u64Rate == 0) u64Rate = 1;
                unsigned long long u64Left = u64Total > u64Done ? u64Total - u64Done : 0;
                nRemainSec = static_cast<int>(u64Left * u64Bps / u64Rate);
                u64LastEstimate = u64Now;
            }
            std::string strStoreFolder;
            const int nStoreError = GetStoreError(strStoreFolder);
            if (nStoreError != 0) return nStoreError;
            if (m_pScanCallBack != nullptr) {
                u64Found = GetLostFileCount() + u64BaseFound;
                int nProgress = u64Total == 0 ? 10 : static_cast<int>(u64Done * 100 / u64Total + 10);
                int nAnswer = m_pScanCallBack(m_pCallBackParam, nProgress, m_nCallBackFlag, nRemainSec, u64Done,
                                              u64Total, u64Found, nullptr);
                if (nAnswer != 0) return nAnswer;
            }
        }
        if (!bBitmap) break;
        u64RunStart += u64RunCount;
        m_pFastRecovery->GetUnUsedSectorCount(u64RunStart, u64RunCount);
        u64AbsBase = u64RunStart + static_cast<unsigned long long>(m_llStartSector);
    }
    return KR_SUCCESS;
}

int CProfessionalRecovery::ParseProfessionalFileInfo(unsigned char* pBuf, int nLen, unsigned long long u64Sector,
                                                     unsigned long long u64DoneSectors,
                                                     unsigned long long u64TotalSectors, int nRemaindSecond,
                                                     long long& llOverrun, unsigned long long& u64FindFileCount) {
    llOverrun = 0;
    CHUNK_KINDS kinds;
    if (!ClassifyChunk(pBuf, nLen, kinds)) return KR_ERROR_INVALID_PARAMETER;
    return ParseClassifiedChunk(pBuf, kinds, u64Sector, u64DoneSectors, u64TotalSectors, nRemaindSecond, llOverrun,
                                u64FindFileCount);
}

bool CProfessionalRecovery::ClassifyChunk(const unsigned char* pBuf, int nLen, CHUNK_KINDS& kinds) const {
    const int nBps = m_nBytesPerSector;
    if (pBuf == nullptr || nLen < 0 || nBps <= 0) return false;
    const int nRecordSize = nBps <= 512 ? 2 * nBps : nBps;
    const int nSectors = nLen / nBps + (nLen % nBps != 0 ? 1 : 0);
    if (nSectors > PRO_SWEEP_CHUNK_MAX_SECTORS) return false;
    kinds.nSectors = nSectors;
    int nLeft = nLen;
    for (int i = 0; i < nSectors; ++i, nLeft -= nBps) {
        // IsNtfsFileRecord only reads; it takes a non-const pointer for the engines' sake.
        unsigned char* p = const_cast<unsigned char*>(pBuf) + static_cast<size_t>(i) * static_cast<size_t>(nBps);
        kinds.abStraddling[i] = false;
        if (nRecordSize > nLeft) {
            // Only a sector that starts like a record is worth reading again.
            kinds.abStraddling[i] = nLeft >= 4 && HasNtfsFileSignature(p);
        } else if (IsNtfsFileRecord(p, nRecordSize)) {
            kinds.aKind[i] = SECTOR_NTFS_RECORD;
            continue;
        }
        if (IsFatFileRecord(p, nLeft))
            kinds.aKind[i] = SECTOR_FAT_DIR_START;
        else if (IsFatFDTRecord(p, std::min(nBps, nLeft)))
            kinds.aKind[i] = SECTOR_FAT_DIR_TABLE;
        else
            kinds.aKind[i] = SECTOR_PLAIN;
    }
    return true;
}

bool CProfessionalRecovery::ParseStraddlingRecord(unsigned long long u64Here,
                                                  std::unique_ptr<unsigned char[]>& pStraddle) {
    const int nBps = m_nBytesPerSector;
    const int nRecordSize = nBps <= 512 ? 2 * nBps : nBps;
    if (!pStraddle) pStraddle.reset(new unsigned char[STRADDLING_RECORD_READ_BYTES]);
    unsigned int nRead = 0;
    m_diskReader.ReadData(pStraddle.get(), STRADDLING_RECORD_READ_BYTES / nBps, static_cast<long long>(u64Here), nBps,
                          &nRead);
    if (static_cast<long long>(nRead) * nBps < nRecordSize || !IsNtfsFileRecord(pStraddle.get(), nRecordSize))
        return false;
    m_proNtfsRecovery.ParseNtfsFileRecord(pStraddle.get(), u64Here);
    return true;
}

int CProfessionalRecovery::ParseClassifiedChunk(unsigned char* pBuf, const CHUNK_KINDS& kinds,
                                                unsigned long long u64Sector, unsigned long long u64DoneSectors,
                                                unsigned long long u64TotalSectors, int nRemaindSecond,
                                                long long& llOverrun, unsigned long long& u64FindFileCount) {
    const int nBps = m_nBytesPerSector;
    llOverrun = 0;
    std::unique_ptr<unsigned char[]> pStraddle;
    for (int i = 0; i < kinds.nSectors; ++i) {
        unsigned char* p = pBuf + static_cast<size_t>(i) * static_cast<size_t>(nBps);
        const unsigned long long u64Here = u64Sector + static_cast<unsigned long long>(i);
        // Only an NTFS record's first sector is consumed: the next sector is its second.
        if (kinds.abStraddling[i] && ParseStraddlingRecord(u64Here, pStraddle)) continue;
        switch (kinds.aKind[i]) {
            case SECTOR_NTFS_RECORD:
                m_proNtfsRecovery.ParseNtfsFileRecord(p, u64Here);
                break;
            case SECTOR_FAT_DIR_START:
                m_proFatRecovery.ParseFatFileRecord(p, u64Here);
                break;
            case SECTOR_FAT_DIR_TABLE:
                m_proFatRecovery.ParseFDTFileRecord(p, u64Here);
                break;
            case SECTOR_PLAIN: {
                // A carved file's end is a guess: inside its extent only new heads are ignored, the
                // file-system records above still see every sector.
                if (u64Here < m_u64CarvedEndSector) break;
                unsigned long long u64Step = 1;
                m_fileTypeRecovery.ParseFileBuf(p, nBps, u64Here, u64DoneSectors, u64TotalSectors, nRemaindSecond,
                                                &m_diskReader, nBps, u64Step, u64FindFileCount);
                const int nStopAnswer = CFileTypeRecovery::GetWalkStopAnswer();
                if (nStopAnswer != 0) {
                    // This sector and the rest of the chunk were not examined.
                    llOverrun = -static_cast<long long>(kinds.nSectors - i);
                    return nStopAnswer;
                }
                if (u64Step > 1) m_u64CarvedEndSector = u64Here + u64Step;
                break;
            }
        }
    }
    return 0;
}
