// CProfessionalFatRecovery: the sectors handed over during the sweep, long names cut at sector
// ends, sectors kept until a geometry places them, and the end pass that builds the folders.
#include <cstdio>
#include <cstring>

#include "fat/fat_names.h"
#include "fat/professional_fat_recovery.h"
#include "util/debug_log.h"

namespace {
// Bound on the long names waiting for their next sector.
constexpr size_t MAX_LONG_FILE_INFOS = 4096;
}  // namespace

int CProfessionalFatRecovery::ParseFatFileRecord(unsigned char* pBuf, unsigned long long u64Sector) {
    if (pBuf == nullptr) return 0;
    const uint32_t u32Cluster = GetFatFirstCluster(ReadFatEntry(pBuf));
    const __VIRTUAL_DBR_INFO__* pFound = m_dbrList.GetVirtualDbrInfo(u64Sector, u32Cluster);
    if (pFound == nullptr) {
        const __FAT_SECTOR_OFFSET__ start{u32Cluster, u64Sector};
        m_dbrList.CalcVirtualDbrInfo(start, m_u64StartSector);
        m_dbrList.AddSectorOffset(start);
        pFound = m_dbrList.GetVirtualDbrInfo(u64Sector, u32Cluster);
    }
    if (pFound == nullptr) {
        // The sectors after this one belong to a directory of unknown geometry, not to the one
        // read before.
        m_curDirContext = __FAT_DIR_CONTEXT__();
        return ParseFatFDTRecord(pBuf, m_nBytesPerSector, u64Sector, u32Cluster, nullptr);
    }
    const __VIRTUAL_DBR_INFO__ dbr = *pFound;
    UpdateNoDbrFileVec();
    // The rest of this cluster belongs to the same directory.
    m_curDirContext.dbr = dbr;
    m_curDirContext.dwClusterNO = u32Cluster;
    m_curDirContext.u64SectorNO = u64Sector;
    return ParseFatFDTRecord(pBuf, m_nBytesPerSector, u64Sector, u32Cluster, &dbr);
}

int CProfessionalFatRecovery::ParseFDTFileRecord(unsigned char* pBuf, unsigned long long u64Sector) {
    if (pBuf == nullptr) return 0;
    int nLen = m_nBytesPerSector;
    uint64_t u64RecordSector = u64Sector;
    uint32_t u32Cluster = 0;
    std::vector<unsigned char> vecJoined = GetParentDirCluster(pBuf, nLen, u64RecordSector, u32Cluster);
    if (!vecJoined.empty()) return ParseFatFDTRecord(vecJoined.data(), nLen, u64RecordSector, u32Cluster, nullptr);
    if (m_curDirContext.Covers(u64Sector)) {
        const __FAT_DIR_CONTEXT__ context = m_curDirContext;
        return ParseFatFDTRecord(pBuf, m_nBytesPerSector, context.u64SectorNO, context.dwClusterNO, &context.dbr);
    }
    return DoParseFileOrAddUndelFileMap(pBuf, m_nBytesPerSector, u64Sector);
}

int CProfessionalFatRecovery::DoParseFileOrAddUndelFileMap(const unsigned char* pSector, int nLen, uint64_t u64Sector) {
    // A table sector outside the directory being read is kept until the sweep is over, even
    // when a known geometry puts it at a cluster start: a volume met later in the sweep (an
    // older format, a second volume) may explain it better, and parsing it now with the wrong
    // geometry would point its files at the wrong data. The end pass decides with every
    // geometry known.
    AddUnDealFileMap(pSector, nLen, u64Sector);
    return 0;
}

