// Browsing, search, preview and saving of the deep scan: the root merges the four engines,
// everything else goes to the engine that made the node.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/node_order.h"
#include "engine/store_backed_recovery.h"
#include "session/professional_recovery.h"
#include "util/path.h"

namespace {
// NTFS data attribute type.
constexpr int NTFS_ATTR_DATA = 0x80;

std::string ExtensionOf(const char* szName) {
    char szExt[KORVALO_PATH_PART_SIZE] = {0};
    if (GetExtendName(szName, szExt) != 0) return std::string();
    return szExt;
}

bool SameExtension(const std::string& strLeft, const std::string& strRight) {
    return strcasecmp(strLeft.c_str(), strRight.c_str()) == 0;
}
}  // namespace

IFileRecoveryParse* CProfessionalRecovery::EngineOfSource(int nSourceType) {
    switch (nSourceType) {
        case FILE_SOURCE_FAST_NTFS:
        case FILE_SOURCE_FAST_FAT:
            return m_pFastRecovery;
        case FILE_SOURCE_DEEP_NTFS:
            return &m_proNtfsRecovery;
        case FILE_SOURCE_DEEP_FAT:
            return &m_proFatRecovery;
        case FILE_SOURCE_CARVING:
            return &m_fileTypeRecovery;
        default:
            return nullptr;
    }
}

int CProfessionalRecovery::GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                                               std::vector<_FILE_NODE_>& vecChildren) {
    if (pParent == nullptr && nLevel != 0) return KR_ERROR_INVALID_PARAMETER;
    if (pParent == nullptr) {
        if (m_pFastRecovery != nullptr) m_pFastRecovery->GetChildrenFileNode(nullptr, 0, vecChildren);
        m_proFatRecovery.GetChildrenFileNode(nullptr, 0, vecChildren);
        m_proNtfsRecovery.GetChildrenFileNode(nullptr, 0, vecChildren);
        m_fileTypeRecovery.GetChildrenFileNode(nullptr, 0, vecChildren);
    } else if (pParent->nSourceType != FILE_SOURCE_CARVING) {
        // Carved files have no children.
        if (IFileRecoveryParse* pEngine = EngineOfSource(pParent->nSourceType))
            pEngine->GetChildrenFileNode(pParent, nLevel, vecChildren);
    }
    std::sort(vecChildren.begin(), vecChildren.end(), VectorCmp);
    return KR_SUCCESS;
}

int CProfessionalRecovery::GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) {
    if (pParent == nullptr && nLevel != 0) return KR_ERROR_INVALID_PARAMETER;
    if (pParent == nullptr) {
        IFileRecoveryParse* engines[] = {m_pFastRecovery, &m_proFatRecovery, &m_proNtfsRecovery, &m_fileTypeRecovery};
        for (IFileRecoveryParse* pEngine : engines) {
            if (pEngine == nullptr) continue;
            unsigned int nEngineCount = 0;
            pEngine->GetChildrenFileCount(nullptr, 0, nEngineCount);
            nCount += nEngineCount;
        }
    } else if (pParent->nSourceType != FILE_SOURCE_CARVING) {
        if (IFileRecoveryParse* pEngine = EngineOfSource(pParent->nSourceType))
            pEngine->GetChildrenFileCount(pParent, nLevel, nCount);
    }
    return KR_SUCCESS;
}

unsigned long long CProfessionalRecovery::GetLostFileCount() {
    unsigned long long u64Count = m_proFatRecovery.GetLostFileCount() + m_proNtfsRecovery.GetLostFileCount() +
                                  m_fileTypeRecovery.GetLostFileCount();
    if (m_pFastRecovery != nullptr) u64Count += m_pFastRecovery->GetLostFileCount();
    return u64Count;
}

int CProfessionalRecovery::GetFileNodeParentDirPath(_FILE_NODE_* pNode, wchar_t* pPath, int nMaxLen) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    if (pNode->nSourceType == FILE_SOURCE_CARVING) {
        if (pPath != nullptr && nMaxLen > 0) pPath[0] = L'\0';
        return KR_SUCCESS;
    }
    IFileRecoveryParse* pEngine = EngineOfSource(pNode->nSourceType);
    return pEngine != nullptr ? pEngine->GetFileNodeParentDirPath(pNode, pPath, nMaxLen) : KR_SUCCESS;
}

