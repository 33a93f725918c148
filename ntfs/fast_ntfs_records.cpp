// The fast engine's record readers: MFT records by number through the MFT's run list, the run
// list of an attribute (gathered across the extents an attribute list names), resident $DATA and
// the real size of $DATA.
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "ntfs/fast_ntfs_recovery.h"
#include "ntfs/ntfs_attribute_walk.h"
#include "ntfs/ntfs_record_tests.h"
#include "ntfs/ntfs_records.h"
#include "util/le.h"

namespace {
const size_t kOfsAttrLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32Length);
const size_t kOfsNonResident = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NonResident);
const size_t kOfsAttrNameLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NameLength);
const size_t kOfsValueLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32ValueLength);
const size_t kOfsValueOffset = offsetof(NTFS_RESIDENT_ATTRIBUTE, u16ValueOffset);
const size_t kOfsStartVcn = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64StartVcn);
const size_t kOfsRealSize = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u64RealSize);
const size_t kOfsBaseRecord = offsetof(NTFS_FILE_RECORD_HEADER, u64BaseRecord);
const size_t kOfsEntryLength = offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u16Length);
const size_t kOfsEntryNameLength = offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u8NameLength);
const size_t kOfsEntryReference = offsetof(NTFS_ATTRIBUTE_LIST_ENTRY, u64Reference);
const uint64_t kRecordNumberMask = 0xFFFFFFFFFFFFull;
// A non-resident attribute list is read up to this size; real lists stay far below it.
const uint64_t kMaxAttrListBytes = 256 * 1024;

uint64_t SumClusters(const std::vector<__RUNLIST__>& vecRuns) {
    uint64_t u64Clusters = 0;
    for (const __RUNLIST__& run : vecRuns) u64Clusters += run.u64ClusterCount;
    return u64Clusters;
}

// Appends the runs of one extent. Each extent's run list starts from cluster 0, so its first
// located run is made relative to where the runs gathered so far left the running cluster.
void AppendExtentRuns(std::vector<__RUNLIST__>& vecRuns, std::vector<__RUNLIST__> vecExtent) {
    uint64_t u64Running = 0;
    for (const __RUNLIST__& run : vecRuns) u64Running += static_cast<uint64_t>(run.n64LcnOffset);
    for (__RUNLIST__& run : vecExtent) {
        if (run.n64LcnOffset == 0) continue;  // sparse: no location to rebase
        run.n64LcnOffset = static_cast<int64_t>(static_cast<uint64_t>(run.n64LcnOffset) - u64Running);
        break;
    }
    vecRuns.insert(vecRuns.end(), vecExtent.begin(), vecExtent.end());
}

// The attribute-list entries of the wanted attribute in a list value of nBytes bytes, as the
// records that hold its extents, in list order (which is extent order).
std::vector<uint32_t> ListExtentRecords(const unsigned char* pList, uint32_t nBytes, uint32_t u32Type) {
    std::vector<uint32_t> vecRecords;
    uint32_t u32Offset = 0;
    while (nBytes - u32Offset >= sizeof(NTFS_ATTRIBUTE_LIST_ENTRY)) {
        const unsigned char* pEntry = pList + u32Offset;
        const uint32_t u32EntryType = ReadLe32(pEntry);
        const uint32_t u32Length = ReadLe16(pEntry + kOfsEntryLength);
        if (u32EntryType == 0 || u32EntryType == NTFS_ATTR_END || u32Length < sizeof(NTFS_ATTRIBUTE_LIST_ENTRY) ||
            u32Length > nBytes - u32Offset)
            break;
        // Named $DATA streams are other contents than the file's own.
        const bool bWanted = u32EntryType == u32Type && (u32Type != NTFS_ATTR_DATA || pEntry[kOfsEntryNameLength] == 0);
        if (bWanted) vecRecords.push_back(static_cast<uint32_t>(ReadLe64(pEntry + kOfsEntryReference) & kRecordNumberMask));
        u32Offset += u32Length;
    }
    return vecRecords;
}
}  // namespace

