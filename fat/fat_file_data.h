#pragma once
// Reading the data of a FAT file found by either FAT engine: recovery of a file or a whole
// folder tree to a destination, preview of a file, and the health test of its first cluster.
// A file is read as clusters following each other from its first one, unless its engine's
// IFatClusterChain says the allocation table still holds its chain.
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "engine/file_node.h"
#include "engine/recovery_parse.h"

class CDiskReader;

// nClusterSize at or above this is refused with FAT_ERROR_CLUSTER_TOO_LARGE.
constexpr uint32_t FAT_MAX_READ_CLUSTER_BYTES = 104857601;
constexpr int FAT_ERROR_CLUSTER_TOO_LARGE = 29;

// The clusters of a file, as an allocation table tells them.
class IFatClusterChain {
public:
    // True when the file's clusters are to be followed through the table (its chain is there and
    // fits its size); false to read them one after another.
    virtual bool UsesChain(const _FILE_NODE_& node) = 0;
    // 0 with u32Next (0 when the chain ends), or a read error.
    virtual int FindNextClusterNO(const _FILE_NODE_& node, uint32_t u32Cluster, uint32_t& u32Next) = 0;

protected:
    ~IFatClusterChain() = default;
};


class CFatFileData {
public:
    // owner: the engine whose GetChildrenFileNode lists a folder's children. pChain null: every
    // file is read from consecutive clusters. bRootRuleInHealth: cluster 0 is the fixed root area in
    // the health test (the deep engine) rather than data start - 2 clusters (the fast engine).
    CFatFileData(IFileRecoveryParse& owner, CDiskReader& reader, int nBytesPerSector, IFatClusterChain* pChain,
                 bool bRootRuleInHealth);

    void SetRecoveryCallBack(RECOVERY_CALLBACK pCallBack, void* pParam) {
        m_pRecoveryCallBack = pCallBack;
        m_pCallBackParam = pParam;
    }

    // A file to the file pTargetPath; a folder and everything below it into the folder
    // pTargetPath, breadth first. Everything goes through the safe writer (util/safe_writer.h):
    // a name that is taken, or a link in the way, gives a unique name, and the walk goes on
    // under the folder path actually used. nBaseLevel: the number of folder separators of
    // pTargetPath minus the level of the folder's children in the engine's store. 0, the first
    // error met (a folder fails when any of its files does), or the recovery callback's answer
    // when it answered anything but 0: that stops the whole save.
    int SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel);
    // One node: a file is written to a new file at pTargetPath (or under a unique name when that
    // is taken); a folder is made there and queued for SaveFileData. The callback is told the path
    // used. 0 or an error code; the callback's own answer when it stopped. A file whose sectors
    // cannot all be read keeps what came before the first bad one and gives 30, with that sector
    // as GetLastUnreadableSector().
    int SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath);
    // A picture goes to "tmp.<ext>" in the scan-log folder, whose path is copied to pPreviewPath
    // (256 characters); anything else goes into pBuf, at most nBufLen bytes, and nBufLen becomes
    // the bytes copied (0 for a picture). A failed preview leaves no temporary file.
    int PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                PREVIEW_CALLBACK pPreViewCallBack, void* pParam);
    // 1 when the first sector of the file carries what its extension promises, or cannot be
    // checked (no extension, unreadable); 0 when it does not.
    int IsFileDataHealth(_FILE_NODE_* pNode, uint32_t u32SectorsPerCluster);

private:
    uint64_t ClusterFirstSector(const _FILE_NODE_& node, uint32_t u32Cluster, bool bRootRule) const;
    // Reads the first u64Wanted bytes (whole sectors, at most the cluster) of one cluster. 0 when
    // they all arrived, else an error (30 for a read fault, the failed sector noted) with u32Bytes
    // the bytes that arrived before it.
    int ReadCluster(const _FILE_NODE_& node, uint32_t u32Cluster, uint64_t u64Wanted, unsigned char* pBuf,
                    uint32_t& u32Bytes);
    // The cluster after u32Cluster, through the table when bChain; false when the file has no more.
    bool NextCluster(const _FILE_NODE_& node, bool bChain, uint32_t u32Cluster, uint32_t& u32Next, int& nError);
    // Whether this file is read through the table.
    bool UsesChain(const _FILE_NODE_& node);
    // 0 when the cluster size can be read cluster by cluster, else the error.
    int CheckClusterSize(const _FILE_NODE_& node) const;
    // Tells the callback; any non-zero answer is kept as the save's stop answer.
    int Report(int nProgress, int nErrorCode, const std::wstring& wstrTarget);

    IFileRecoveryParse& m_owner;
    CDiskReader& m_reader;
    int m_nBytesPerSector;
    IFatClusterChain* m_pChain;
    bool m_bRootRuleInHealth;
    RECOVERY_CALLBACK m_pRecoveryCallBack = nullptr;
    void* m_pCallBackParam = nullptr;
    int m_nStopAnswer = 0;  // the callback's first non-zero answer during this save
    // Folders still to be written: the folder's node and the path it was made under.
    std::deque<std::pair<_FILE_NODE_, std::wstring>> m_queSaveDir;
    std::wstring m_strCurPath;
};

