// CProfessionalFatRecovery: the entries of one directory buffer become file nodes, folder
// records and folder-chain records.
#include <cstring>

#include "fat/fat_entry_names.h"
#include "fat/fat_entry_node.h"
#include "fat/fat_record_tests.h"
#include "fat/professional_fat_recovery.h"

namespace {
bool IsDeleted(const FAT32_Entry& entry) {
    return entry.szName[0] == FAT_ENTRY_DELETED;
}
bool StartsWithDotEntries(const unsigned char* pSector) {
    return pSector[0] == '.' && pSector[1] == ' ' && pSector[32] == '.' && pSector[33] == '.';
}
}  // namespace

_FILE_NODE_ CProfessionalFatRecovery::MakeNode(const FAT32_Entry& entry, const char* szName, int bIsDir,
                                               uint64_t u64RecordSector) const {
    return MakeFatEntryNode(entry, szName, bIsDir, u64RecordSector, m_wcDrive, m_nSourceType);
}

int CProfessionalFatRecovery::GetParentClusterNO(const unsigned char* pBuf, int nLen, const __VIRTUAL_DBR_INFO__* pDbr,
                                                 uint32_t& u32Cluster) {
    if (pBuf == nullptr || nLen < FAT_DIR_START_BYTES) return 0;
    if (pBuf[11] == FAT_ATTR_VOLUME_LABEL) {
        u32Cluster = m_dwRootClusterNO;
        return 0;
    }
    if (pBuf[0] == '.' && pBuf[32] == '.' && pBuf[33] == '.') {
        u32Cluster = GetFatFirstCluster(ReadFatEntry(pBuf));
        return 0;
    }
    unsigned char abSector[PRO_FAT_BYTES_PER_SECTOR];
    int nError = 0;
    if (IsVirtualDbrSet(pDbr)) {
        if (!ReadClusterFirstSector(*pDbr, u32Cluster, abSector, nError)) return nError;
        if (StartsWithDotEntries(abSector)) return 0;
    }
    // A sub-folder listed here names this folder in its ".." entry.
    CFatLongNameCollector longName;
    for (int nOffset = 0; nOffset + FAT_DIR_ENTRY_BYTES <= nLen; nOffset += FAT_DIR_ENTRY_BYTES) {
        const unsigned char* pEntry = pBuf + nOffset;
        if (pEntry[0] == FAT_ENTRY_END_OF_DIR) break;
        if (!IsFatEntyValid(pEntry, nLen - nOffset)) {
            longName.Reset();
            continue;
        }
        const FAT32_Entry entry = ReadFatEntry(pEntry);
        if (entry.btAttribute == FAT_ATTR_LONG_NAME) {
            if (!longName.AddPiece(pEntry)) break;
            continue;
        }
        char szName[FAT_ENTRY_NAME_BYTES];
        if (longName.IsCollecting())
            longName.GetName(szName, sizeof(szName));
        else
            BuildFatShortName(entry, szName);
        longName.Reset();
        if ((entry.btAttribute & FAT_ATTR_DIRECTORY) == 0 || szName[0] == '\0' || IsFatDotName(szName)) continue;
        if (!IsVirtualDbrSet(pDbr)) continue;
        uint16_t wHigh = entry.wFirstClusterHigh;
        if (IsDeleted(entry) && wHigh == 0) GetDirRealHighClusterNO(entry.wFirstClusterLow, wHigh, pDbr);
        const uint32_t u32SubFolder = (static_cast<uint32_t>(wHigh) << 16) | entry.wFirstClusterLow;
        if (!IsInArea(GetClusterFirstSector(*pDbr, u32SubFolder))) break;
        if (!ReadClusterFirstSector(*pDbr, u32SubFolder, abSector, nError)) return nError;
        if (StartsWithDotEntries(abSector)) {
            u32Cluster = DotDotTarget(abSector);
            return 0;
        }
    }
    return 0;
}