void CProfessionalFatRecovery::AddUnDealFileMap(const unsigned char* pSector, int nLen, uint64_t u64SectorNo) {
    if (pSector == nullptr || nLen <= 0) return;
    auto it = m_mapUnDealFile.find(u64SectorNo);
    if (it == m_mapUnDealFile.end()) {
        if (m_mapUnDealFile.size() >= m_nUndealtMemoryCap) {
            // Memory is full: the sector waits on disk instead. Only a disk that cannot take it
            // loses it, and says so.
            if (!m_undealtSpill.Append(u64SectorNo, pSector, static_cast<uint32_t>(nLen)))
                DebugLog("ProfessionalFat undealt sector dropped %llu: its spill file cannot be written\n",
                         static_cast<unsigned long long>(u64SectorNo));
            return;
        }
        it = m_mapUnDealFile.emplace(u64SectorNo, __UNDEAL_SECTOR__()).first;
    }
    it->second.bDealt = 0;
    it->second.vecData.assign(pSector, pSector + nLen);
}

int CProfessionalFatRecovery::ParseFatFDTRecord(const unsigned char* pBuf, int nLen, uint64_t u64RecordSector,
                                                uint32_t u32Cluster, const __VIRTUAL_DBR_INFO__* pDbr) {
    __VIRTUAL_DBR_INFO__ dbr{};
    if (IsVirtualDbrSet(pDbr)) {
        dbr = *pDbr;
    } else if (const __VIRTUAL_DBR_INFO__* pFound = m_dbrList.GetVirtualDbrInfo(u64RecordSector, u32Cluster)) {
        dbr = *pFound;
    }
    const __VIRTUAL_DBR_INFO__* pUse = IsVirtualDbrSet(&dbr) ? &dbr : nullptr;
    __LONG_FILE_INFO__ longInfo;
    DealProfessionalFatFileEntry(pBuf, nLen, u64RecordSector, u32Cluster, &longInfo, pUse);
    FollowPendingChain(longInfo, u64RecordSector, u32Cluster, pUse);
    return 0;
}

bool CProfessionalFatRecovery::ChainContinuesIn(const __LONG_FILE_INFO__& longInfo, uint64_t u64Sector,
                                                const std::vector<unsigned char>& vecSector) const {
    if (vecSector.size() < static_cast<size_t>(FAT_DIR_ENTRY_BYTES)) return false;
    const unsigned char* pFirst = vecSector.data();
    if (pFirst[11] != FAT_ATTR_LONG_NAME)
        return pFirst[0] != FAT_ENTRY_DELETED && pFirst[0] != FAT_ENTRY_END_OF_DIR &&
               GetShortNameCheckSum(pFirst) == longInfo.btCheckSum;
    if (pFirst[13] != longInfo.btCheckSum) return false;
    if (!IsVirtualDbrSet(&longInfo.dbr)) return true;
    uint32_t u32Cluster = 0;
    uint64_t u64First = 0;
    return GetClusterHolding(longInfo.dbr, u64Sector, u32Cluster, u64First) &&
           u32Cluster == longInfo.dwParentClusterNO;
}

void CProfessionalFatRecovery::FollowPendingChain(__LONG_FILE_INFO__& longInfo, uint64_t u64RecordSector,
                                                  uint32_t u32Cluster, const __VIRTUAL_DBR_INFO__* pDbr) {
    while (longInfo.dwDataLen != 0) {
        auto it = m_mapUnDealFile.begin();
        for (; it != m_mapUnDealFile.end(); ++it)
            if (it->second.bDealt == 0 && ChainContinuesIn(longInfo, it->first, it->second.vecData)) break;
        if (it == m_mapUnDealFile.end()) {
            if (m_vecLongFileInfo.size() < MAX_LONG_FILE_INFOS) m_vecLongFileInfo.push_back(longInfo);
            return;
        }
        std::vector<unsigned char> vecJoined(longInfo.btData, longInfo.btData + longInfo.dwDataLen);
        vecJoined.insert(vecJoined.end(), it->second.vecData.begin(), it->second.vecData.end());
        it->second.bDealt = 1;
        std::vector<unsigned char>().swap(it->second.vecData);
        __LONG_FILE_INFO__ next;
        DealProfessionalFatFileEntry(vecJoined.data(), static_cast<int>(vecJoined.size()), u64RecordSector, u32Cluster,
                                     &next, pDbr);
        longInfo = next;
    }
}

