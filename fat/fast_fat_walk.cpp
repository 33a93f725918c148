// CFastFatRecovery: the walk from the root through every folder, breadth first, recording the
// files met and the folders that hold them.
#include <algorithm>
#include <cstring>

#include "fat/fast_fat_recovery.h"
#include "fat/fat_entry_node.h"
#include "fat/fat_names.h"
#include "util/path.h"
#include "util/rsb.h"

namespace {
bool IsDeleted(const FAT32_Entry& entry) { return entry.szName[0] == FAT_ENTRY_DELETED; }
// ". " then "..": the first sector of a folder.
bool StartsWithDotEntries(const std::vector<unsigned char>& vecBuf) {
    return vecBuf.size() >= 2 * FAT_DIR_ENTRY_BYTES && vecBuf[0] == '.' && vecBuf[1] == ' ' && vecBuf[32] == '.' &&
           vecBuf[33] == '.' && (vecBuf[11] & FAT_ATTR_DIRECTORY) != 0;
}
}  // namespace

int CFastFatRecovery::Report(int nProgress, int nRemain) {
    if (m_pScanCallBack == nullptr) return 0;
    return m_pScanCallBack(m_pCallBackParam, nProgress, m_nCallBackFlag, nRemain, 0, 0, 0, nullptr);
}

int CFastFatRecovery::ScanDevice(wchar_t* pLogFile) {
    m_dequeDirCluster.clear();
    m_setVisited.clear();
    m_mapDirInfo.clear();
    m_vecLostParentDir.clear();
    m_setLostParentDir.clear();
    OpenStore(pLogFile, FAST_FAT_STORE_PREFIX, m_u64StartSector);
    if (pLogFile != nullptr && pLogFile[0] != L'\0') return 0;
    if (!m_geometry.IsSet()) return 0;

    int nResult = Report(1, -1);
    m_llLastReportTick = rsb_getTickCount();
    m_nReports = 0;
    m_dequeDirCluster.push_back(m_dwRootClusterNO);
    while (nResult == 0 && !m_dequeDirCluster.empty()) {
        const uint32_t u32Cluster = m_dequeDirCluster.front();
        m_dequeDirCluster.pop_front();
        if (!m_setVisited.insert(u32Cluster).second) continue;
        InitDirInfo(u32Cluster);
        const long long llNow = rsb_getTickCount();
        if (m_pScanCallBack == nullptr || llNow - m_llLastReportTick < FAST_FAT_REPORT_MS) continue;
        m_llLastReportTick = llNow;
        // The walk's length is unknown: the bar creeps on but never reaches the end pass's 80.
        const int nStep = m_nReports < 58 ? ++m_nReports : m_nReports;
        if (m_nCallBackFlag == 100)
            nResult = m_pScanCallBack(m_pCallBackParam, 1 + nStep, 100, 100 - nStep, 0, 0, 0, nullptr);
        else if (m_nCallBackFlag == 9)
            nResult = m_pScanCallBack(m_pCallBackParam, 20 + nStep, 9, -1, 0, 0, 0, nullptr);
    }
    if (nResult == 0) nResult = Report(80, 10);
    // Also after a stop: what was found keeps its folders.
    AddFolderNodes();
    if (nResult == 0) nResult = Report(100, 0);
    return nResult;
}

int CFastFatRecovery::ReadFolderBytes(uint64_t u64Sector, uint32_t nBytes, std::vector<unsigned char>& vecBuf) {
    const uint32_t nSectors = (nBytes + FAST_FAT_DEVICE_SECTOR - 1) / FAST_FAT_DEVICE_SECTOR;
    vecBuf.assign(static_cast<size_t>(nSectors) * FAST_FAT_DEVICE_SECTOR, 0);
    unsigned int nRead = 0;
    const int nError = m_diskReader.ReadData(vecBuf.data(), static_cast<int>(nSectors),
                                             static_cast<long long>(u64Sector), FAST_FAT_DEVICE_SECTOR, &nRead);
    if (nError != 0) return nError;
    return nRead == nSectors ? 0 : KR_ERROR_READ_FAULT;
}