int CProfessionalRecovery::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    IFileRecoveryParse* pEngine = EngineOfSource(pNode->nSourceType);
    // A node no engine here can serve must not be reported as saved.
    if (pEngine == nullptr) return KR_ERROR_INVALID_PARAMETER;
    return pEngine->SaveFileData(pNode, pTargetPath, nBaseLevel);
}

int CProfessionalRecovery::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                                   PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    IFileRecoveryParse* pEngine = pNode != nullptr ? EngineOfSource(pNode->nSourceType) : nullptr;
    if (pEngine == nullptr) {
        nBufLen = 0;
        return KR_ERROR_INVALID_PARAMETER;
    }
    return pEngine->PreView(pNode, pPreviewPath, pBuf, nBufLen, pPreViewCallBack, pParam);
}

int CProfessionalRecovery::GetUnUsedSectorCount(unsigned long long&, unsigned long long&) {
    return KR_SUCCESS;
}

int CProfessionalRecovery::BuildBitMapInfo() {
    return KR_SUCCESS;
}

int CProfessionalRecovery::InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam) {
    m_pSearchCallBack = pSearchCallBack;
    m_pSearchParam = pParam;
    if (m_pFastRecovery != nullptr) m_pFastRecovery->InitSearchCallBack(pSearchCallBack, pParam);
    m_proFatRecovery.InitSearchCallBack(pSearchCallBack, pParam);
    m_proNtfsRecovery.InitSearchCallBack(pSearchCallBack, pParam);
    m_fileTypeRecovery.InitSearchCallBack(pSearchCallBack, pParam);
    return KR_SUCCESS;
}

bool CProfessionalRecovery::GetFileSystemNodeFirstSector(const _FILE_NODE_& node, unsigned long long& u64Sector) {
    const unsigned long long u64Bps = static_cast<unsigned long long>(m_nBytesPerSector);
    if (node.nSourceType == FILE_SOURCE_FAST_FAT || node.nSourceType == FILE_SOURCE_DEEP_FAT) {
        u64Sector = GetFatNodeFirstDataSector(node, m_nBytesPerSector);
        return true;
    }
    if (node.nSourceType == FILE_SOURCE_FAST_NTFS || node.nSourceType == FILE_SOURCE_DEEP_NTFS) {
        std::vector<__RUNLIST__> vecRuns;
        m_proNtfsRecovery.GetRunListInfo(static_cast<long long>(node.u64RecordSector), NTFS_ATTR_DATA, vecRuns);
        if (vecRuns.empty()) return false;
        // The first run's offset is its absolute starting cluster.
        u64Sector = static_cast<unsigned long long>(vecRuns[0].n64LcnOffset) * node.nClusterSize / u64Bps +
                    node.u64PartitionStartSector;
        return true;
    }
    return false;
}

void CProfessionalRecovery::VisitFinds(wchar_t* pSearchKey, const FIND_VISITOR& onFind) {
    enum { FAST_STORE, CARVING_STORE, DEEP_FAT_STORE, DEEP_NTFS_STORE };
    const std::array<CScanResultFileManager*, 4> apStores = ResultStores();
    bool bGoOn = true;
    auto visitStore = [&](unsigned int nStore, auto onNode) {
        if (apStores[nStore] == nullptr || !bGoOn) return;
        apStores[nStore]->VisitFileNodeInfo(pSearchKey, [&](const _FILE_NODE_& node, unsigned int nRecord) {
            const __SEARCH_FILE_INFO__ hit(node);
            if (!onNode(hit)) return true;
            bGoOn = onFind(hit, FOUND_PLACE{nStore, nRecord});
            return bGoOn;
        });
    };

    // What the file systems found, by first data sector: a later find of the same data is a copy.
    std::unordered_map<unsigned long long, std::string> mapFoundBySector;
    auto isCopy = [&](const __SEARCH_FILE_INFO__& hit, unsigned long long u64Sector) {
        auto it = mapFoundBySector.find(u64Sector);
        if (it == mapFoundBySector.end()) return false;
        const std::string strExt = ExtensionOf(hit.szFileName);
        // A camera's .thm thumbnail is a JPEG: its carved copy is a duplicate too.
        return SameExtension(it->second, strExt) || (SameExtension(it->second, "thm") && SameExtension(strExt, "jpg"));
    };
    // Empty files share no data, so their first cluster says nothing.
    auto firstSector = [&](const __SEARCH_FILE_INFO__& hit, unsigned long long& u64Sector) {
        return hit.u64FileSize != 0 && GetFileSystemNodeFirstSector(hit, u64Sector);
    };

    visitStore(FAST_STORE, [&](const __SEARCH_FILE_INFO__& hit) {
        unsigned long long u64Sector = 0;
        if (firstSector(hit, u64Sector)) mapFoundBySector.emplace(u64Sector, ExtensionOf(hit.szFileName));
        return true;
    });
    // The deep engines meet the intact volume's finds again in its free space (the folders of
    // deleted files): the file system's own listing wins. They are not judged against each other.
    std::vector<std::pair<unsigned long long, std::string>> vecDeepSectors;
    auto takeDeep = [&](const __SEARCH_FILE_INFO__& hit) {
        unsigned long long u64Sector = 0;
        if (!firstSector(hit, u64Sector)) return true;
        if (m_pFastRecovery != nullptr && isCopy(hit, u64Sector)) return false;
        vecDeepSectors.emplace_back(u64Sector, ExtensionOf(hit.szFileName));
        return true;
    };
    visitStore(DEEP_FAT_STORE, takeDeep);
    visitStore(DEEP_NTFS_STORE, takeDeep);
    for (auto& sector : vecDeepSectors) mapFoundBySector.emplace(sector.first, std::move(sector.second));

    visitStore(CARVING_STORE, [&](const __SEARCH_FILE_INFO__& hit) { return !isCopy(hit, hit.u64RecordSector); });
}

