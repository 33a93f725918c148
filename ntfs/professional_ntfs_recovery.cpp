#include "ntfs/professional_ntfs_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/volume_tests.h"
#include "ntfs/ntfs_attribute_walk.h"
#include "ntfs/ntfs_file_name.h"
#include "ntfs/ntfs_record_tests.h"
#include "ntfs/ntfs_records.h"
#include "util/le.h"
#include "util/rsb.h"
#include "util/text.h"

namespace {
const int kBootProbeBytes = 4096;
const size_t kOfsAttrLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32Length);
const size_t kOfsNonResident = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NonResident);
const size_t kOfsAttrNameLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NameLength);
const size_t kOfsValueLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32ValueLength);
const size_t kOfsAllocatedSize = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64AllocatedSize);
const size_t kOfsRealSize = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64RealSize);
const uint32_t kOfsParentReference = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64ParentReference);
const uint32_t kOfsNamespace = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u8Namespace);
// The walk of the ancestors looks for the $FILE_NAME parent; type 0 ends it like the markers.
const NTFS_ATTR_WALK_RULE kAncestorNameRule = {1024, true, NTFS_ATTR_LIST_PASS_BY, NTFS_ERROR_ATTRIBUTE_NOT_FOUND,
                                               NTFS_ERROR_ATTRIBUTE_NOT_FOUND};

bool IsEndType(uint32_t u32Type) {
    return u32Type == NTFS_ATTR_FILL || u32Type == NTFS_ATTR_END || u32Type == 0;
}

// A record's header is sound when the attributes start inside its bytes in use.
bool HeaderFits(const unsigned char* pRecord, uint32_t u32RecordSize) {
    const uint32_t u32First = ReadLe16(pRecord + NTFS_OFS_FIRST_ATTRIBUTE);
    const uint32_t u32InUse = ReadLe32(pRecord + NTFS_OFS_BYTES_IN_USE);
    return u32InUse <= u32RecordSize && u32First <= u32RecordSize && u32First <= u32InUse;
}
}  // namespace

CProfessionalNtfsRecovery::CProfessionalNtfsRecovery() : m_fileData(*this, m_diskReader, 512) {
    m_ntfsParse.Init(512);
}

CProfessionalNtfsRecovery::~CProfessionalNtfsRecovery() = default;

int CProfessionalNtfsRecovery::InitGeometry() {
    m_nBytesPerSector = 512;
    m_nSectorsPerRecord = 2;
    m_nRecordSize = 1024;
    m_nSectorsPerCluster = GetDefaultNtfsSectorPerCluster(m_u64SectorCount, 512);
    m_ntfsParse.Init(512);
    m_mapMftRunList.clear();

    std::unique_ptr<unsigned char[]> pBoot(new unsigned char[kBootProbeBytes]);
    int nResult = m_diskReader.ReadData(pBoot.get(), kBootProbeBytes / 512, static_cast<long long>(m_u64StartSector),
                                        512, nullptr);
    if (nResult != 0) return nResult;
    AddVolumeBootSector(m_u64StartSector, m_u64SectorCount);
    return 0;
}

int CProfessionalNtfsRecovery::AddVolumeBootSector(unsigned long long u64VolumeStart,
                                                   unsigned long long u64VolumeSectors) {
    unsigned char abBoot[512];
    unsigned int nRead = 0;
    auto readBoot = [&](unsigned long long u64Sector) {
        nRead = 0;
        return m_diskReader.ReadData(abBoot, 1, static_cast<long long>(u64Sector), 512, &nRead) == 0 && nRead == 1 &&
               IsNtfs(abBoot);
    };
    // NTFS keeps a copy of its boot sector in the last sector of its volume.
    if (!readBoot(u64VolumeStart) && (u64VolumeSectors == 0 || !readBoot(u64VolumeStart + u64VolumeSectors - 1)))
        return 0;
    const uint8_t u8Spc = abBoot[offsetof(NTFS_BOOT_SECTOR, u8SectorsPerCluster)];
    const uint64_t u64MftCluster = ReadLe64(abBoot + offsetof(NTFS_BOOT_SECTOR, u64MftCluster));
    if (!IsUsableNtfsSectorsPerCluster(u8Spc) || u64MftCluster > (m_u64StartSector + m_u64SectorCount) / u8Spc)
        return 0;
    m_nSectorsPerCluster = u8Spc;
    const unsigned long long u64MftSector = u64MftCluster * u8Spc + u64VolumeStart;
    std::vector<__RUNLIST__> vecRuns;
    if (GetRunListInfo(static_cast<long long>(u64MftSector), NTFS_ATTR_DATA, vecRuns) == 0)
        m_mapMftRunList[u64MftSector] = vecRuns;
    return 0;
}