void CProfessionalFatRecovery::RegisterFolderChain(uint32_t u32Cluster, uint64_t u64RecordSector,
                                                   const __VIRTUAL_DBR_INFO__* pDbr) {
    // The files of one folder come one after another: walking its ancestors again learns
    // nothing unless a folder record arrived meanwhile.
    __VIRTUAL_DBR_INFO__ dbr = IsVirtualDbrSet(pDbr) ? *pDbr : __VIRTUAL_DBR_INFO__{};
    if (u32Cluster == m_u32LastChainCluster && m_mapDirInfo.size() == m_nLastChainDirInfoCount &&
        memcmp(&dbr, &m_lastChainDbr, sizeof(dbr)) == 0)
        return;
    m_u32LastChainCluster = u32Cluster;
    m_nLastChainDirInfoCount = m_mapDirInfo.size();
    m_lastChainDbr = dbr;

    std::set<uint32_t> setVisited;
    for (int nStep = 0; nStep < PRO_FAT_MAX_FOLDER_DEPTH; ++nStep) {
        if (u32Cluster <= m_dwRootClusterNO || !setVisited.insert(u32Cluster).second) return;
        m_mapDirChain.emplace(u32Cluster, __FAT_DIR_CHAIN__{dbr, u64RecordSector});
        auto itRecord = m_mapDirInfo.find(u32Cluster);
        if (itRecord != m_mapDirInfo.end()) {
            const __FAT_DIR_RECORD__& record = itRecord->second;
            if (record.node.nFileIndex == u32Cluster) return;
            u64RecordSector = record.node.u64RecordSector;
            dbr = record.dbr;
            u32Cluster = record.node.nFileIndex;
            continue;
        }
        uint32_t u32Parent = 0;
        if (GetParentClusterNO(&dbr, u32Cluster, u32Parent) != 0 || u32Parent == u32Cluster) return;
        u32Cluster = u32Parent;
        u64RecordSector = GetClusterFirstSector(dbr, u32Cluster);
    }
}

void CProfessionalFatRecovery::AddFileEntry(const FAT32_Entry& entry, const char* szName, uint32_t u32Parent,
                                            uint64_t u64RecordSector, const __VIRTUAL_DBR_INFO__* pDbr) {
    uint16_t wHigh = entry.wFirstClusterHigh;
    if (IsDeleted(entry) && wHigh == 0) GetFileRealHighClusterNO(entry.wFirstClusterLow, wHigh, szName, pDbr);
    _FILE_NODE_ node = MakeNode(entry, szName, 0, u64RecordSector);
    node.nDirIndex = (static_cast<uint32_t>(wHigh) << 16) + entry.wFirstClusterLow;
    // Marks a deleted entry, whose clusters are read one after another, never through the table.
    node.nReserved = IsDeleted(entry) ? 1 : 0;
    if (IsVirtualDbrSet(pDbr)) {
        PlaceFileNode(node, u32Parent, *pDbr);
    } else {
        node.nFileIndex = u32Parent;
        m_vecNoDbrFile.push_back(__NO_DBR_FILE__{0, node});
    }
    RegisterFolderChain(u32Parent, u64RecordSector, pDbr);
}

void CProfessionalFatRecovery::AddFolderEntry(const FAT32_Entry& entry, const char* szName, uint32_t& u32Parent,
                                              uint64_t u64RecordSector, const __VIRTUAL_DBR_INFO__* pDbr) {
    if (strcmp(szName, ".") == 0) {
        u32Parent = GetFatFirstCluster(entry);
        return;
    }
    if (strcmp(szName, "..") == 0) return;
    uint16_t wHigh = entry.wFirstClusterHigh;
    if (IsDeleted(entry) && wHigh == 0 && IsVirtualDbrSet(pDbr))
        GetDirRealHighClusterNO(entry.wFirstClusterLow, wHigh, pDbr);
    const uint32_t u32Folder = (static_cast<uint32_t>(wHigh) << 16) + entry.wFirstClusterLow;
    if (u32Folder == 0 || u32Folder == u32Parent) return;
    __FAT_DIR_RECORD__ record;
    record.node = MakeNode(entry, szName, 1, u64RecordSector);
    record.node.nFileIndex = u32Parent;
    record.node.nDirIndex = u32Folder;
    record.dbr = IsVirtualDbrSet(pDbr) ? *pDbr : __VIRTUAL_DBR_INFO__{};
    m_mapDirInfo[u32Folder] = record;
}