int CProfessionalRecovery::ReadFind(FOUND_PLACE place, __SEARCH_FILE_INFO__& hit) {
    const std::array<CScanResultFileManager*, 4> apStores = ResultStores();
    if (place.nStore >= apStores.size() || apStores[place.nStore] == nullptr) return KR_ERROR_INVALID_PARAMETER;
    return apStores[place.nStore]->ReadFileNode(place.nRecord, hit);
}

size_t CProfessionalRecovery::GetStoredNodeCount() {
    size_t nNodes = 0;
    for (CScanResultFileManager* pStore : ResultStores())
        if (pStore != nullptr) nNodes += pStore->GetFileIndex();
    return nNodes;
}

int CProfessionalRecovery::SearchFileNode(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult) {
    // Room for every node the stores hold: what stays unused is never touched.
    try {
        vecResult.reserve(vecResult.size() + GetStoredNodeCount());
    } catch (const std::exception&) {
        // Without the room the list simply grows as it goes.
    }
    VisitFinds(pSearchKey, [&](const __SEARCH_FILE_INFO__& hit, FOUND_PLACE) {
        vecResult.push_back(hit);
        return true;
    });
    std::sort(vecResult.begin(), vecResult.end(), SearchVectorCmp);
    return KR_SUCCESS;
}

unsigned long long CProfessionalRecovery::GetHiddenDamagedCount() {
    // Carved finds are never judged damaged.
    unsigned long long u64Count = 0;
    for (CScanResultFileManager* pStore : {FastStore(), m_proFatRecovery.GetScanResult(), m_proNtfsRecovery.GetScanResult()})
        if (pStore != nullptr) u64Count += pStore->GetHiddenDamagedCount();
    return u64Count;
}

CScanResultFileManager* CProfessionalRecovery::FastStore() {
    // The ext placeholder keeps no store.
    auto* pStoreEngine = dynamic_cast<CStoreBackedRecovery*>(m_pFastRecovery);
    return pStoreEngine != nullptr ? pStoreEngine->GetScanResult() : nullptr;
}

std::array<CScanResultFileManager*, 4> CProfessionalRecovery::ResultStores() {
    return {FastStore(), m_fileTypeRecovery.GetScanResult(), m_proFatRecovery.GetScanResult(),
            m_proNtfsRecovery.GetScanResult()};
}

void CProfessionalRecovery::FlushStores() {
    for (CScanResultFileManager* pStore : ResultStores())
        if (pStore != nullptr) pStore->FlushBufToFile();
}

int CProfessionalRecovery::GetStoreError(std::string& strFolder) {
    for (CScanResultFileManager* pStore : ResultStores()) {
        if (pStore == nullptr || pStore->GetStoreError() == 0) continue;
        const std::string& strPath = pStore->GetNodeFilePath();
        strFolder = strPath.substr(0, strPath.find_last_of('/') + 1);
        return pStore->GetStoreError();
    }
    return 0;
}