bool CFastNtfsRecovery::LocateRecord(unsigned int nRecord, unsigned long long& u64Sector) const {
    return LocateMftRecordSector(m_vecMftRunList, nRecord, static_cast<unsigned int>(m_nSectorsPerRecord),
                                 m_nSectorsPerCluster, m_u64StartSector, u64Sector);
}

int CFastNtfsRecovery::ReadRecordAt(unsigned long long u64Sector, unsigned char* pBuf) {
    const int nResult = m_diskReader.ReadData(pBuf, m_nSectorsPerRecord, static_cast<long long>(u64Sector),
                                              m_nBytesPerSector, nullptr);
    // The reader's 30 and 87 carry no error number of the system.
    if (nResult == KR_ERROR_READ_FAULT || nResult == KR_ERROR_INVALID_PARAMETER) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    return nResult;
}

int CFastNtfsRecovery::ReadFixedRecordAt(unsigned long long u64Sector, unsigned char* pBuf) {
    const int nResult = ReadRecordAt(u64Sector, pBuf);
    if (nResult != 0) return nResult;
    if (!HasNtfsFileSignature(pBuf)) return NTFS_ERROR_NO_SIGNATURE;
    m_ntfsParse.FileRecordFixUp(pBuf);
    return 0;
}

int CFastNtfsRecovery::GetFileRecordBuf(unsigned int nRecord, unsigned char* pOut) {
    unsigned long long u64Sector = 0;
    if (pOut == nullptr || !LocateRecord(nRecord, u64Sector)) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    return ReadRecordAt(u64Sector, pOut);
}

int CFastNtfsRecovery::GetRunListInfo(long long llRecordSector, int nAttrType, std::vector<__RUNLIST__>& vecRuns) {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    int nResult = ReadFixedRecordAt(static_cast<unsigned long long>(llRecordSector), vecRecord.data());
    if (nResult != 0) return nResult;
    const unsigned char* pRecord = vecRecord.data();
    const uint32_t u32RecordBytes = static_cast<uint32_t>(m_nRecordSize);
    const uint32_t u32Type = static_cast<uint32_t>(nAttrType);

    uint32_t u32Offset = 0;
    uint32_t u32AttrList = 0;
    nResult = FindNtfsAttribute(pRecord, u32RecordBytes, u32Type, kFastRunListRule, u32Offset, &u32AttrList);
    if (u32AttrList != 0) {
        // The list names every extent, the one in this record too: gather them all in order. Runs
        // that stop early leave the file short, which its reader reports.
        const size_t nBefore = vecRuns.size();
        const int nListResult = Get0X20RunList(pRecord + u32AttrList, u32RecordBytes - u32AttrList,
                                               ReadLe32(pRecord + NTFS_OFS_RECORD_NUMBER), u32Type, vecRuns);
        if (vecRuns.size() != nBefore) return 0;
        if (nResult != 0) return nListResult != 0 ? nListResult : nResult;
    }
    if (nResult != 0) return nResult;
    const unsigned char* pAttribute = pRecord + u32Offset;
    if (pAttribute[kOfsNonResident] != 0) m_ntfsParse.GetWholeRunList(pAttribute, vecRuns);
    return 0;
}