int CProfessionalNtfsRecovery::Init(int nDiskNo, long long llStartSector, long long llSectorCount, wchar_t wcDrive) {
    if (llStartSector < 0 || llSectorCount < 0) return KR_ERROR_INVALID_PARAMETER;
    m_nDiskNumber = nDiskNo;
    m_u64StartSector = static_cast<unsigned long long>(llStartSector);
    m_u64SectorCount = static_cast<unsigned long long>(llSectorCount);
    m_wcDrive = wcDrive;
    const unsigned long long u64End = m_u64StartSector + m_u64SectorCount;
    int nResult = m_diskReader.Init(nDiskNo, u64End);
    if (nResult != 0) return nResult;
    return InitGeometry();
}

int CProfessionalNtfsRecovery::Init(wchar_t* pPath, wchar_t wcDrive) {
    if (pPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    std::string strPath = Unicode2Path(pPath);
    int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return errno;
    int nLow = 0;
    int nHigh = 0;
    int nSizeResult = rsb_getFileSizeH(hFile, &nLow, &nHigh);
    int nError = errno;
    close(hFile);
    if (nSizeResult != 0) return nError != 0 ? nError : EIO;
    const unsigned long long u64Size =
        (static_cast<unsigned long long>(static_cast<uint32_t>(nHigh)) << 32) | static_cast<uint32_t>(nLow);
    m_nDiskNumber = -1;
    m_u64StartSector = 0;
    m_u64SectorCount = u64Size / 512;
    m_wcDrive = wcDrive;
    int nResult = m_diskReader.Init(pPath, m_u64SectorCount);
    if (nResult != 0) return nResult;
    return InitGeometry();
}

int CProfessionalNtfsRecovery::InitCallBack(SCAN_CALLBACK pScanCallBack, RECOVERY_CALLBACK pRecoveryCallBack,
                                            void* pParam, int nPercent) {
    m_pScanCallBack = pScanCallBack;
    m_pRecoveryCallBack = pRecoveryCallBack;
    m_pCallBackParam = pParam;
    m_nCallBackFlag = nPercent;
    m_fileData.SetRecoveryCallBack(pRecoveryCallBack, pParam);
    return 0;
}

int CProfessionalNtfsRecovery::InitProfessionalScan(wchar_t* pLogFile) {
    m_vecSpecialRecoveryDir.clear();
    m_setSpecialRecoveryDir.clear();
    return OpenStore(pLogFile, "Pro_Ntfs_", m_u64StartSector);
}

int CProfessionalNtfsRecovery::ReadRecord(unsigned long long u64Sector, unsigned char* pBuf) {
    int nResult = m_diskReader.ReadData(pBuf, m_nSectorsPerRecord, static_cast<long long>(u64Sector),
                                        m_nBytesPerSector, nullptr);
    // The reader's 30 and 87 carry no error number of the system.
    if (nResult == KR_ERROR_READ_FAULT || nResult == KR_ERROR_INVALID_PARAMETER) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    return nResult;
}

int CProfessionalNtfsRecovery::GetRunListInfo(long long llRecordSector, int nAttrType,
                                              std::vector<__RUNLIST__>& vecRuns) {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    int nResult = ReadRecord(static_cast<unsigned long long>(llRecordSector), vecRecord.data());
    if (nResult != 0) return nResult;
    if (!HasNtfsFileSignature(vecRecord.data())) return NTFS_ERROR_NO_SIGNATURE;
    m_ntfsParse.FileRecordFixUp(vecRecord.data());
    return GetNtfsAttributeRunList(vecRecord.data(), static_cast<uint32_t>(m_nRecordSize),
                                   static_cast<uint32_t>(nAttrType), kDeepRunListRule, m_ntfsParse, vecRuns);
}

int CProfessionalNtfsRecovery::GetFileNodeRunListInfo(_FILE_NODE_* pNode, int nAttrType,
                                                      std::vector<__RUNLIST__>& vecRuns) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    int nResult = ReadRecord(pNode->u64RecordSector, vecRecord.data());
    if (nResult != 0) return nResult;
    if (!HasNtfsFileSignature(vecRecord.data())) return NTFS_ERROR_NO_SIGNATURE;
    m_ntfsParse.FileRecordFixUp(vecRecord.data());
    return GetNtfsAttributeRunList(vecRecord.data(), static_cast<uint32_t>(m_nRecordSize),
                                   static_cast<uint32_t>(nAttrType), kDeepNodeRunListRule, m_ntfsParse, vecRuns);
}

