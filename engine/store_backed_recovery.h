#pragma once
// What every engine that keeps its finds in a result store shares: counting, searching and the
// folder path of a find are the store's, and each scan opens a fresh store whose file name says
// which engine made it ("<prefix><start sector>_<time>") or reopens a saved one.
#include <memory>
#include <string>
#include <vector>

#include "engine/recovery_parse.h"
#include "engine/scan_result_file_manager.h"

class CStoreBackedRecovery : public IFileRecoveryParse {
public:
    // The nodes made so far; 0 before any store.
    unsigned long long GetLostFileCount() override;
    // 87 before any store.
    int GetFileNodeParentDirPath(_FILE_NODE_* pNode, wchar_t* pPath, int nMaxLen) override;
    // Kept for stores made later too; 87 before any store.
    int InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam) override;
    // Nothing before any store.
    int SearchFileNode(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult) override;
    // The children of pParent, or of the root folder (StoreRootDirIndex) for a null parent at
    // level 0; 87 for a null parent at any other level; nothing before any store.
    int GetChildrenFileNode(_FILE_NODE_* pParent, unsigned int nLevel, std::vector<_FILE_NODE_>& vecChildren) override;
    int GetChildrenFileCount(_FILE_NODE_* pParent, unsigned int nLevel, unsigned int& nCount) override;

    CScanResultFileManager* GetScanResult() { return m_pScanResult.get(); }

    // "<szPrefix><start>_<year><month><day><hour><minute>" from the local time (the minute padded
    // with a blank to two places), as the saved scans name their stores.
    static std::wstring MakeStoreName(const char* szPrefix, unsigned long long u64StartSector);

protected:
    // The folder number the engine files the root's children under.
    virtual unsigned int StoreRootDirIndex() const { return 0; }
    // Replaces the store by a fresh one: the saved store pLogFile when it is given, else a new one
    // named for szPrefix and u64StartSector. Returns the store's Init result.
    int OpenStore(const wchar_t* pLogFile, const char* szPrefix, unsigned long long u64StartSector);

    std::unique_ptr<CScanResultFileManager> m_pScanResult;
    SEARCH_CALLBACK m_pSearchCallBack = nullptr;
    void* m_pSearchParam = nullptr;
};
