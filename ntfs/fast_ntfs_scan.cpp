// The fast scan: the MFT read front to back through its run list, a node per file record, then
// the folders those files lie in.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ntfs/fast_ntfs_recovery.h"
#include "ntfs/ntfs_attribute_walk.h"
#include "ntfs/ntfs_file_name.h"
#include "ntfs/ntfs_record_tests.h"
#include "ntfs/ntfs_records.h"
#include "util/debug_log.h"
#include "util/le.h"
#include "util/rsb.h"
#include "util/text.h"

namespace {
const size_t kOfsAttrLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32Length);
const size_t kOfsNonResident = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NonResident);
const size_t kOfsAttrNameLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NameLength);
const size_t kOfsValueLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32ValueLength);
const size_t kOfsStartVcn = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64StartVcn);
const size_t kOfsRealSize = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64RealSize);
const size_t kOfsBaseRecord = offsetof(NTFS_FILE_RECORD_HEADER, u64BaseRecord);
const uint32_t kOfsParentReference = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64ParentReference);
const uint32_t kOfsNamespace = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u8Namespace);
const long long kEstimateIntervalMs = 5000;
const int kEstimatingFlag = 100;
// The walk to the parent's $FILE_NAME: the fill pattern and type 0 end it like the end marker.
const NTFS_ATTR_WALK_RULE kParentNameRule = {NTFS_RECORD_READ_BYTES, true, NTFS_ATTR_LIST_PASS_BY,
                                             NTFS_ERROR_ATTRIBUTE_NOT_FOUND, NTFS_ERROR_ATTRIBUTE_NOT_FOUND};

bool IsEndType(uint32_t u32Type) { return u32Type == 0 || u32Type >= NTFS_ATTR_FILL; }
}  // namespace

int CFastNtfsRecovery::ScanDevice(wchar_t* pLogFile) {
    m_vecParentDirIndex.clear();
    m_setParentDirIndex.clear();
    m_mapFolderPlace.clear();
    m_u64UnreadableMftPieces = 0;
    const int nResult = OpenStore(pLogFile, "Fast_", m_u64StartSector);
    if (nResult != 0 || (pLogFile != nullptr && pLogFile[0] != 0)) return nResult;
    // Without a volume there is nothing to read: an empty store, and the deep scan sweeps all.
    if (!m_bHasVolume) return 0;
    return FastScanDevice();
}

int CFastNtfsRecovery::ReportScanProgress(int nPercent, int nRemainSeconds) {
    if (m_pScanCallBack == nullptr) return 0;
    return m_pScanCallBack(m_pCallBackParam, nPercent, m_nCallBackFlag, nRemainSeconds, 0, 0, 0, nullptr);
}