int CProfessionalNtfsRecovery::GetFileNodeAttr0x80Data(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength) {
    if (pNode == nullptr || pOut == nullptr) return KR_ERROR_INVALID_PARAMETER;
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    int nResult = ReadRecord(pNode->u64RecordSector, vecRecord.data());
    if (nResult == NTFS_ERROR_ATTRIBUTE_NOT_FOUND) return NTFS_ERROR_NO_RESIDENT_DATA;
    if (nResult != 0) return nResult;
    if (!HasNtfsFileSignature(vecRecord.data())) return NTFS_ERROR_NO_RESIDENT_DATA;
    m_ntfsParse.FileRecordFixUp(vecRecord.data());
    return GetNtfsResidentData(vecRecord.data(), static_cast<uint32_t>(m_nRecordSize), kDeepNodeResidentDataRule,
                               static_cast<uint32_t>(m_nRecordSize), pOut, nLength);
}

int CProfessionalNtfsRecovery::ParseNtfsFileRecord(unsigned char* pRecord, unsigned long long u64Sector) {
    if (pRecord == nullptr) return KR_ERROR_INVALID_PARAMETER;
    if ((ReadLe16(pRecord + NTFS_OFS_FLAGS) & NTFS_RECORD_IS_DIRECTORY) != 0) return 0;
    return ParseProfessionalRecordInfo(pRecord, u64Sector, 0, 0);
}