int CProfessionalFatRecovery::DealProfessionalFatFileEntry(const unsigned char* pBuf, int nLen,
                                                           uint64_t u64RecordSector, uint32_t u32DirCluster,
                                                           __LONG_FILE_INFO__* pLongInfo,
                                                           const __VIRTUAL_DBR_INFO__* pDbr) {
    if (pLongInfo != nullptr) pLongInfo->dwDataLen = 0;
    if (pBuf == nullptr || nLen < FAT_DIR_ENTRY_BYTES) return 0;
    uint32_t u32Parent = u32DirCluster;
    GetParentClusterNO(pBuf, nLen, pDbr, u32Parent);

    CFatLongNameCollector longName;
    int nChainStart = 0;
    int nOffset = 0;
    for (; nOffset + FAT_DIR_ENTRY_BYTES <= nLen; nOffset += FAT_DIR_ENTRY_BYTES) {
        const unsigned char* pEntry = pBuf + nOffset;
        if (pEntry[0] == FAT_ENTRY_END_OF_DIR) {
            longName.Reset();
            break;
        }
        if (!IsFatEntyValid(pEntry, nLen - nOffset)) {
            longName.Reset();
            continue;
        }
        const FAT32_Entry entry = ReadFatEntry(pEntry);
        if (entry.btAttribute == FAT_ATTR_LONG_NAME) {
            if (!longName.IsCollecting()) nChainStart = nOffset;
            if (!longName.AddPiece(pEntry)) {
                // More pieces than a name can have: noise, nothing to carry over.
                longName.Reset();
                break;
            }
            continue;
        }
        char szName[FAT_ENTRY_NAME_BYTES];
        const bool bShortName = !longName.IsCollecting();
        if (bShortName)
            BuildFatShortName(entry, szName);
        else
            longName.GetName(szName, sizeof(szName));
        longName.Reset();
        const bool bIsDir = (entry.btAttribute & FAT_ATTR_DIRECTORY) != 0;
        if (!bIsDir && (entry.btAttribute & FAT_ATTR_ARCHIVE) == 0) continue;
        if (szName[0] == '\0') continue;
        // The deletion mark replaced the first character of the short name; a long name keeps
        // its own first byte (which may be a lead byte 0xE5 of a two-byte character).
        if (bShortName && static_cast<unsigned char>(szName[0]) == FAT_ENTRY_DELETED) szName[0] = '!';
        if (bIsDir)
            AddFolderEntry(entry, szName, u32Parent, u64RecordSector, pDbr);
        else
            AddFileEntry(entry, szName, u32Parent, u64RecordSector, pDbr);
    }
    if (pLongInfo != nullptr && longName.IsCollecting() && nOffset >= nLen) {
        const int nBytes = nLen - nChainStart;
        if (nBytes > 0 && nBytes <= FAT_LONG_INFO_MAX_BYTES) {
            pLongInfo->btCheckSum = longName.CheckSum();
            pLongInfo->dbr = IsVirtualDbrSet(pDbr) ? *pDbr : __VIRTUAL_DBR_INFO__{};
            pLongInfo->dwParentClusterNO = u32Parent;
            pLongInfo->dwDataLen = static_cast<uint32_t>(nBytes);
            pLongInfo->u64SectorNO = u64RecordSector;
            memcpy(pLongInfo->btData, pBuf + nChainStart, static_cast<size_t>(nBytes));
        }
    }
    return 0;
}
