#pragma once
// The on-disk store of one engine's scan results. Nodes are never kept in memory in bulk: they
// go to the node file in runs of NODE_BUFFER_RECORDS records and are read back one folder or
// one chunk at a time. Three files share one base name in the scan-log folder:
//   <name>           344-byte _FILE_NODE_ records, node n at byte (n - 1) * 344, append only;
//   <name>_Relation  the folder -> children text (engine/relation_text.h), rewritten on flush;
//   <name>_DirInfo   264-byte _DIR_FILE_INFO_ records of the folders, rewritten on flush.
// One thread at a time; nothing is locked.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/dir_file_info.h"
#include "engine/file_node.h"
#include "engine/recovery_parse.h"
#include "engine/relation_text.h"

constexpr unsigned int NODE_RECORD_SIZE = sizeof(_FILE_NODE_);
constexpr unsigned int NODE_BUFFER_RECORDS = 200;
constexpr unsigned int NODE_BUFFER_SIZE = NODE_RECORD_SIZE * NODE_BUFFER_RECORDS;  // 68800
// Above this node-file size a search leaves out the "other" category.
constexpr unsigned long long SEARCH_OTHER_MAX_FILE_SIZE = 0x7FFFFFF;

class CScanResultFileManager {
public:
    CScanResultFileManager();
    // Flushes, so the three files describe everything the store was given.
    ~CScanResultFileManager();
    CScanResultFileManager(const CScanResultFileManager&) = delete;
    CScanResultFileManager& operator=(const CScanResultFileManager&) = delete;

    // Opens (creating when absent) the three files named pName in the scan-log manager's current
    // folder, which is created too, and loads the relation and folder-info files. A store that
    // was already open is flushed, closed and emptied first. New nodes are numbered after the
    // whole records an existing node file already holds. Returns 0, 8 when the node buffer
    // cannot be had, 87 for a null, empty or too long name, or the errno of a failed open.
    int Init(wchar_t* pName);
    // The same in an explicit folder (ending with "/" or not).
    int Init(const std::string& strFolder, const wchar_t* pName);

    // A slot of nSize bytes (a whole _FILE_NODE_) in the node buffer, for the caller to fill
    // before it asks for the next slot or flushes. Writes out the buffer first when it is full.
    // Null when the store is not open, nSize is not in 1..NODE_BUFFER_SIZE, or the node numbers
    // are used up.
    unsigned char* CreateFileNode(int nSize);
    // The number of the slot handed out last (1-based): the node's nFileIndex.
    unsigned int GetFileIndex() const { return m_nNodeCount; }

    // Files node childFileIndex under the folder key (nLevel << 32) | dirIndex. A non-null
    // szChildName marks the child as a folder and records {childDirIndex, childFileIndex, name}.
    void AddChildren(unsigned int dirIndex, unsigned int nLevel, unsigned int childFileIndex,
                     unsigned int childDirIndex, char* szChildName);
    // Writes the buffered nodes and rewrites the relation and folder-info files when they
    // changed. A write error is kept as GetStoreError(): a failed node write drops the buffered
    // nodes (their numbers stay reserved) and leaves the other two files alone.
    void FlushBufToFile();

    // Appends the folder's children (key 0: the first key of the store) without damaged
    // pictures and sorts the whole vector. 0, or the error of a failed read (30 for a record
    // past the end of the node file), keeping what was read before.
    int GetChildrenFileNode(unsigned long long u64Key, std::vector<_FILE_NODE_>& vecChildren);
    // Counts the files in the folder and every folder below it (folders themselves are not
    // counted, damaged pictures are). 0 or the error of a failed read.
    int GetChildrenFileCount(unsigned long long u64Key, unsigned int& nCount);

    // The engines' parent form of the two queries: a null parent with level 0 means the folder
    // nRootDirIndex, a null parent with any other level is refused with 87 (nothing appended,
    // nCount untouched). The store is flushed first.
    int GetChildrenFileNode(const _FILE_NODE_* pParent, unsigned int nLevel, unsigned int nRootDirIndex,
                            std::vector<_FILE_NODE_>& vecChildren);
    int GetChildrenFileCount(const _FILE_NODE_* pParent, unsigned int nLevel, unsigned int nRootDirIndex,
                             unsigned int& nCount);

    // Appends the node's folders, nearest first, without the root. 87 for a null node; 87 or a
    // read error when a folder can be found neither in the folder list nor in the node file
    // (what was found stays appended). A walk that comes back to a folder it passed stops there.
    int GetParentFileNode(const _FILE_NODE_* pNode, std::vector<_FILE_NODE_>& vecParents);
    // The node's folder path "A/B/" (farthest first, each followed by "/") as wide text of at
    // most nCapacity characters including the NUL. 87 for a null node or out, or nCapacity < 1;
    // otherwise the result of the text conversion (0), also when the walk ended early.
    int GetParentDirPath(const _FILE_NODE_* pNode, wchar_t* pOut, int nCapacity);
    // Looks through the node file for a folder node whose nDirIndex is dirIndex: 0 with it in
    // pOut. Otherwise 87 (pOut holds the last file node of that nDirIndex, if any) or an error.
    int GetFileNodeByClusterNO(unsigned int dirIndex, _FILE_NODE_* pOut);