int CProfessionalNtfsRecovery::ParseProfessionalRecordInfo(unsigned char* pRecord, unsigned long long u64Sector,
                                                           int bParentPass, unsigned int nParentDirIndex) {
    if (pRecord == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const bool bIsDir = (ReadLe16(pRecord + NTFS_OFS_FLAGS) & NTFS_RECORD_IS_DIRECTORY) != 0;
    if (bIsDir && !bParentPass) return 0;
    if (!HasNtfsFileSignature(pRecord)) {
        // No record where the folder should be: its children still need a folder to hang from.
        if (bParentPass) MakeLostFolder(nParentDirIndex);
        return NTFS_ERROR_NO_SIGNATURE;
    }
    m_ntfsParse.FileRecordFixUp(pRecord);
    const uint32_t u32RecordSize = static_cast<uint32_t>(m_nRecordSize);
    if (!HeaderFits(pRecord, u32RecordSize)) return KR_ERROR_INVALID_PARAMETER;
    const uint32_t u32InUse = ReadLe32(pRecord + NTFS_OFS_BYTES_IN_USE);
    const uint32_t u32Own = ReadLe32(pRecord + NTFS_OFS_RECORD_NUMBER);
    // In the folder pass the record found must be that folder: a file there, or another record
    // (the number was reused, or the MFT guessed wrong), leaves the folder lost.
    const bool bLost = bParentPass && (!bIsDir || u32Own != nParentDirIndex);

    _FILE_NODE_* pNode = nullptr;
    unsigned int nParent = 0;
    int nLevel = 0;
    uint32_t u32Offset = ReadLe16(pRecord + NTFS_OFS_FIRST_ATTRIBUTE);
    while (u32Offset < u32InUse && u32InUse - u32Offset >= 8) {
        unsigned char* pAttr = pRecord + u32Offset;
        const uint32_t u32Type = ReadLe32(pAttr);
        const int nLength = static_cast<int16_t>(ReadLe16(pAttr + kOfsAttrLength));
        // An attribute reaching past the bytes in use ends the walk as a zero length does.
        if (IsEndType(u32Type) || nLength <= 0 || static_cast<uint32_t>(nLength) > u32InUse - u32Offset) break;
        const uint32_t u32Length = static_cast<uint32_t>(nLength);

        if (u32Type == NTFS_ATTR_FILE_NAME) {
            if (bLost) {
                MakeLostFolder(nParentDirIndex != 0 ? nParentDirIndex : u32Own);
                return 0;
            }
            std::wstring strName;
            if (!DecodeNtfsFileName(pAttr, u32Length, strName)) break;
            if (u32Own < NTFS_FIRST_USER_RECORD) {
                if (u32Own == NTFS_MFT_RECORD && Unicode2Ansi(strName.c_str()) == "$MFT")
                    RememberMftRunList(pRecord, u64Sector);
            } else if (pNode == nullptr) {
                nParent = ReadLe32(pAttr + kOfsParentReference);
                pNode = FillFileNode(pAttr, u32Length, bParentPass);
                if (pNode == nullptr) return 0;
                PlaceNode(pNode, pRecord, u64Sector, nParent, nLevel);
            } else if (pAttr[kOfsNamespace] == NTFS_NAMESPACE_WIN32) {
                MakeNtfsNodeName(strName, pNode->szFileName, sizeof(pNode->szFileName));
            }
        } else if (u32Type == NTFS_ATTR_DATA && pNode != nullptr && pAttr[kOfsAttrNameLength] == 0) {
            if (pAttr[kOfsNonResident] == 0) {
                if (u32Length >= kOfsValueLength + 4) pNode->u64FileSize = ReadLe32(pAttr + kOfsValueLength);
            } else if (u32Length >= kOfsRealSize + 8) {
                pNode->u64FileSize = ReadLe64(pAttr + kOfsRealSize);
            }
        }
        u32Offset += u32Length;
    }

    if (pNode == nullptr) return 0;
    // Filed once the node is complete, so a folder is listed under its long name.
    if (bParentPass) {
        m_pScanResult->AddChildren(nParent, static_cast<unsigned int>(nLevel), pNode->nFileIndex, pNode->nDirIndex,
                                   pNode->szFileName);
    } else {
        m_pScanResult->AddChildren(nParent, static_cast<unsigned int>(nLevel), pNode->nFileIndex, pNode->nDirIndex,
                                   nullptr);
        pNode->bIsHealth = IsFileDataHealth(pNode, 0);
    }
    return 0;
}

void CProfessionalNtfsRecovery::PlaceNode(_FILE_NODE_* pNode, unsigned char* pRecord, unsigned long long u64Sector,
                                          unsigned int nParent, int& nLevel) {
    const uint32_t u32Own = ReadLe32(pRecord + NTFS_OFS_RECORD_NUMBER);
    pNode->u64DataStartSector = 0;
    int nSectorsPerCluster = static_cast<int>(m_nSectorsPerCluster);
    GetFileRecordSectorPerClusterByRecordBuf(pRecord, nSectorsPerCluster);
    m_nSectorsPerCluster = static_cast<unsigned int>(nSectorsPerCluster);
    pNode->nSourceType = m_nSourceType;
    pNode->wcDrive = m_wcDrive;
    pNode->nClusterSize = 512 * m_nSectorsPerCluster;
    pNode->nDirIndex = u32Own;
    pNode->u64RecordSector = u64Sector;
    std::vector<__RUNLIST__> vecRuns;
    pNode->u64PartitionStartSector =
        GetSpecialFileRecordPartitionStartSector(u64Sector, u32Own, m_nSectorsPerCluster, vecRuns);
    std::map<unsigned int, unsigned int> mapVisited;
    GetProfessionalRootParentDirIndex(nParent, pNode->u64PartitionStartSector, m_nSectorsPerCluster, vecRuns, nLevel,
                                      mapVisited);
}

_FILE_NODE_* CProfessionalNtfsRecovery::FillFileNode(const unsigned char* pAttribute, uint32_t u32AttrLength,
                                                     int bIsDir) {
    if (m_pScanResult == nullptr || pAttribute == nullptr) return nullptr;
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    if (!FillNodeFromNtfsFileName(pAttribute, u32AttrLength, node)) return nullptr;
    _FILE_NODE_* pNode = reinterpret_cast<_FILE_NODE_*>(m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_)));
    if (pNode == nullptr) return nullptr;
    *pNode = node;
    pNode->bIsHealth = 1;
    pNode->nSourceType = m_nSourceType;
    pNode->wcDrive = m_wcDrive;
    pNode->nFileIndex = m_pScanResult->GetFileIndex();
    pNode->bIsDir = bIsDir;
    return pNode;
}