int CFastNtfsRecovery::FastScanDevice() {
    if (!m_bHasVolume || m_pScanResult == nullptr) return 0;
    const long long llStart = rsb_getTickCount();
    long long llLastEstimate = llStart;
    const uint64_t u64Spc = m_nSectorsPerCluster;
    const uint64_t u64PieceSectors = static_cast<uint64_t>(m_nBufferSize / m_nBytesPerSector);
    // Runs are cut to the volume: a run list pointing past it must not turn into endless reads.
    struct MftStretch {
        uint64_t u64Sector;  // from the volume start
        uint64_t u64Sectors;
        uint64_t u64FirstRecord;
    };
    std::vector<MftStretch> vecStretches;
    uint64_t u64Total = 0;
    uint64_t u64Running = 0;
    uint64_t u64MftSectors = 0;
    for (const __RUNLIST__& run : m_vecMftRunList) {
        u64Running += static_cast<uint64_t>(run.n64LcnOffset) * u64Spc;
        const uint64_t u64RunSectors = run.u64ClusterCount * u64Spc;
        const uint64_t u64FirstRecord = u64MftSectors / m_nSectorsPerRecord;
        u64MftSectors += u64RunSectors;
        if (u64Running >= m_u64SectorCount) continue;
        const uint64_t u64Sectors = std::min<uint64_t>(u64RunSectors, m_u64SectorCount - u64Running);
        vecStretches.push_back({u64Running, u64Sectors, u64FirstRecord});
        u64Total += u64Sectors;
    }

    uint64_t u64Done = 0;
    int nRemainSeconds = -1;
    for (const MftStretch& stretch : vecStretches) {
        for (uint64_t u64Taken = 0; u64Taken < stretch.u64Sectors;) {
            const uint64_t u64Piece = std::min(u64PieceSectors, stretch.u64Sectors - u64Taken);
            const uint64_t u64Record = stretch.u64FirstRecord + u64Taken / m_nSectorsPerRecord;
            if (u64Record > UINT32_MAX) break;  // record numbers are 32-bit
            const int nRead = ReadFileAndParseRecordInfo(
                static_cast<long long>(m_u64StartSector + stretch.u64Sector + u64Taken), static_cast<int>(u64Piece),
                static_cast<uint32_t>(u64Record));
            // One unreadable piece must not cost every other record: note it and go on.
            if (nRead != 0) {
                ++m_u64UnreadableMftPieces;
                DebugLog("CFastNtfsRecovery MFT piece unreadable\n");
            }
            u64Taken += u64Piece;
            u64Done += u64Piece;

            const long long llNow = rsb_getTickCount();
            if (llNow - llLastEstimate >= kEstimateIntervalMs && m_nCallBackFlag == kEstimatingFlag) {
                const uint64_t u64Seconds = static_cast<uint64_t>(llNow - llStart) / 1000;
                uint64_t u64Speed = u64Seconds == 0 ? 0 : m_nBytesPerSector * u64Done / u64Seconds;
                if (u64Speed == 0) u64Speed = 1;
                nRemainSeconds = static_cast<int>((u64Total - u64Done) * m_nBytesPerSector / u64Speed);
                llLastEstimate = llNow;
            }
            // 100 is said once, when the folders are made too.
            const int nAnswer =
                ReportScanProgress(static_cast<int>(std::min<uint64_t>(u64Done * 100 / u64Total, 99)), nRemainSeconds);
            if (nAnswer != 0) return nAnswer;
        }
    }
    ParseParentDirs();
    return ReportScanProgress(100, nRemainSeconds);
}

int CFastNtfsRecovery::ReadFileAndParseRecordInfo(long long llSector, int nSectorCount, uint32_t u32FirstRecord) {
    if (nSectorCount <= 0 || nSectorCount > m_nBufferSize / m_nBytesPerSector) return KR_ERROR_INVALID_PARAMETER;
    std::vector<unsigned char> vecBuffer(static_cast<size_t>(nSectorCount) * m_nBytesPerSector);
    unsigned int nReadSectors = 0;
    const int nResult = m_diskReader.ReadData(vecBuffer.data(), nSectorCount, llSector, m_nBytesPerSector, &nReadSectors);
    // What arrived before a bad sector is still parsed.
    const unsigned int nRecords = nReadSectors / static_cast<unsigned int>(m_nSectorsPerRecord);
    for (unsigned int i = 0; i < nRecords && static_cast<uint64_t>(u32FirstRecord) + i <= UINT32_MAX; ++i)
        ParseRecordInfo(vecBuffer.data() + static_cast<size_t>(i) * m_nRecordSize, 0, u32FirstRecord + i);
    return nResult;
}