    // Parses relation text into relations (see ParseRelationText).
    static void GetDirRelationMap(const char* pText, int nLen, RELATION_MAP& relations);

    int InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam);
    // Appends every file node whose extension the key selects ("*.jpg|*.other|..." patterns,
    // "*.other" for files of no known category) and sorts the whole vector. Flushes first.
    // 1 when the node file was read, 0 when it could not be opened.
    int SearchFileNodeInfo(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult);
    // The same selection, handed to onFind(node, nRecord) in node-file order instead of kept:
    // nRecord is the node's place in the file from 1, the number ReadFileNode takes. onFind
    // answers whether to go on. 1 when the node file was read, 0 when it could not be opened.
    using FOUND_NODE_VISITOR = std::function<bool(const _FILE_NODE_& node, unsigned int nRecord)>;
    int VisitFileNodeInfo(wchar_t* pSearchKey, const FOUND_NODE_VISITOR& onFind);
    // Node nRecord (from 1) read back from the node file: 0, KR_ERROR_READ_FAULT past its end,
    // or the read's error.
    int ReadFileNode(unsigned int nRecord, _FILE_NODE_& node);
    // Pictures the last search would have taken but left out because they were judged damaged.
    unsigned long long GetHiddenDamagedCount() const { return m_u64HiddenDamagedCount; }

    // The first failure to create or write this store's files (no rights, disk full), 0 while
    // every find has been kept. A scan must not go on losing finds after it.
    int GetStoreError() const { return m_nStoreError; }

    // Paths of the three files (empty before Init).
    const std::string& GetNodeFilePath() const { return m_strNodePath; }
    const std::string& GetRelationFilePath() const { return m_strRelationPath; }
    const std::string& GetDirInfoFilePath() const { return m_strDirInfoPath; }

private:
    void Close();
    // Writes the node buffer at the place of its first record; returns 0 or errno.
    int WriteNodeBuffer();
    // Init's work, once the old store is closed.
    int OpenStore(const std::string& strFolder, const wchar_t* pName);
    // Keeps the first write failure.
    void NoteWriteError(int nError);
    void RewriteRelationFile();
    void RewriteDirInfoFile();
    // False when the text could not be held in memory.
    bool LoadRelationFile();
    void LoadDirInfoFile();

    // First key of the map for 0, else the key's own list; null when there is none.
    const std::vector<unsigned int>* FindChildList(unsigned long long u64Key) const;
    // Reads the listed nodes from the node file, several close numbers per read, and hands each
    // record to visit in list order. 0 or the error of the first failed read.
    template <typename VISIT>
    int ReadNodes(const std::vector<unsigned int>& vecNodes, VISIT visit);
    // The search's walk: each selected record to onHit(record, nRecord), and after each chunk
    // onChunkEnd(bytes read, node-file size); both answer whether to go on.
    template <typename ON_HIT, typename ON_CHUNK_END>
    int WalkSelectedRecords(wchar_t* pSearchKey, ON_HIT onHit, ON_CHUNK_END onChunkEnd);
    // The first key whose list holds nFileIndex (so the map's own order decides), or false.
    bool FindParentKey(unsigned int nFileIndex, unsigned long long& u64Key);
    // Position in the folder list of the first folder of that identity, or -1.
    long long FindDirInfo(unsigned int nDirIndex);
    void BuildParentIndex();

    unsigned char* m_pNodeBuf = nullptr;
    std::unique_ptr<unsigned char[]> m_pReadBuf;  // one run of records read back by a query
    unsigned int m_nBufLen = 0;
    const unsigned int m_nBufCapacity = NODE_BUFFER_SIZE;
    unsigned int m_nNodeCount = 0;
    unsigned long long m_u64TotalBytes = 0;  // bytes of all slots handed out

    int m_nStoreError = 0;
    int m_hNodeFile = -1;
    int m_hRelationFile = -1;
    int m_hDirInfoFile = -1;
    std::string m_strNodePath;
    std::string m_strRelationPath;
    std::string m_strDirInfoPath;

    RELATION_MAP m_mapRelation;
    std::vector<_DIR_FILE_INFO_> m_vecDirInfo;
    // Only what changed since the last flush is rewritten.
    bool m_bRelationDirty = false;
    bool m_bDirInfoDirty = false;
    // Scans add to one folder many times in a row: remember where it is in the map.
    RELATION_MAP::iterator m_itLastKey;

    // Built on the first parent query and dropped when children are added: node number ->
    // ordinal of its first key, and folder identity -> first folder-list position. Each a
    // sorted array, so a path costs a few binary searches instead of walks over every list.
    struct ParentEntry {
        uint32_t nFileIndex;
        uint32_t nKeyOrdinal;
    };
    struct DirInfoEntry {
        uint32_t nDirIndex;
        uint32_t nPosition;
    };
    bool m_bParentIndexValid = false;
    std::vector<unsigned long long> m_vecKeysInOrder;
    std::vector<ParentEntry> m_vecParentIndex;
    std::vector<DirInfoEntry> m_vecDirInfoIndex;

    SEARCH_CALLBACK m_pSearchCallBack = nullptr;
    void* m_pSearchParam = nullptr;
    unsigned long long m_u64HiddenDamagedCount = 0;
};