int CProfessionalNtfsRecovery::GetFileRecordSectorPerClusterByRecordBuf(unsigned char* pRecord,
                                                                        int& nSectorsPerCluster) {
    if (!HasNtfsFileSignature(pRecord)) return KR_ERROR_INVALID_PARAMETER;
    m_ntfsParse.FileRecordFixUp(pRecord);
    uint32_t u32Offset = 0;
    // The node rule: an attribute list or the fill pattern ends the search.
    int nResult = FindNtfsAttribute(pRecord, static_cast<uint32_t>(m_nRecordSize), NTFS_ATTR_DATA,
                                    kDeepNodeRunListRule, u32Offset);
    if (nResult == KR_ERROR_INVALID_PARAMETER) return nResult;
    if (nResult != 0) return 0;
    const unsigned char* pAttr = pRecord + u32Offset;
    if (pAttr[kOfsNonResident] == 0 || ReadLe32(pAttr + kOfsAttrLength) < kOfsAllocatedSize + 8) return 0;
    std::vector<__RUNLIST__> vecRuns;
    m_ntfsParse.GetRunList(pAttr, vecRuns);
    uint64_t u64Clusters = 0;
    for (const __RUNLIST__& run : vecRuns) u64Clusters += run.u64ClusterCount;
    if (u64Clusters == 0) return 0;
    const uint64_t q = ReadLe64(pAttr + kOfsAllocatedSize) / 512 / u64Clusters;
    // Only a cluster size NTFS can have: a torn record must not set a nonsense geometry.
    if (IsUsableNtfsSectorsPerCluster(q)) nSectorsPerCluster = static_cast<int>(q);
    return 0;
}

unsigned long long CProfessionalNtfsRecovery::GetFileRecordIndexMftRunList(unsigned long long u64RecordNumber,
                                                                          unsigned long long u64Sector,
                                                                          unsigned int nSectorsPerCluster,
                                                                          std::vector<__RUNLIST__>& vecRuns) {
    const uint64_t t = 2 * static_cast<uint64_t>(u64RecordNumber);
    for (const auto& entry : m_mapMftRunList) {
        const std::vector<__RUNLIST__>& vecMft = entry.second;
        if (vecMft.empty()) continue;
        uint64_t c = 0;
        uint64_t v = 0;
        for (const __RUNLIST__& run : vecMft) {
            c += static_cast<uint64_t>(run.n64LcnOffset) * nSectorsPerCluster;
            const uint64_t n = run.u64ClusterCount * nSectorsPerCluster;
            if (t >= v && t - v < n) {
                const uint64_t u64At =
                    entry.first - static_cast<uint64_t>(vecMft[0].n64LcnOffset) * nSectorsPerCluster + c + (t - v);
                if (u64At == u64Sector) {
                    vecRuns.insert(vecRuns.end(), vecMft.begin(), vecMft.end());
                    return entry.first;
                }
                break;
            }
            v += n;
        }
    }
    return 0;
}

unsigned long long CProfessionalNtfsRecovery::GetSpecialFileRecordPartitionStartSector(
    unsigned long long u64Sector, unsigned long long u64RecordNumber, unsigned int nSectorsPerCluster,
    std::vector<__RUNLIST__>& vecRuns) {
    if (nSectorsPerCluster == 0) nSectorsPerCluster = 1;
    const size_t nBefore = vecRuns.size();
    const unsigned long long u64Key = GetFileRecordIndexMftRunList(u64RecordNumber, u64Sector, nSectorsPerCluster, vecRuns);
    if (u64Key != 0) {
        const uint64_t c = static_cast<uint64_t>(vecRuns[nBefore].n64LcnOffset) * nSectorsPerCluster;
        return c != 0 ? u64Key - c : m_u64StartSector;
    }
    // No known MFT holds the record: assume one that runs without gaps from record 0.
    __RUNLIST__ run;
    run.u64ClusterCount = 0;
    run.n64LcnOffset = static_cast<int64_t>((u64Sector - m_u64StartSector - 2 * u64RecordNumber) / nSectorsPerCluster);
    vecRuns.push_back(run);
    return m_u64StartSector;
}