_FILE_NODE_* CFastNtfsRecovery::FillFileNode(const unsigned char* pAttribute, uint32_t u32AttrLength, int bIsDir) {
    if (m_pScanResult == nullptr) return nullptr;
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    if (!FillNodeFromNtfsFileName(pAttribute, u32AttrLength, node)) return nullptr;
    _FILE_NODE_* pNode = reinterpret_cast<_FILE_NODE_*>(m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_)));
    if (pNode == nullptr) return nullptr;
    *pNode = node;
    pNode->nSourceType = m_nSourceType;
    pNode->wcDrive = m_wcDrive;
    pNode->nFileIndex = m_pScanResult->GetFileIndex();
    pNode->bIsDir = bIsDir;
    pNode->nClusterSize = CARVED_CLUSTER_SIZE;  // the caller sets the volume's
    return pNode;
}

int CFastNtfsRecovery::ParseRecordInfo(unsigned char* pRecord, int bParentPass, uint32_t u32RecordNumber) {
    if (pRecord == nullptr || m_pScanResult == nullptr) return KR_ERROR_INVALID_PARAMETER;
    const uint16_t u16Flags = ReadLe16(pRecord + NTFS_OFS_FLAGS);
    const bool bInUse = (u16Flags & NTFS_RECORD_IN_USE) != 0;
    const bool bIsDir = (u16Flags & NTFS_RECORD_IS_DIRECTORY) != 0;
    // The sweep takes files, deleted or live; folders come from the folder pass.
    if (!bParentPass && (u16Flags & ~NTFS_RECORD_IN_USE) != 0) return 0;
    if (!IsNtfsFileRecord(pRecord, m_nRecordSize)) {
        if (bParentPass) MakeLostFolder(u32RecordNumber);
        return NTFS_ERROR_NO_SIGNATURE;
    }
    m_ntfsParse.FileRecordFixUp(pRecord);
    // A record that is no folder any more (its number was reused) cannot name the folder.
    if (bParentPass && !bIsDir) {
        MakeLostFolder(u32RecordNumber);
        return 0;
    }
    // Extension records carry attributes of a base record and no file of their own.
    if (u32RecordNumber < NTFS_FIRST_USER_RECORD || ReadLe64(pRecord + kOfsBaseRecord) != 0) return 0;

    // First what the record holds, then the node: the name may have to come from another record.
    const uint32_t u32InUse = std::min<uint32_t>(ReadLe32(pRecord + NTFS_OFS_BYTES_IN_USE), m_nRecordSize);
    uint32_t u32NameOffset = 0;
    uint32_t u32Win32NameOffset = 0;
    uint32_t u32AttrListOffset = 0;
    bool bHaveSize = false;
    uint64_t u64Size = 0;
    uint32_t u32Offset = ReadLe16(pRecord + NTFS_OFS_FIRST_ATTRIBUTE);
    while (u32Offset < u32InUse && u32InUse - u32Offset >= 8) {
        const unsigned char* pAttr = pRecord + u32Offset;
        const uint32_t u32Type = ReadLe32(pAttr);
        const int nLength = static_cast<int16_t>(ReadLe16(pAttr + kOfsAttrLength));
        // An attribute reaching past the bytes in use ends the walk as a zero length does.
        if (IsEndType(u32Type) || nLength <= 0 || static_cast<uint32_t>(nLength) > u32InUse - u32Offset) break;
        const uint32_t u32Length = static_cast<uint32_t>(nLength);
        if (u32Type == NTFS_ATTR_ATTRIBUTE_LIST) {
            u32AttrListOffset = u32Offset;
        } else if (u32Type == NTFS_ATTR_FILE_NAME && u32NameOffset == 0) {
            u32NameOffset = u32Offset;
        } else if (u32Type == NTFS_ATTR_FILE_NAME && u32Length > kOfsNamespace &&
                   pAttr[kOfsNamespace] == NTFS_NAMESPACE_WIN32) {
            u32Win32NameOffset = u32Offset;
        } else if (u32Type == NTFS_ATTR_DATA && pAttr[kOfsAttrNameLength] == 0 && !bHaveSize) {
            // Only the first extent of non-resident data carries the sizes.
            if (pAttr[kOfsNonResident] == 0 && u32Length >= kOfsValueLength + 4) {
                u64Size = ReadLe32(pAttr + kOfsValueLength);
                bHaveSize = true;
            } else if (pAttr[kOfsNonResident] != 0 && u32Length >= kOfsRealSize + 8 &&
                       ReadLe64(pAttr + kOfsStartVcn) == 0) {
                u64Size = ReadLe64(pAttr + kOfsRealSize);
                bHaveSize = true;
            }
        }
        u32Offset += u32Length;
    }

    const unsigned char* pName = nullptr;
    std::vector<unsigned char> vecListed;
    if (u32NameOffset != 0) {
        pName = pRecord + u32NameOffset;
    } else if (u32AttrListOffset != 0) {
        uint32_t u32ListedOffset = 0;
        if (FindListedAttribute(pRecord + u32AttrListOffset, u32InUse - u32AttrListOffset, u32RecordNumber,
                                NTFS_ATTR_FILE_NAME, vecListed, u32ListedOffset) == 0)
            pName = vecListed.data() + u32ListedOffset;
    }
    const uint32_t u32NameLength = pName == nullptr ? 0 : ReadLe32(pName + kOfsAttrLength);
    if (pName == nullptr || u32NameLength < kOfsParentReference + 8) {
        // A folder record without a usable name still has to hold its children.
        if (bParentPass) MakeLostFolder(u32RecordNumber);
        return 0;
    }
    const unsigned int nParent = ReadLe32(pName + kOfsParentReference);
    // Files of the volume's own folders ($Extend: $ObjId, $Quota, $Reparse, and what lies deeper
    // like $RmMetadata) are not the user's.
    if (nParent != NTFS_ROOT_RECORD && nParent < NTFS_FIRST_USER_RECORD) return 0;
    const FOLDER_PLACE place = PlaceOfFolder(nParent);
    if (place.bSystem) return 0;
    _FILE_NODE_* pNode = FillFileNode(pName, u32NameLength, bParentPass);
    if (pNode == nullptr) {
        if (bParentPass) MakeLostFolder(u32RecordNumber);
        return 0;
    }
    std::wstring strWin32Name;
    if (u32Win32NameOffset != 0 &&
        DecodeNtfsFileName(pRecord + u32Win32NameOffset, ReadLe32(pRecord + u32Win32NameOffset + kOfsAttrLength),
                           strWin32Name))
        MakeNtfsNodeName(strWin32Name, pNode->szFileName, sizeof(pNode->szFileName));
    if (bHaveSize) pNode->u64FileSize = u64Size;
    pNode->nReserved = bInUse ? 0 : 1;
    pNode->bIsHealth = 1;
    pNode->u64DataStartSector = 0;
    pNode->nClusterSize = static_cast<uint32_t>(m_nBytesPerSector) * m_nSectorsPerCluster;
    pNode->nDirIndex = u32RecordNumber;
    unsigned long long u64Sector = m_u64StartSector;
    LocateRecord(u32RecordNumber, u64Sector);
    pNode->u64RecordSector = u64Sector;
    pNode->u64PartitionStartSector = m_u64StartSector;
    const int nLevel = place.nLevel;

    // Filed once the node is complete, so a folder is listed under its long name.
    if (bParentPass) {
        m_pScanResult->AddChildren(nParent, static_cast<unsigned int>(nLevel), pNode->nFileIndex, pNode->nDirIndex,
                                   pNode->szFileName);
    } else {
        m_pScanResult->AddChildren(nParent, static_cast<unsigned int>(nLevel), pNode->nFileIndex, pNode->nDirIndex,
                                   nullptr);
        // A live file's data are intact; only a deleted one's first bytes are worth a read.
        if (!bInUse) pNode->bIsHealth = IsFileDataHealth(pNode, 0);
    }
    return 0;
}