int CFastFatRecovery::InitDirInfo(uint32_t u32Cluster) {
    if (!m_geometry.IsSet() || !m_pScanResult) return KR_ERROR_INVALID_PARAMETER;
    auto itRecord = m_mapDirInfo.find(u32Cluster);
    const bool bKnown = itRecord != m_mapDirInfo.end();
    const bool bInDeletedFolder = bKnown && itRecord->second.nReserved != 0;
    CFatLongNameCollector longName;
    std::vector<unsigned char> vecBuf;
    if (u32Cluster == 0 && m_geometry.dwFatBits != 32) {
        // The fixed root area: one block of the size the boot sector gives, never a chain.
        const uint64_t u64Sector = m_u64StartSector + m_geometry.u64RootStart;
        const int nError = ReadFolderBytes(u64Sector, m_geometry.dwRootBytes, vecBuf);
        if (nError == 0) ParseFolderBuffer(vecBuf, u64Sector, u32Cluster, false, longName);
        return nError;
    }
    if (!m_geometry.IsDataCluster(u32Cluster)) return KR_ERROR_INVALID_PARAMETER;
    const uint32_t u32MaxClusters = std::max<uint32_t>(1, FAST_FAT_MAX_FOLDER_BYTES / m_geometry.ClusterBytes());
    int nResult = 0;
    uint32_t u32Current = u32Cluster;
    for (uint32_t n = 0; n < u32MaxClusters; ++n) {
        const uint64_t u64Sector = m_u64StartSector + m_geometry.ClusterFirstSector(u32Current);
        nResult = ReadFolderBytes(u64Sector, m_geometry.ClusterBytes(), vecBuf);
        if (nResult != 0) break;
        // A folder whose first cluster went to other data since it was deleted has nothing left.
        if (n == 0 && bKnown && u32Cluster != m_dwRootClusterNO && !StartsWithDotEntries(vecBuf)) break;
        if (!ParseFolderBuffer(vecBuf, u64Sector, u32Cluster, bInDeletedFolder, longName)) break;
        uint32_t u32Next = 0;
        nResult = FindNextClusterNO(u32Current, u32Next);
        if (nResult != 0 || u32Next == 0 || u32Next == u32Current) break;
        u32Current = u32Next;
    }
    return nResult;
}

bool CFastFatRecovery::ParseFolderBuffer(const std::vector<unsigned char>& vecBuf, uint64_t u64FirstSector,
                                         uint32_t u32Folder, bool bInDeletedFolder, CFatLongNameCollector& longName) {
    for (size_t nOffset = 0; nOffset + FAT_DIR_ENTRY_BYTES <= vecBuf.size(); nOffset += FAT_DIR_ENTRY_BYTES) {
        const unsigned char* pEntry = vecBuf.data() + nOffset;
        if (pEntry[0] == FAT_ENTRY_END_OF_DIR) return false;
        const FAT32_Entry entry = ReadFatEntry(pEntry);
        if (entry.btAttribute == FAT_ATTR_LONG_NAME) {
            // The piece stored first of a live name starts a new name, whatever came before it.
            if (!IsDeleted(entry) && (entry.szName[0] & FAT_LFN_LAST_PIECE) != 0) longName.Reset();
            if (!longName.AddPiece(pEntry)) longName.Reset();
            continue;
        }
        if ((entry.btAttribute & (FAT_ATTR_UNUSED_BITS | FAT_ATTR_VOLUME_LABEL)) != 0) {
            longName.Reset();
            continue;
        }
        char szName[FAT_ENTRY_NAME_BYTES];
        // A live entry's long name must carry its checksum; a deleted entry lost the first byte
        // the checksum was taken over.
        const bool bLongName =
            longName.IsCollecting() && (IsDeleted(entry) || longName.CheckSum() == GetShortNameCheckSum(pEntry));
        if (bLongName)
            longName.GetName(szName, sizeof(szName));
        else
            BuildFatShortName(entry, szName);
        longName.Reset();
        if (szName[0] == '\0') continue;
        if (!bLongName && static_cast<unsigned char>(szName[0]) == FAT_ENTRY_DELETED) szName[0] = '!';
        const uint64_t u64RecordSector = u64FirstSector + nOffset / FAST_FAT_DEVICE_SECTOR;
        if ((entry.btAttribute & FAT_ATTR_DIRECTORY) != 0)
            AddFolderEntry(entry, szName, u32Folder, bInDeletedFolder, u64RecordSector);
        else
            AddFileEntry(entry, szName, u32Folder, bInDeletedFolder, u64RecordSector);
    }
    return true;
}