void CProfessionalNtfsRecovery::RememberFolder(unsigned int nDirIndex, unsigned int nSectorsPerCluster,
                                               unsigned long long u64PartitionStart,
                                               const std::vector<__RUNLIST__>& vecRuns) {
    if (!m_setSpecialRecoveryDir.insert(nDirIndex).second) return;
    m_vecSpecialRecoveryDir.push_back({nDirIndex, nSectorsPerCluster, u64PartitionStart, vecRuns});
}

int CProfessionalNtfsRecovery::GetProfessionalRootParentDirIndex(unsigned int nParent,
                                                                 unsigned long long u64PartitionStart,
                                                                 unsigned int nSectorsPerCluster,
                                                                 std::vector<__RUNLIST__> vecRuns, int& nLevel,
                                                                 std::map<unsigned int, unsigned int>& mapVisited) {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    unsigned char* pRecord = vecRecord.data();
    const uint32_t u32RecordSize = static_cast<uint32_t>(m_nRecordSize);
    // One step per folder; the visited map cuts loops.
    while (nParent != NTFS_ROOT_RECORD) {
        mapVisited[nParent] = nParent;
        RememberFolder(nParent, nSectorsPerCluster, u64PartitionStart, vecRuns);
        ++nLevel;
        const unsigned long long u64Sector = LookupMftRecordSector(vecRuns, nParent, nSectorsPerCluster, u64PartitionStart);
        int nResult = ReadRecord(u64Sector, pRecord);
        if (nResult != 0) return nResult;
        if (!HasNtfsFileSignature(pRecord)) return NTFS_ERROR_NO_SIGNATURE;
        m_ntfsParse.FileRecordFixUp(pRecord);
        const bool bIsDir = (ReadLe16(pRecord + NTFS_OFS_FLAGS) & NTFS_RECORD_IS_DIRECTORY) != 0;
        if (!bIsDir || ReadLe32(pRecord + NTFS_OFS_RECORD_NUMBER) != nParent) return 0;
        if (!HeaderFits(pRecord, u32RecordSize) || ReadLe16(pRecord + NTFS_OFS_FIRST_ATTRIBUTE) >= u32RecordSize ||
            ReadLe32(pRecord + NTFS_OFS_BYTES_IN_USE) >= u32RecordSize)
            return KR_ERROR_INVALID_PARAMETER;
        uint32_t u32Offset = 0;
        if (FindNtfsAttribute(pRecord, u32RecordSize, NTFS_ATTR_FILE_NAME, kAncestorNameRule, u32Offset) != 0) return 0;
        if (ReadLe32(pRecord + u32Offset + kOfsAttrLength) < kOfsParentReference + 8) return 0;
        const unsigned int nGrandParent = ReadLe32(pRecord + u32Offset + kOfsParentReference);
        if (mapVisited.count(nGrandParent) != 0) return 0;
        nParent = nGrandParent;
    }
    return 0;
}

int CProfessionalNtfsRecovery::ParseProfessionalRecordVec() {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    int nResult = 0;
    // The vector grows while the pass runs (folders of folders), so index and copy.
    for (size_t i = 0; i < m_vecSpecialRecoveryDir.size(); ++i) {
        const __SPECIAL_RECOVERY_DIR__ dir = m_vecSpecialRecoveryDir[i];
        const unsigned long long u64Sector =
            LookupMftRecordSector(dir.vecMftRunList, dir.nDirIndex, dir.nSectorsPerCluster, dir.u64PartitionStartSector);
        int nRead = ReadRecord(u64Sector, vecRecord.data());
        if (nRead != 0) {
            // An unreadable place (a guessed MFT pointing past the area) must not cost every other
            // folder its node: this one is lost, the pass goes on.
            MakeLostFolder(dir.nDirIndex);
            nResult = nRead;
            continue;
        }
        nResult = ParseProfessionalRecordInfo(vecRecord.data(), u64Sector, 1, dir.nDirIndex);
    }
    return nResult;
}