int CFastNtfsRecovery::ReadAttrListValue(const unsigned char* pAttrList, uint32_t u32AttrBytes,
                                         std::vector<unsigned char>& vecList) {
    vecList.clear();
    if (pAttrList == nullptr || u32AttrBytes < sizeof(NTFS_RESIDENT_ATTRIBUTE)) return KR_ERROR_INVALID_PARAMETER;
    const uint32_t u32Length = ReadLe32(pAttrList + kOfsAttrLength);
    if (u32Length < sizeof(NTFS_RESIDENT_ATTRIBUTE) || u32Length > u32AttrBytes) return KR_ERROR_INVALID_PARAMETER;
    if (pAttrList[kOfsNonResident] == 0) {
        const uint32_t u32ValueOffset = ReadLe16(pAttrList + kOfsValueOffset);
        const uint32_t u32ValueLength = ReadLe32(pAttrList + kOfsValueLength);
        if (u32ValueOffset > u32Length || u32ValueLength > u32Length - u32ValueOffset) return KR_ERROR_INVALID_PARAMETER;
        vecList.assign(pAttrList + u32ValueOffset, pAttrList + u32ValueOffset + u32ValueLength);
        return 0;
    }
    // A list too long for the record lives in clusters of its own.
    if (u32Length < kOfsRealSize + 8) return KR_ERROR_INVALID_PARAMETER;
    const uint64_t u64Size = ReadLe64(pAttrList + kOfsRealSize);
    if (u64Size > kMaxAttrListBytes) return KR_ERROR_INVALID_PARAMETER;
    std::vector<__RUNLIST__> vecListRuns;
    m_ntfsParse.GetWholeRunList(pAttrList, vecListRuns);
    const uint64_t u64Bps = static_cast<uint64_t>(m_nBytesPerSector);
    const uint64_t u64ClusterBytes = m_nSectorsPerCluster * u64Bps;
    const uint64_t u64Wanted = (u64Size + u64Bps - 1) / u64Bps * u64Bps;
    vecList.assign(static_cast<size_t>(u64Wanted), 0);
    uint64_t u64Cluster = 0;
    uint64_t u64Have = 0;
    for (const __RUNLIST__& run : vecListRuns) {
        if (u64Have >= u64Wanted) break;
        u64Cluster += static_cast<uint64_t>(run.n64LcnOffset);
        const uint64_t u64Bytes = std::min<uint64_t>(run.u64ClusterCount * u64ClusterBytes, u64Wanted - u64Have);
        const uint64_t u64Sector = m_u64StartSector + u64Cluster * m_nSectorsPerCluster;
        // The list ends where it can no longer be read.
        if (m_diskReader.ReadData(vecList.data() + u64Have, static_cast<int>(u64Bytes / u64Bps),
                                  static_cast<long long>(u64Sector), m_nBytesPerSector, nullptr) != 0)
            break;
        u64Have += u64Bytes;
    }
    vecList.resize(static_cast<size_t>(std::min<uint64_t>(u64Have, u64Size)));
    return 0;
}

int CFastNtfsRecovery::ReadListedRecord(uint32_t u32Record, uint32_t u32BaseRecord, unsigned char* pBuf) {
    unsigned long long u64Sector = 0;
    if (!LocateRecord(u32Record, u64Sector)) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    const int nResult = ReadFixedRecordAt(u64Sector, pBuf);
    if (nResult != 0) return nResult;
    // A record reused by another file since must not lend this one its attributes.
    const uint32_t u32Base = static_cast<uint32_t>(ReadLe64(pBuf + kOfsBaseRecord) & kRecordNumberMask);
    if (u32Record != u32BaseRecord && u32Base != u32BaseRecord) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    return 0;
}

int CFastNtfsRecovery::FindListedAttribute(const unsigned char* pAttrList, uint32_t u32AttrBytes,
                                           uint32_t u32BaseRecord, uint32_t u32Type,
                                           std::vector<unsigned char>& vecRecord, uint32_t& u32AttrOffset) {
    std::vector<unsigned char> vecList;
    int nResult = ReadAttrListValue(pAttrList, u32AttrBytes, vecList);
    if (nResult != 0) return nResult;
    const std::vector<uint32_t> vecRecords =
        ListExtentRecords(vecList.data(), static_cast<uint32_t>(vecList.size()), u32Type);
    if (vecRecords.empty()) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
    vecRecord.assign(static_cast<size_t>(m_nRecordSize), 0);
    nResult = ReadListedRecord(vecRecords.front(), u32BaseRecord, vecRecord.data());
    if (nResult != 0) return nResult;
    return FindNtfsAttribute(vecRecord.data(), static_cast<uint32_t>(m_nRecordSize), u32Type, kFastRunListRule,
                             u32AttrOffset);
}