_FILE_NODE_ CFastFatRecovery::MakeNode(const FAT32_Entry& entry, const char* szName, int bIsDir,
                                       uint64_t u64RecordSector) const {
    _FILE_NODE_ node = MakeFatEntryNode(entry, szName, bIsDir, u64RecordSector, m_wcDrive, m_nSourceType);
    node.nClusterSize = m_geometry.ClusterBytes();
    node.u64DataStartSector = m_geometry.u64DataStart;
    node.u64PartitionStartSector = m_u64StartSector;
    return node;
}

bool CFastFatRecovery::ClusterFits(uint32_t u32Cluster, const char* szName, bool bIsDir) {
    std::vector<unsigned char> vecSector;
    const uint64_t u64Sector = m_u64StartSector + m_geometry.ClusterFirstSector(u32Cluster);
    if (ReadFolderBytes(u64Sector, FAST_FAT_DEVICE_SECTOR, vecSector) != 0) return false;
    if (bIsDir) return StartsWithDotEntries(vecSector);
    char szExt[KORVALO_PATH_PART_SIZE] = {};
    if (GetExtendName(szName, szExt) != 0 || szExt[0] == '\0') return false;
    return CFileTypeJudge::IsFileTypeMatching(vecSector.data(), FAST_FAT_DEVICE_SECTOR, szExt, &m_diskReader,
                                              FAST_FAT_DEVICE_SECTOR, u64Sector) != 0;
}

uint32_t CFastFatRecovery::EntryCluster(const FAT32_Entry& entry, const char* szName, bool bIsDir) {
    if (m_geometry.dwFatBits != 32) return entry.wFirstClusterLow;
    const uint32_t u32Cluster = GetFatFirstCluster(entry);
    // Some systems clear the high word when they delete an entry. Only volumes with more than
    // 65536 clusters leave a choice, taken by what the candidate cluster holds.
    const uint32_t u32Low = entry.wFirstClusterLow;
    if (!IsDeleted(entry) || entry.wFirstClusterHigh != 0 || !m_geometry.IsDataCluster((1u << 16) | u32Low))
        return u32Cluster;
    for (uint32_t u32High = 0; u32High < FAST_FAT_HIGH_WORD_CANDIDATES; ++u32High) {
        const uint32_t u32Candidate = (u32High << 16) | u32Low;
        if (!m_geometry.IsDataCluster(u32Candidate)) break;
        if (ClusterFits(u32Candidate, szName, bIsDir)) return u32Candidate;
    }
    return u32Cluster;
}