std::vector<unsigned char> CProfessionalFatRecovery::GetParentDirCluster(const unsigned char* pSector, int& nLen,
                                                                         uint64_t& u64Sector, uint32_t& u32Cluster) {
    std::vector<unsigned char> vecJoined;
    if (pSector == nullptr || nLen < FAT_DIR_ENTRY_BYTES) return vecJoined;
    for (auto it = m_vecLongFileInfo.begin(); it != m_vecLongFileInfo.end(); ++it) {
        bool bMatch;
        if (pSector[11] == FAT_ATTR_LONG_NAME)
            bMatch = pSector[13] == it->btCheckSum;
        else if (pSector[0] != FAT_ENTRY_DELETED)
            bMatch = GetShortNameCheckSum(pSector) == it->btCheckSum;
        else
            bMatch = u64Sector >= it->u64SectorNO && u64Sector - it->u64SectorNO < it->dbr.dwSectorsPerCluster;
        if (!bMatch) continue;
        vecJoined.assign(it->btData, it->btData + it->dwDataLen);
        vecJoined.insert(vecJoined.end(), pSector, pSector + nLen);
        nLen += static_cast<int>(it->dwDataLen);
        u64Sector = it->u64SectorNO;
        u32Cluster = it->dwParentClusterNO;
        m_vecLongFileInfo.erase(it);
        return vecJoined;
    }
    return vecJoined;
}

int CProfessionalFatRecovery::ParseUnDealFileMap() {
    m_lastDirContext = __FAT_DIR_CONTEXT__();
    for (auto it = m_mapUnDealFile.begin(); it != m_mapUnDealFile.end(); ++it) {
        if (it->second.bDealt != 0) continue;
        // Taken out first, so a chain cut at its own end can never be joined with itself.
        std::vector<unsigned char> vecSector;
        vecSector.swap(it->second.vecData);
        it->second.bDealt = 1;
        ParseUndealtSector(it->first, vecSector);
    }
    m_mapUnDealFile.clear();
    // The sectors that waited on disk came later in the sweep than any kept in memory.
    if (!m_undealtSpill.TakeAll([this](uint64_t u64Sector, std::vector<unsigned char>& vecSector) {
            ParseUndealtSector(u64Sector, vecSector);
        }))
        DebugLog("ProfessionalFat undealt sectors: the spill file could not be read back whole\n");
    return 0;
}

void CProfessionalFatRecovery::ParseUndealtSector(uint64_t u64Sector, std::vector<unsigned char>& vecSector) {
    int nLen = static_cast<int>(vecSector.size());
    uint64_t u64RecordSector = u64Sector;
    uint32_t u32Cluster = 0;
    std::vector<unsigned char> vecJoined = GetParentDirCluster(vecSector.data(), nLen, u64RecordSector, u32Cluster);
    if (!vecJoined.empty()) {
        ParseFatFDTRecord(vecJoined.data(), nLen, u64RecordSector, u32Cluster, nullptr);
        return;
    }
    const __VIRTUAL_DBR_INFO__* pFound = m_dbrList.GetClusterStartDbr(u64Sector, u32Cluster);
    if (pFound != nullptr) {
        const __VIRTUAL_DBR_INFO__ dbr = *pFound;
        ParseFatFDTRecord(vecSector.data(), nLen, u64Sector, u32Cluster, &dbr);
        m_lastDirContext.dbr = dbr;
        m_lastDirContext.dwClusterNO = u32Cluster;
        m_lastDirContext.u64SectorNO = u64Sector;
        return;
    }
    if (m_lastDirContext.Covers(u64Sector)) {
        const __FAT_DIR_CONTEXT__ context = m_lastDirContext;
        ParseFatFDTRecord(vecSector.data(), nLen, u64Sector, context.dwClusterNO, &context.dbr);
        return;
    }
    pFound = m_dbrList.GetBestVirtalDbr(u64Sector);
    uint64_t u64ClusterStart = 0;
    if (pFound == nullptr || !GetClusterHolding(*pFound, u64Sector, u32Cluster, u64ClusterStart)) return;
    const __VIRTUAL_DBR_INFO__ dbr = *pFound;
    ParseFatFDTRecord(vecSector.data(), nLen, u64ClusterStart, u32Cluster, &dbr);
}