int CFastNtfsRecovery::Get0X20RunList(const unsigned char* pAttrList, uint32_t u32AttrBytes, uint32_t u32BaseRecord,
                                      uint32_t u32Type, std::vector<__RUNLIST__>& vecRuns) {
    std::vector<unsigned char> vecList;
    int nResult = ReadAttrListValue(pAttrList, u32AttrBytes, vecList);
    if (nResult != 0) return nResult;

    // Each extent record is read, checked to belong to this file and to carry on exactly where
    // the runs gathered so far end; a gap would put the rest of the file at wrong clusters.
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    uint64_t u64Gathered = 0;  // clusters of the extents taken so far
    for (const uint32_t u32Record : ListExtentRecords(vecList.data(), static_cast<uint32_t>(vecList.size()), u32Type)) {
        nResult = ReadListedRecord(u32Record, u32BaseRecord, vecRecord.data());
        if (nResult != 0) return nResult;
        const unsigned char* pRecord = vecRecord.data();
        uint32_t u32Offset = 0;
        nResult = FindNtfsAttribute(pRecord, static_cast<uint32_t>(m_nRecordSize), u32Type, kFastRunListRule,
                                    u32Offset);
        if (nResult != 0) return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
        const unsigned char* pAttribute = pRecord + u32Offset;
        if (pAttribute[kOfsNonResident] == 0 || (u32Type == NTFS_ATTR_DATA && pAttribute[kOfsAttrNameLength] != 0) ||
            ReadLe32(pAttribute + kOfsAttrLength) < kOfsStartVcn + 8 ||
            ReadLe64(pAttribute + kOfsStartVcn) != u64Gathered)
            return NTFS_ERROR_ATTRIBUTE_NOT_FOUND;
        std::vector<__RUNLIST__> vecExtent;
        m_ntfsParse.GetWholeRunList(pAttribute, vecExtent);
        u64Gathered += SumClusters(vecExtent);
        AppendExtentRuns(vecRuns, std::move(vecExtent));
    }
    return nResult;
}

int CFastNtfsRecovery::GetAttr0x80Data(long long llRecordSector, unsigned char* pOut, unsigned int& nLength) {
    if (pOut == nullptr) return KR_ERROR_INVALID_PARAMETER;
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    const int nResult = ReadFixedRecordAt(static_cast<unsigned long long>(llRecordSector), vecRecord.data());
    if (nResult == NTFS_ERROR_ATTRIBUTE_NOT_FOUND || nResult == NTFS_ERROR_NO_SIGNATURE) return NTFS_ERROR_NO_RESIDENT_DATA;
    if (nResult != 0) return nResult;
    return GetNtfsResidentData(vecRecord.data(), static_cast<uint32_t>(m_nRecordSize), kFastResidentDataRule,
                               static_cast<uint32_t>(m_nRecordSize), pOut, nLength);
}

int CFastNtfsRecovery::GetBitMapRealBytesSize(long long llRecordSector, unsigned long long& u64Size) {
    std::vector<unsigned char> vecRecord(static_cast<size_t>(m_nRecordSize));
    int nResult = ReadFixedRecordAt(static_cast<unsigned long long>(llRecordSector), vecRecord.data());
    if (nResult != 0) return nResult;
    uint32_t u32Offset = 0;
    nResult = FindNtfsAttribute(vecRecord.data(), static_cast<uint32_t>(m_nRecordSize), NTFS_ATTR_DATA,
                                kFastBitmapSizeRule, u32Offset);
    if (nResult != 0) return nResult;
    const unsigned char* pAttribute = vecRecord.data() + u32Offset;
    const uint32_t u32Length = ReadLe32(pAttribute + kOfsAttrLength);
    if (pAttribute[kOfsNonResident] == 0) {
        u64Size = ReadLe32(pAttribute + kOfsValueLength);
        return 0;
    }
    if (u32Length < kOfsRealSize + 8) return KR_ERROR_INVALID_PARAMETER;
    u64Size = ReadLe64(pAttribute + kOfsRealSize);
    return 0;
}