void CFastFatRecovery::AddFileEntry(const FAT32_Entry& entry, const char* szName, uint32_t u32Folder,
                                    bool bInDeletedFolder, uint64_t u64RecordSector) {
    _FILE_NODE_ node = MakeNode(entry, szName, 0, u64RecordSector);
    node.nReserved = IsDeleted(entry) || bInDeletedFolder ? 1 : 0;
    node.nDirIndex = EntryCluster(entry, szName, false);
    // A live entry's data is its own by definition; only a deleted one may have been written over.
    if (IsDeleted(entry) && node.u64FileSize != 0)
        node.bIsHealth = IsFileDataHealth(&node, m_geometry.dwSectorsPerCluster);
    unsigned char* pSlot = m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_));
    if (pSlot == nullptr) return;
    node.nFileIndex = m_pScanResult->GetFileIndex();
    memcpy(pSlot, &node, sizeof(node));
    m_pScanResult->AddChildren(u32Folder, FolderDepth(u32Folder), node.nFileIndex, node.nDirIndex, nullptr);
    RegisterFolderChain(u32Folder);
}

void CFastFatRecovery::AddFolderEntry(const FAT32_Entry& entry, const char* szName, uint32_t u32Folder,
                                      bool bInDeletedFolder, uint64_t u64RecordSector) {
    if (IsFatDotName(szName)) return;
    const uint32_t u32Cluster = EntryCluster(entry, szName, true);
    // A folder naming itself, the root or a folder already read would only lead back.
    if (u32Cluster == u32Folder || u32Cluster == m_dwRootClusterNO || !m_geometry.IsDataCluster(u32Cluster) ||
        m_setVisited.count(u32Cluster) != 0)
        return;
    _FILE_NODE_ record = MakeNode(entry, szName, 1, u64RecordSector);
    record.nReserved = IsDeleted(entry) || bInDeletedFolder ? 1 : 0;
    record.nFileIndex = u32Folder;
    record.nDirIndex = u32Cluster;
    auto itOld = m_mapDirInfo.find(u32Cluster);
    if (itOld == m_mapDirInfo.end()) {
        m_mapDirInfo.emplace(u32Cluster, record);
        m_dequeDirCluster.push_back(u32Cluster);
    } else if (itOld->second.nReserved != 0 || record.nReserved == 0) {
        // A live folder keeps a cluster that a deleted one also names.
        itOld->second = record;
    }
}

unsigned int CFastFatRecovery::FolderDepth(uint32_t u32Folder) const {
    unsigned int nDepth = 0;
    std::set<uint32_t> setSeen;
    for (uint32_t u32Cluster = u32Folder; u32Cluster != m_dwRootClusterNO && nDepth < FAST_FAT_MAX_FOLDER_DEPTH;) {
        auto it = m_mapDirInfo.find(u32Cluster);
        if (it == m_mapDirInfo.end() || !setSeen.insert(u32Cluster).second) break;
        ++nDepth;
        u32Cluster = it->second.nFileIndex;
    }
    return nDepth;
}

void CFastFatRecovery::RegisterFolderChain(uint32_t u32Folder) {
    uint32_t u32Cluster = u32Folder;
    for (int nStep = 0; nStep < FAST_FAT_MAX_FOLDER_DEPTH; ++nStep) {
        // A folder already listed came with its ancestors.
        if (!m_setLostParentDir.insert(u32Cluster).second) return;
        m_vecLostParentDir.push_back(u32Cluster);
        auto it = m_mapDirInfo.find(u32Cluster);
        if (it == m_mapDirInfo.end() || it->second.nFileIndex == u32Cluster) return;
        u32Cluster = it->second.nFileIndex;
    }
}

void CFastFatRecovery::AddFolderNodes() {
    if (!m_pScanResult) return;
    for (uint32_t u32Cluster : m_vecLostParentDir) {
        auto it = m_mapDirInfo.find(u32Cluster);
        if (it == m_mapDirInfo.end()) continue;
        _FILE_NODE_ node = it->second;
        unsigned char* pSlot = m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_));
        if (pSlot == nullptr) return;
        node.nFileIndex = m_pScanResult->GetFileIndex();
        memcpy(pSlot, &node, sizeof(node));
        const uint32_t u32Parent = it->second.nFileIndex;
        m_pScanResult->AddChildren(u32Parent, FolderDepth(u32Parent), node.nFileIndex, u32Cluster, node.szFileName);
    }
}