CFastNtfsRecovery::FOLDER_PLACE CFastNtfsRecovery::PlaceOfFolder(uint32_t nFolder) {
    // Every file of a folder shares its walk: it is taken once per folder and scan.
    auto it = m_mapFolderPlace.find(nFolder);
    if (it != m_mapFolderPlace.end()) return it->second;
    FOLDER_PLACE place;
    std::map<unsigned int, unsigned int> mapVisited;
    GetRootParentDirIndex(nFolder, place.nLevel, mapVisited);
    for (const auto& visited : mapVisited) place.bSystem |= visited.first < NTFS_FIRST_USER_RECORD;
    m_mapFolderPlace.emplace(nFolder, place);
    return place;
}

void CFastNtfsRecovery::RememberFolder(uint32_t nDirIndex) {
    if (m_setParentDirIndex.insert(nDirIndex).second) m_vecParentDirIndex.push_back(nDirIndex);
}

int CFastNtfsRecovery::GetRootParentDirIndex(unsigned int nParent, int& nLevel,
                                             std::map<unsigned int, unsigned int>& mapVisited) {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    unsigned char* pRecord = vecRecord.data();
    // One step per folder; the visited map cuts loops.
    while (nParent != NTFS_ROOT_RECORD && mapVisited.count(nParent) == 0) {
        mapVisited[nParent] = nParent;
        RememberFolder(nParent);
        ++nLevel;
        int nResult = GetFileRecordBuf(nParent, pRecord);
        if (nResult != 0) return nResult;
        if (!HasNtfsFileSignature(pRecord)) return NTFS_ERROR_NO_SIGNATURE;
        m_ntfsParse.FileRecordFixUp(pRecord);
        if ((ReadLe16(pRecord + NTFS_OFS_FLAGS) & NTFS_RECORD_IS_DIRECTORY) == 0) return 0;
        uint32_t u32Offset = 0;
        if (FindNtfsAttribute(pRecord, static_cast<uint32_t>(m_nRecordSize), NTFS_ATTR_FILE_NAME, kParentNameRule,
                              u32Offset) != 0)
            return 0;
        if (ReadLe32(pRecord + u32Offset + kOfsAttrLength) < kOfsParentReference + 8) return 0;
        nParent = ReadLe32(pRecord + u32Offset + kOfsParentReference);
    }
    return 0;
}

