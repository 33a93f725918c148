#include "engine/store_backed_recovery.h"

#include <cstdio>

#include "engine/result_codes.h"
#include "util/rsb.h"
#include "util/text.h"

unsigned long long CStoreBackedRecovery::GetLostFileCount() {
    return m_pScanResult ? m_pScanResult->GetFileIndex() : 0;
}

int CStoreBackedRecovery::GetFileNodeParentDirPath(_FILE_NODE_* pNode, wchar_t* pPath, int nMaxLen) {
    if (!m_pScanResult) return KR_ERROR_INVALID_PARAMETER;
    return m_pScanResult->GetParentDirPath(pNode, pPath, nMaxLen);
}

int CStoreBackedRecovery::InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam) {
    m_pSearchCallBack = pSearchCallBack;
    m_pSearchParam = pParam;
    if (!m_pScanResult) return KR_ERROR_INVALID_PARAMETER;
    return m_pScanResult->InitSearchCallBack(pSearchCallBack, pParam);
}

int CStoreBackedRecovery::SearchFileNode(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult) {
    if (!m_pScanResult) return 0;
    return m_pScanResult->SearchFileNodeInfo(pSearchKey, vecResult);
}

int CStoreBackedRecovery::GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel,
                                              std::vector<_FILE_NODE_>& vecChildren) {
    if (!m_pScanResult) return pParent == nullptr && nLevel != 0 ? KR_ERROR_INVALID_PARAMETER : 0;
    return m_pScanResult->GetChildrenFileNode(pParent, nLevel, StoreRootDirIndex(), vecChildren);
}

int CStoreBackedRecovery::GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) {
    if (!m_pScanResult) return pParent == nullptr && nLevel != 0 ? KR_ERROR_INVALID_PARAMETER : 0;
    return m_pScanResult->GetChildrenFileCount(pParent, nLevel, StoreRootDirIndex(), nCount);
}

std::wstring CStoreBackedRecovery::MakeStoreName(const char* szPrefix, unsigned long long u64StartSector) {
    SYSTEMTIME now{};
    rsb_getLocalTime(&now);
    char szName[128];
    snprintf(szName, sizeof(szName), "%s%lld_%d%d%d%d%2d", szPrefix, static_cast<long long>(u64StartSector), now.wYear,
             now.wMonth, now.wDay, now.wHour, now.wMinute);
    return Ansi2Unicode(szName);
}

int CStoreBackedRecovery::OpenStore(const wchar_t* pLogFile, const char* szPrefix, unsigned long long u64StartSector) {
    m_pScanResult.reset(new CScanResultFileManager());
    std::wstring wstrName = pLogFile != nullptr && pLogFile[0] != L'\0' ? std::wstring(pLogFile)
                                                                        : MakeStoreName(szPrefix, u64StartSector);
    const int nResult = m_pScanResult->Init(&wstrName[0]);
    if (m_pSearchCallBack != nullptr) m_pScanResult->InitSearchCallBack(m_pSearchCallBack, m_pSearchParam);
    return nResult;
}