void CProfessionalFatRecovery::AddFolderNodes() {
    if (!m_pScanResult) return;
    for (const auto& chain : m_mapDirChain) {
        const uint32_t u32Folder = chain.first;
        _FILE_NODE_ node;
        memset(&node, 0, sizeof(node));
        uint32_t u32Parent = m_dwRootClusterNO;
        __VIRTUAL_DBR_INFO__ dbr{};
        auto itRecord = m_mapDirInfo.find(u32Folder);
        if (itRecord != m_mapDirInfo.end()) {
            node = itRecord->second.node;
            u32Parent = node.nFileIndex;
            const __VIRTUAL_DBR_INFO__* pFound =
                IsVirtualDbrSet(&itRecord->second.dbr)
                    ? &itRecord->second.dbr
                    : m_dbrList.GetNearestVirtualDbrInfo(node.u64RecordSector, u32Parent);
            // Without a geometry the folder cannot be put anywhere in the tree.
            if (pFound == nullptr) continue;
            dbr = *pFound;
        } else {
            const __VIRTUAL_DBR_INFO__* pFound = IsVirtualDbrSet(&chain.second.dbr)
                                                     ? &chain.second.dbr
                                                     : m_dbrList.GetNearestVirtualDbrInfo(chain.second.u64SectorNO,
                                                                                          u32Folder);
            if (pFound == nullptr) continue;
            dbr = *pFound;
            // A folder whose parent cannot be read goes under the root: filing it under itself
            // would make it unreachable.
            if (GetParentClusterNO(&dbr, u32Folder, u32Parent) != 0 || u32Parent == u32Folder)
                u32Parent = m_dwRootClusterNO;
            node.wcDrive = m_wcDrive;
            node.nSourceType = m_nSourceType;
            node.bIsDir = 1;
            node.nDirIndex = u32Folder;
            snprintf(node.szFileName, sizeof(node.szFileName), "LostFolder%u", u32Folder);
        }
        node.bIsHealth = 1;
        node.nReserved = 0;
        node.nClusterSize = static_cast<uint32_t>(m_nBytesPerSector) * dbr.dwSectorsPerCluster;
        node.u64DataStartSector = dbr.dwDataStartOffset;
        node.u64PartitionStartSector = dbr.u64VolumeStartSector;
        int nDepth = 0;
        GetRootParentDirIndex(&dbr, u32Parent, nDepth);
        unsigned char* pSlot = m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_));
        if (pSlot == nullptr) return;
        node.nFileIndex = m_pScanResult->GetFileIndex();
        memcpy(pSlot, &node, sizeof(node));
        m_pScanResult->AddChildren(u32Parent, static_cast<unsigned int>(nDepth), node.nFileIndex, u32Folder,
                                   node.szFileName);
    }
}

int CProfessionalFatRecovery::DealProfessionalRecordVec() {
    ParseUnDealFileMap();
    AddFolderNodes();
    m_mapDirChain.clear();
    m_mapDirInfo.clear();
    ForgetLastFolderChain();
    UpdateNoDbrFileVec();
    for (__NO_DBR_FILE__& pending : m_vecNoDbrFile) {
        if (pending.bPlaced != 0) continue;
        const __VIRTUAL_DBR_INFO__* pFound = m_dbrList.GetBestVirtalDbr(pending.node.u64RecordSector);
        if (pFound == nullptr) continue;
        const __VIRTUAL_DBR_INFO__ dbr = *pFound;
        PlaceFileNode(pending.node, pending.node.nFileIndex, dbr);
        pending.bPlaced = 1;
    }
    m_vecNoDbrFile.clear();
    m_nNoDbrCheckedRecords = 0;
    m_nNoDbrCheckedGeometries = 0;
    if (m_pScanResult) m_pScanResult->FlushBufToFile();
    return 0;
}