void CFastNtfsRecovery::ParseParentDirs() {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    // The vector grows while the pass runs (folders of folders), so go by index.
    for (size_t i = 0; i < m_vecParentDirIndex.size(); ++i) {
        const uint32_t u32Dir = m_vecParentDirIndex[i];
        if (GetFileRecordBuf(u32Dir, vecRecord.data()) != 0) {
            MakeLostFolder(u32Dir);
            continue;
        }
        ParseRecordInfo(vecRecord.data(), 1, u32Dir);
    }
}

void CFastNtfsRecovery::MakeLostFolder(uint32_t nDirIndex) {
    if (m_pScanResult == nullptr || nDirIndex < NTFS_FIRST_USER_RECORD) return;
    _FILE_NODE_* pNode = reinterpret_cast<_FILE_NODE_*>(m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_)));
    if (pNode == nullptr) return;
    memset(pNode, 0, sizeof(_FILE_NODE_));
    pNode->bIsHealth = 1;
    pNode->nClusterSize = CARVED_CLUSTER_SIZE;
    pNode->nSourceType = m_nSourceType;
    pNode->wcDrive = m_wcDrive;
    pNode->nReserved = 1;
    pNode->nFileIndex = m_pScanResult->GetFileIndex();
    pNode->bIsDir = 1;
    pNode->nDirIndex = nDirIndex;
    snprintf(pNode->szFileName, sizeof(pNode->szFileName), "LostFolder%u", nDirIndex);
    m_pScanResult->AddChildren(NTFS_ROOT_RECORD, 0, pNode->nFileIndex, nDirIndex, pNode->szFileName);
}