void CProfessionalNtfsRecovery::MakeLostFolder(unsigned int nDirIndex) {
    if (m_pScanResult == nullptr) return;
    _FILE_NODE_* pNode = reinterpret_cast<_FILE_NODE_*>(m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_)));
    if (pNode == nullptr) return;
    memset(pNode, 0, sizeof(_FILE_NODE_));
    pNode->bIsHealth = 1;
    pNode->nSourceType = m_nSourceType;
    pNode->wcDrive = m_wcDrive;
    pNode->u64DataStartSector = 0;
    pNode->nClusterSize = 512 * m_nSectorsPerCluster;
    pNode->nFileIndex = m_pScanResult->GetFileIndex();
    pNode->bIsDir = 1;
    pNode->nDirIndex = nDirIndex;
    snprintf(pNode->szFileName, sizeof(pNode->szFileName), "LostFolder%d", static_cast<int>(nDirIndex));
    m_pScanResult->AddChildren(NTFS_ROOT_RECORD, 0, pNode->nFileIndex, nDirIndex, pNode->szFileName);
}

void CProfessionalNtfsRecovery::RememberMftRunList(unsigned char* pRecord, unsigned long long u64Sector) {
    // The record in hand is the one at u64Sector, already fixed up: decode from it.
    std::vector<__RUNLIST__> vecRuns;
    if (GetNtfsAttributeRunList(pRecord, static_cast<uint32_t>(m_nRecordSize), NTFS_ATTR_DATA, kDeepRunListRule,
                                m_ntfsParse, vecRuns) == 0)
        m_mapMftRunList[u64Sector] = vecRuns;
}

// --- browsing through the store -------------------------------------------------------------

int CProfessionalNtfsRecovery::ScanDevice(wchar_t*) { return 0; }
int CProfessionalNtfsRecovery::GetUnUsedSectorCount(unsigned long long&, unsigned long long&) { return 0; }
int CProfessionalNtfsRecovery::BuildBitMapInfo() { return 0; }

int CProfessionalNtfsRecovery::GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                                                   std::vector<_FILE_NODE_>& vecChildren) {
    if (m_pScanResult == nullptr) return 0;
    if (pParent == nullptr && nLevel != 0) return KR_ERROR_INVALID_PARAMETER;
    m_pScanResult->FlushBufToFile();
    // Key 0 is the store's first key: the root's.
    const unsigned int nDir = (pParent != nullptr) ? pParent->nDirIndex : 0;
    return m_pScanResult->GetChildrenFileNode(MakeChildrenKey(nDir, nLevel), vecChildren);
}

int CProfessionalNtfsRecovery::GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) {
    if (m_pScanResult == nullptr) return 0;
    if (pParent == nullptr && nLevel != 0) return KR_ERROR_INVALID_PARAMETER;
    m_pScanResult->FlushBufToFile();
    const unsigned int nDir = (pParent != nullptr && pParent->nDirIndex != 0) ? pParent->nDirIndex : NTFS_ROOT_RECORD;
    return m_pScanResult->GetChildrenFileCount(MakeChildrenKey(nDir, nLevel), nCount);
}

// --- file data --------------------------------------------------------------------------------

int CProfessionalNtfsRecovery::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    return m_fileData.SaveFileData(pNode, pTargetPath, nBaseLevel);
}

int CProfessionalNtfsRecovery::SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath) {
    return m_fileData.SaveDataToTargetFile(pNode, pTargetPath);
}

int CProfessionalNtfsRecovery::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                                       PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    return m_fileData.PreView(pNode, pPreviewPath, pBuf, nBufLen, pPreViewCallBack, pParam);
}

int CProfessionalNtfsRecovery::IsFileDataHealth(_FILE_NODE_* pNode, unsigned int) {
    return m_fileData.IsFileDataHealth(pNode);
}

int CProfessionalNtfsRecovery::ReadNodeResidentData(_FILE_NODE_* pNode, unsigned char* pOut, unsigned int& nLength) {
    return GetFileNodeAttr0x80Data(pNode, pOut, nLength);
}

int CProfessionalNtfsRecovery::ReadNodeDataRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) {
    return GetFileNodeRunListInfo(pNode, NTFS_ATTR_DATA, vecRuns);
}

int CProfessionalNtfsRecovery::ReadNodeHealthRunList(_FILE_NODE_* pNode, std::vector<__RUNLIST__>& vecRuns) {
    return GetRunListInfo(static_cast<long long>(pNode->u64RecordSector), NTFS_ATTR_DATA, vecRuns);
}

int CProfessionalNtfsRecovery::ListNodeChildren(_FILE_NODE_* pParent, unsigned int nLevel,
                                                std::vector<_FILE_NODE_>& vecChildren) {
    return GetChildrenFileNode(pParent, nLevel, vecChildren);
}
