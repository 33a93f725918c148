#include "engine/scan_result_file_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <unordered_set>

#include "device/disk_reader.h"
#include "engine/log_file_manager.h"
#include "engine/node_order.h"
#include "engine/result_codes.h"
#include "engine/search_extension_filter.h"
#include "util/app_folder.h"
#include "util/le.h"
#include "util/text.h"

namespace {
const size_t kMaxStoreNameBytes = 255;
// What Init answers when memory for the node buffer or the relation text cannot be had.
const int kResultOutOfMemory = 8;
const size_t kMaxSearchKeyBytes = 4096;
// Folder-info records encoded per write when the file is rewritten.
const size_t kDirInfoWriteRecords = 256;
// Records between two wanted ones that a child query reads rather than seeking past them.
const unsigned long long kReadGapRecords = 16;

// Files of the store live in the scan-log folder, where root writes: never follow a link there.
int OpenStoreFile(const std::string& strPath) {
    return open(strPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
}

void CloseFile(int& hFile) {
    if (hFile >= 0) close(hFile);
    hFile = -1;
}

// Writes all of nLen bytes at u64Offset. 0 or errno.
int WriteAllAt(int hFile, const void* pData, size_t nLen, unsigned long long u64Offset) {
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    while (nLen > 0) {
        ssize_t n = pwrite(hFile, p, nLen, static_cast<off_t>(u64Offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        p += n;
        nLen -= static_cast<size_t>(n);
        u64Offset += static_cast<unsigned long long>(n);
    }
    return 0;
}

// Reads up to nLen bytes at u64Offset into pBuf; nRead tells how many arrived. 0, errno, or 30
// when the file ended first.
int ReadAllAt(int hFile, unsigned char* pBuf, size_t nLen, unsigned long long u64Offset, size_t& nRead) {
    nRead = 0;
    while (nRead < nLen) {
        ssize_t n = pread(hFile, pBuf + nRead, nLen - nRead, static_cast<off_t>(u64Offset + nRead));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return KR_ERROR_READ_FAULT;
        nRead += static_cast<size_t>(n);
    }
    return 0;
}

unsigned long long FileSize(int hFile) {
    struct stat st;
    if (fstat(hFile, &st) != 0 || st.st_size < 0) return 0;
    return static_cast<unsigned long long>(st.st_size);
}

// Reads the whole records of a node file from its current position to u64FileSize in chunks of
// NODE_BUFFER_RECORDS and hands each chunk to onChunk(records, count, bytes read so far), which
// answers whether to go on. 0, or the error of a failed read.
template <typename ON_CHUNK>
int ReadNodeChunks(int hFile, unsigned long long u64FileSize, ON_CHUNK onChunk) {
    std::unique_ptr<unsigned char[]> pChunk(new (std::nothrow) unsigned char[NODE_BUFFER_SIZE]);
    if (!pChunk) return ENOMEM;
    unsigned long long u64Whole = u64FileSize - u64FileSize % NODE_RECORD_SIZE;
    unsigned long long u64Done = 0;
    while (u64Done < u64Whole) {
        int nWant = static_cast<int>(std::min<unsigned long long>(NODE_BUFFER_SIZE, u64Whole - u64Done));
        unsigned int nGot = 0;
        int nResult = ReadData(hFile, pChunk.get(), nWant, &nGot);
        u64Done += nGot;
        size_t nRecords = nGot / NODE_RECORD_SIZE;
        if (nRecords > 0 && !onChunk(pChunk.get(), nRecords, u64Done)) return 0;
        if (nResult != 0) return nResult;
    }
    return 0;
}

bool RecordIsDir(const unsigned char* pRecord) {
    return ReadLe32(pRecord + offsetof(_FILE_NODE_, bIsDir)) != 0;
}

bool RecordIsHealthy(const unsigned char* pRecord) {
    return ReadLe32(pRecord + offsetof(_FILE_NODE_, bIsHealth)) != 0;
}

const char* RecordName(const unsigned char* pRecord) {
    return reinterpret_cast<const char*>(pRecord + offsetof(_FILE_NODE_, szFileName));
}

// A record as the caller gets it: the bytes unchanged, except that the name always ends.
template <typename NODE>
void CopyRecord(const unsigned char* pRecord, NODE& node) {
    static_assert(sizeof(NODE) == NODE_RECORD_SIZE, "a node is its record's bytes");
    memcpy(static_cast<void*>(&node), pRecord, NODE_RECORD_SIZE);
    node.szFileName[sizeof(node.szFileName) - 1] = '\0';
}

// Damaged pictures are never shown.
bool IsHiddenRecord(const unsigned char* pRecord) {
    if (RecordIsHealthy(pRecord)) return false;
    char szExt[NODE_EXTENSION_CAPACITY];
    size_t nExtLen = GetLowerExtension(RecordName(pRecord), sizeof(_FILE_NODE_::szFileName), szExt);
    return IsDamagedPicture(false, szExt, nExtLen);
}

// Sorts by moving indexes and then each record once: records are 344 bytes, far too big to be
// swapped around by the sort itself.
template <typename NODE, typename LESS>
void SortRecords(std::vector<NODE>& vecNodes, LESS less) {
    if (vecNodes.size() < 2) return;
    std::vector<size_t> vecOrder(vecNodes.size());
    for (size_t i = 0; i < vecOrder.size(); ++i) vecOrder[i] = i;
    std::sort(vecOrder.begin(), vecOrder.end(), [&](size_t a, size_t b) { return less(vecNodes[a], vecNodes[b]); });
    // Place i must receive the record now at vecOrder[i]; follow each cycle of that permutation.
    for (size_t nStart = 0; nStart < vecOrder.size(); ++nStart) {
        if (vecOrder[nStart] == nStart) continue;
        NODE saved = vecNodes[nStart];
        size_t nPlace = nStart;
        while (vecOrder[nPlace] != nStart) {
            size_t nFrom = vecOrder[nPlace];
            vecNodes[nPlace] = vecNodes[nFrom];
            vecOrder[nPlace] = nPlace;
            nPlace = nFrom;
        }
        vecNodes[nPlace] = saved;
        vecOrder[nPlace] = nPlace;
    }
}

// Growing the hit list by doubling copies it again and again, and fresh memory is costly to
// touch: once the chunks read so far show how many hits to expect, make room for them at once.
// Room that stays unused is never touched, so an estimate that is too high costs little.
void ReserveForProjectedHits(std::vector<__SEARCH_FILE_INFO__>& vecResult, size_t nHits,
                             unsigned long long u64Done, unsigned long long u64FileSize) {
    if (nHits == 0 || u64Done == 0 || u64Done >= u64FileSize) return;
    long double ldProjected = static_cast<long double>(nHits) * u64FileSize / u64Done * 1.125L;
    size_t nWanted = vecResult.size() - nHits + static_cast<size_t>(ldProjected) + 1;
    if (nWanted <= vecResult.capacity()) return;
    try {
        vecResult.reserve(nWanted);
    } catch (const std::exception&) {
        // Without the room the list simply grows as it goes.
    }
}

unsigned int KeyLevel(unsigned long long u64Key) {
    return static_cast<unsigned int>(u64Key >> 32);
}

unsigned int KeyDirIndex(unsigned long long u64Key) {
    return static_cast<unsigned int>(u64Key & 0xFFFFFFFFu);
}
}  // namespace

CScanResultFileManager::CScanResultFileManager() : m_itLastKey(m_mapRelation.end()) {}

CScanResultFileManager::~CScanResultFileManager() {
    Close();
}

void CScanResultFileManager::Close() {
    if (m_pNodeBuf != nullptr || m_hNodeFile >= 0) FlushBufToFile();
    delete[] m_pNodeBuf;
    m_pNodeBuf = nullptr;
    CloseFile(m_hNodeFile);
    CloseFile(m_hRelationFile);
    CloseFile(m_hDirInfoFile);
    m_nBufLen = 0;
    m_nNodeCount = 0;
    m_u64TotalBytes = 0;
    m_mapRelation.clear();
    m_itLastKey = m_mapRelation.end();
    m_vecDirInfo.clear();
    m_bRelationDirty = false;
    m_bDirInfoDirty = false;
    m_bParentIndexValid = false;
    m_vecKeysInOrder.clear();
    m_vecParentIndex.clear();
    m_vecDirInfoIndex.clear();
}

int CScanResultFileManager::Init(wchar_t* pName) {
    char szFolder[LOG_FILE_PATH_SIZE] = {};
    int nResult = CLogFileManager::GetInstance().GetLogFileDirPath(szFolder, sizeof(szFolder));
    if (nResult != 0) {
        Close();
        m_nStoreError = nResult;
        return nResult;
    }
    return Init(std::string(szFolder), pName);
}

int CScanResultFileManager::Init(const std::string& strFolder, const wchar_t* pName) {
    Close();
    m_nStoreError = OpenStore(strFolder, pName);
    return m_nStoreError;
}

void CScanResultFileManager::NoteWriteError(int nError) {
    if (nError != 0 && m_nStoreError == 0) m_nStoreError = nError;
}

int CScanResultFileManager::OpenStore(const std::string& strFolder, const wchar_t* pName) {
    if (pName == nullptr) return KR_ERROR_INVALID_PARAMETER;
    std::string strName = Unicode2Path(pName);
    if (strName.empty() || strName.size() > kMaxStoreNameBytes) return KR_ERROR_INVALID_PARAMETER;

    std::string strDir = strFolder;
    if (strDir.empty() || strDir.back() != '/') strDir += '/';
    // An existing folder is fine; a folder that cannot be made shows up as a failed open.
    rsb_makeDirs(strDir, 0755);
    m_strNodePath = strDir + strName;
    m_strRelationPath = m_strNodePath + "_Relation";
    m_strDirInfoPath = m_strNodePath + "_DirInfo";

    m_hNodeFile = OpenStoreFile(m_strNodePath);
    if (m_hNodeFile < 0) return errno;
    m_hRelationFile = OpenStoreFile(m_strRelationPath);
    if (m_hRelationFile < 0) return errno;
    off_t llNodeFileSize = lseek(m_hNodeFile, 0, SEEK_END);
    if (llNodeFileSize < 0) return errno;
    // A store reopened to go on with a scan numbers its new nodes after the old ones, so that
    // node n stays at (n - 1) * 344; a cut-off last record is overwritten.
    unsigned long long u64Records = static_cast<unsigned long long>(llNodeFileSize) / NODE_RECORD_SIZE;
    m_nNodeCount = static_cast<unsigned int>(
        std::min<unsigned long long>(u64Records, std::numeric_limits<unsigned int>::max()));
    m_u64TotalBytes = static_cast<unsigned long long>(m_nNodeCount) * NODE_RECORD_SIZE;

    bool bOutOfMemory = !LoadRelationFile();
    m_pNodeBuf = new (std::nothrow) unsigned char[m_nBufCapacity];
    if (m_pNodeBuf == nullptr) bOutOfMemory = true;
    LoadDirInfoFile();
    return bOutOfMemory ? kResultOutOfMemory : 0;
}

bool CScanResultFileManager::LoadRelationFile() {
    unsigned long long u64Size = FileSize(m_hRelationFile);
    if (u64Size == 0) return true;
    if (u64Size > static_cast<unsigned long long>(std::numeric_limits<int>::max())) return false;
    std::unique_ptr<char[]> pText(new (std::nothrow) char[u64Size]);
    if (!pText) return false;
    lseek(m_hRelationFile, 0, SEEK_SET);
    unsigned int nRead = 0;
    ReadData(m_hRelationFile, reinterpret_cast<unsigned char*>(pText.get()), static_cast<int>(u64Size), &nRead);
    GetDirRelationMap(pText.get(), static_cast<int>(nRead), m_mapRelation);
    lseek(m_hRelationFile, 0, SEEK_SET);
    return true;
}

void CScanResultFileManager::LoadDirInfoFile() {
    m_hDirInfoFile = OpenStoreFile(m_strDirInfoPath);
    if (m_hDirInfoFile < 0) return;  // the store then keeps folder names in memory only
    unsigned long long u64Records = FileSize(m_hDirInfoFile) / DIR_FILE_INFO_SIZE;
    unsigned char btChunk[DIR_FILE_INFO_SIZE * 64];
    unsigned long long u64Offset = 0;
    while (u64Records > 0) {
        size_t nWant = static_cast<size_t>(std::min<unsigned long long>(u64Records, 64));
        size_t nRead = 0;
        int nResult = ReadAllAt(m_hDirInfoFile, btChunk, nWant * DIR_FILE_INFO_SIZE, u64Offset, nRead);
        size_t nWhole = nRead / DIR_FILE_INFO_SIZE;
        for (size_t i = 0; i < nWhole; ++i) m_vecDirInfo.push_back(DecodeDirFileInfo(btChunk + i * DIR_FILE_INFO_SIZE));
        if (nResult != 0) break;
        u64Records -= nWhole;
        u64Offset += nRead;
    }
    lseek(m_hDirInfoFile, 0, SEEK_SET);
}

unsigned char* CScanResultFileManager::CreateFileNode(int nSize) {
    if (m_pNodeBuf == nullptr || nSize <= 0 || static_cast<unsigned int>(nSize) > m_nBufCapacity) return nullptr;
    if (m_nNodeCount == std::numeric_limits<unsigned int>::max()) return nullptr;
    if (m_nBufLen + static_cast<unsigned int>(nSize) > m_nBufCapacity) WriteNodeBuffer();  // a failure drops the run
    unsigned char* pSlot = m_pNodeBuf + m_nBufLen;
    memset(pSlot, 0, static_cast<size_t>(nSize));  // no bytes of an earlier node leak into this one
    m_nBufLen += static_cast<unsigned int>(nSize);
    m_u64TotalBytes += static_cast<unsigned int>(nSize);
    ++m_nNodeCount;
    return pSlot;
}

int CScanResultFileManager::WriteNodeBuffer() {
    // Written where the buffer's first record belongs, so a run lost to a failed write leaves a
    // gap instead of shifting every later node away from its number.
    unsigned long long u64Offset = m_u64TotalBytes - m_nBufLen;
    int nResult = m_hNodeFile < 0 ? EBADF : WriteAllAt(m_hNodeFile, m_pNodeBuf, m_nBufLen, u64Offset);
    m_nBufLen = 0;
    NoteWriteError(nResult);
    return nResult;
}

void CScanResultFileManager::AddChildren(unsigned int dirIndex, unsigned int nLevel, unsigned int childFileIndex,
                                         unsigned int childDirIndex, char* szChildName) {
    unsigned long long u64Key = MakeChildrenKey(dirIndex, nLevel);
    if (m_itLastKey == m_mapRelation.end() || m_itLastKey->first != u64Key)
        m_itLastKey = m_mapRelation.try_emplace(u64Key).first;
    m_itLastKey->second.push_back(childFileIndex);
    m_bRelationDirty = true;
    m_bParentIndexValid = false;
    if (szChildName != nullptr) {
        _DIR_FILE_INFO_ info;
        memset(&info, 0, sizeof(info));
        info.nDirIndex = childDirIndex;
        info.nFileIndex = childFileIndex;
        strncpy(info.szFileName, szChildName, sizeof(info.szFileName) - 1);
        m_vecDirInfo.push_back(info);
        m_bDirInfoDirty = true;
    }
}

void CScanResultFileManager::FlushBufToFile() {
    if (m_nBufLen > 0 && WriteNodeBuffer() != 0) return;
    if (m_bRelationDirty) RewriteRelationFile();
    if (m_bDirInfoDirty) RewriteDirInfoFile();
}

void CScanResultFileManager::RewriteRelationFile() {
    if (m_hRelationFile < 0) return;
    unsigned long long u64Offset = 0;
    bool bWritten = FormatRelationText(m_mapRelation, [&](const char* pData, size_t nLen) {
        const int nError = WriteAllAt(m_hRelationFile, pData, nLen, u64Offset);
        NoteWriteError(nError);
        if (nError != 0) return false;
        u64Offset += nLen;
        return true;
    });
    if (!bWritten) return;  // stays dirty: the next flush tries again
    // Normally the text only grows; cut whatever an older, longer text left behind.
    if (ftruncate(m_hRelationFile, static_cast<off_t>(u64Offset)) == 0) m_bRelationDirty = false;
    lseek(m_hRelationFile, 0, SEEK_SET);
}

void CScanResultFileManager::RewriteDirInfoFile() {
    if (m_hDirInfoFile < 0) return;
    unsigned char btChunk[DIR_FILE_INFO_SIZE * kDirInfoWriteRecords];
    unsigned long long u64Offset = 0;
    for (size_t nFirst = 0; nFirst < m_vecDirInfo.size(); nFirst += kDirInfoWriteRecords) {
        size_t nCount = std::min(kDirInfoWriteRecords, m_vecDirInfo.size() - nFirst);
        for (size_t i = 0; i < nCount; ++i) EncodeDirFileInfo(m_vecDirInfo[nFirst + i], btChunk + i * DIR_FILE_INFO_SIZE);
        const int nError = WriteAllAt(m_hDirInfoFile, btChunk, nCount * DIR_FILE_INFO_SIZE, u64Offset);
        NoteWriteError(nError);
        if (nError != 0) return;
        u64Offset += nCount * DIR_FILE_INFO_SIZE;
    }
    if (ftruncate(m_hDirInfoFile, static_cast<off_t>(u64Offset)) == 0) m_bDirInfoDirty = false;
    lseek(m_hDirInfoFile, 0, SEEK_SET);
}

const std::vector<unsigned int>* CScanResultFileManager::FindChildList(unsigned long long u64Key) const {
    if (m_mapRelation.empty()) return nullptr;
    if (u64Key == 0) return &m_mapRelation.begin()->second;
    auto it = m_mapRelation.find(u64Key);
    return it == m_mapRelation.end() ? nullptr : &it->second;
}

template <typename VISIT>
int CScanResultFileManager::ReadNodes(const std::vector<unsigned int>& vecNodes, VISIT visit) {
    if (vecNodes.empty()) return 0;
    if (!m_pReadBuf) m_pReadBuf.reset(new (std::nothrow) unsigned char[NODE_BUFFER_SIZE]);
    if (!m_pReadBuf) return ENOMEM;
    size_t i = 0;
    while (i < vecNodes.size()) {
        unsigned long long u64First = vecNodes[i];
        if (u64First == 0) return KR_ERROR_READ_FAULT;  // numbers count from 1: no such record
        // Scans number a folder's children close together: one read covers a run of ascending
        // numbers with small gaps, which costs less than a system call per node.
        size_t nEnd = i + 1;
        unsigned long long u64Last = u64First;
        while (nEnd < vecNodes.size() && vecNodes[nEnd] > u64Last &&
               vecNodes[nEnd] - u64Last <= kReadGapRecords + 1 && vecNodes[nEnd] - u64First < NODE_BUFFER_RECORDS) {
            u64Last = vecNodes[nEnd];
            ++nEnd;
        }
        size_t nRead = 0;
        int nResult = ReadAllAt(m_hNodeFile, m_pReadBuf.get(), (u64Last - u64First + 1) * NODE_RECORD_SIZE,
                                (u64First - 1) * NODE_RECORD_SIZE, nRead);
        for (; i < nEnd; ++i) {
            size_t nOffset = static_cast<size_t>(vecNodes[i] - u64First) * NODE_RECORD_SIZE;
            if (nOffset + NODE_RECORD_SIZE > nRead) return nResult != 0 ? nResult : KR_ERROR_READ_FAULT;
            visit(m_pReadBuf.get() + nOffset);
        }
    }
    return 0;
}

int CScanResultFileManager::GetChildrenFileNode(unsigned long long u64Key, std::vector<_FILE_NODE_>& vecChildren) {
    const std::vector<unsigned int>* pList = FindChildList(u64Key);
    if (pList == nullptr) return 0;
    int nResult = ReadNodes(*pList, [&](const unsigned char* pRecord) {
        if (IsHiddenRecord(pRecord)) return;
        vecChildren.emplace_back();
        CopyRecord(pRecord, vecChildren.back());
    });
    if (nResult != 0) return nResult;
    SortRecords(vecChildren, VectorCmp);
    return 0;
}

int CScanResultFileManager::GetChildrenFileCount(unsigned long long u64Key, unsigned int& nCount) {
    nCount = 0;
    std::deque<unsigned long long> queKeys{u64Key};
    // Each folder is counted once, so a damaged tree that lists a folder twice, or under
    // itself, can neither loop nor multiply the work.
    std::unordered_set<unsigned long long> setDone;
    while (!queKeys.empty()) {
        unsigned long long u64Current = queKeys.front();
        queKeys.pop_front();
        const std::vector<unsigned int>* pList = FindChildList(u64Current);
        if (pList == nullptr) continue;
        if (u64Current == 0) u64Current = m_mapRelation.begin()->first;
        if (!setDone.insert(u64Current).second) continue;
        unsigned int nChildLevel = KeyLevel(u64Current) + 1;
        int nResult = ReadNodes(*pList, [&](const unsigned char* pRecord) {
            if (RecordIsDir(pRecord))
                queKeys.push_back(MakeChildrenKey(ReadLe32(pRecord + offsetof(_FILE_NODE_, nDirIndex)), nChildLevel));
            else
                ++nCount;
        });
        if (nResult != 0) return nResult;
    }
    return 0;
}

int CScanResultFileManager::GetChildrenFileNode(const _FILE_NODE_* pParent, unsigned int nLevel,
                                                unsigned int nRootDirIndex, std::vector<_FILE_NODE_>& vecChildren) {
    if (pParent == nullptr && nLevel != 0) return KR_ERROR_INVALID_PARAMETER;
    FlushBufToFile();
    return GetChildrenFileNode(MakeChildrenKey(pParent ? pParent->nDirIndex : nRootDirIndex, nLevel), vecChildren);
}

int CScanResultFileManager::GetChildrenFileCount(const _FILE_NODE_* pParent, unsigned int nLevel,
                                                 unsigned int nRootDirIndex, unsigned int& nCount) {
    if (pParent == nullptr && nLevel != 0) return KR_ERROR_INVALID_PARAMETER;
    FlushBufToFile();
    return GetChildrenFileCount(MakeChildrenKey(pParent ? pParent->nDirIndex : nRootDirIndex, nLevel), nCount);
}

void CScanResultFileManager::BuildParentIndex() {
    m_vecKeysInOrder.clear();
    m_vecParentIndex.clear();
    m_vecDirInfoIndex.clear();
    size_t nEntries = 0;
    for (const auto& record : m_mapRelation) nEntries += record.second.size();
    m_vecKeysInOrder.reserve(m_mapRelation.size());
    m_vecParentIndex.reserve(nEntries);
    for (const auto& record : m_mapRelation) {
        uint32_t nOrdinal = static_cast<uint32_t>(m_vecKeysInOrder.size());
        m_vecKeysInOrder.push_back(record.first);
        for (unsigned int nChild : record.second) m_vecParentIndex.push_back({nChild, nOrdinal});
    }
    std::sort(m_vecParentIndex.begin(), m_vecParentIndex.end(), [](const ParentEntry& a, const ParentEntry& b) {
        return a.nFileIndex != b.nFileIndex ? a.nFileIndex < b.nFileIndex : a.nKeyOrdinal < b.nKeyOrdinal;
    });
    m_vecDirInfoIndex.reserve(m_vecDirInfo.size());
    for (size_t i = 0; i < m_vecDirInfo.size(); ++i)
        m_vecDirInfoIndex.push_back({m_vecDirInfo[i].nDirIndex, static_cast<uint32_t>(i)});
    std::sort(m_vecDirInfoIndex.begin(), m_vecDirInfoIndex.end(), [](const DirInfoEntry& a, const DirInfoEntry& b) {
        return a.nDirIndex != b.nDirIndex ? a.nDirIndex < b.nDirIndex : a.nPosition < b.nPosition;
    });
    m_bParentIndexValid = true;
}

bool CScanResultFileManager::FindParentKey(unsigned int nFileIndex, unsigned long long& u64Key) {
    if (!m_bParentIndexValid) BuildParentIndex();
    auto it = std::lower_bound(m_vecParentIndex.begin(), m_vecParentIndex.end(), nFileIndex,
                               [](const ParentEntry& entry, unsigned int n) { return entry.nFileIndex < n; });
    if (it == m_vecParentIndex.end() || it->nFileIndex != nFileIndex) return false;
    u64Key = m_vecKeysInOrder[it->nKeyOrdinal];
    return true;
}

long long CScanResultFileManager::FindDirInfo(unsigned int nDirIndex) {
    if (!m_bParentIndexValid) BuildParentIndex();
    auto it = std::lower_bound(m_vecDirInfoIndex.begin(), m_vecDirInfoIndex.end(), nDirIndex,
                               [](const DirInfoEntry& entry, unsigned int n) { return entry.nDirIndex < n; });
    if (it == m_vecDirInfoIndex.end() || it->nDirIndex != nDirIndex) return -1;
    return it->nPosition;
}

int CScanResultFileManager::GetParentFileNode(const _FILE_NODE_* pNode, std::vector<_FILE_NODE_>& vecParents) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    if (m_mapRelation.empty()) return 0;
    const unsigned long long u64RootKey = m_mapRelation.begin()->first;
    // Every step climbs through another folder key; coming back to one means a damaged tree.
    std::unordered_set<unsigned long long> setPassed;
    unsigned int nCurrent = pNode->nFileIndex;
    while (true) {
        unsigned long long u64Key = 0;
        if (!FindParentKey(nCurrent, u64Key) || u64Key == u64RootKey) return 0;
        if (!setPassed.insert(u64Key).second) return 0;
        _FILE_NODE_ parent;
        memset(&parent, 0, sizeof(parent));
        long long llPosition = FindDirInfo(KeyDirIndex(u64Key));
        if (llPosition >= 0) {
            const _DIR_FILE_INFO_& info = m_vecDirInfo[static_cast<size_t>(llPosition)];
            if (info.nFileIndex == nCurrent) return 0;  // a folder registered under itself
            parent.bIsDir = 1;
            parent.nFileIndex = info.nFileIndex;
            parent.nDirIndex = info.nDirIndex;
            memcpy(parent.szFileName, info.szFileName, sizeof(parent.szFileName));
            parent.szFileName[sizeof(parent.szFileName) - 1] = '\0';
        } else {
            int nResult = GetFileNodeByClusterNO(KeyDirIndex(u64Key), &parent);
            if (nResult != 0) return nResult;
            if (parent.nFileIndex == nCurrent) return 0;
        }
        vecParents.push_back(parent);
        nCurrent = parent.nFileIndex;
    }
}

int CScanResultFileManager::GetParentDirPath(const _FILE_NODE_* pNode, wchar_t* pOut, int nCapacity) {
    if (pNode == nullptr || pOut == nullptr || nCapacity < 1) return KR_ERROR_INVALID_PARAMETER;
    std::vector<_FILE_NODE_> vecParents;
    GetParentFileNode(pNode, vecParents);  // a walk that ends early still gives the folders found
    std::string strPath;
    for (size_t i = vecParents.size(); i-- > 0;) {
        strPath.append(vecParents[i].szFileName, strnlen(vecParents[i].szFileName, sizeof(vecParents[i].szFileName)));
        strPath += '/';
    }
    return Ansi2Unicode(strPath.c_str(), pOut, nCapacity);
}

int CScanResultFileManager::GetFileNodeByClusterNO(unsigned int dirIndex, _FILE_NODE_* pOut) {
    if (pOut == nullptr) return KR_ERROR_INVALID_PARAMETER;
    int hFile = open(m_strNodePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return errno;
    bool bFound = false;
    int nResult = ReadNodeChunks(hFile, FileSize(hFile), [&](const unsigned char* pRecords, size_t nRecords,
                                                             unsigned long long) {
        for (size_t i = 0; i < nRecords; ++i) {
            const unsigned char* pRecord = pRecords + i * NODE_RECORD_SIZE;
            if (ReadLe32(pRecord + offsetof(_FILE_NODE_, nDirIndex)) != dirIndex) continue;
            CopyRecord(pRecord, *pOut);
            if (RecordIsDir(pRecord)) {
                bFound = true;
                return false;
            }
        }
        return true;
    });
    close(hFile);
    if (bFound) return 0;
    return nResult != 0 ? nResult : KR_ERROR_INVALID_PARAMETER;
}

void CScanResultFileManager::GetDirRelationMap(const char* pText, int nLen, RELATION_MAP& relations) {
    if (nLen <= 0) return;
    ParseRelationText(pText, static_cast<size_t>(nLen), relations);
}

int CScanResultFileManager::InitSearchCallBack(SEARCH_CALLBACK pSearchCallBack, void* pParam) {
    m_pSearchCallBack = pSearchCallBack;
    m_pSearchParam = pParam;
    return 0;
}

template <typename ON_HIT, typename ON_CHUNK_END>
int CScanResultFileManager::WalkSelectedRecords(wchar_t* pSearchKey, ON_HIT onHit, ON_CHUNK_END onChunkEnd) {
    std::string strKey = Unicode2Ansi(pSearchKey);
    if (strKey.size() > kMaxSearchKeyBytes) strKey.resize(kMaxSearchKeyBytes);
    FlushBufToFile();
    bool bWantOther = strKey.find(".other") != std::string::npos;

    int hFile = open(m_strNodePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return 0;
    unsigned long long u64FileSize = FileSize(hFile);
    if (u64FileSize > SEARCH_OTHER_MAX_FILE_SIZE) bWantOther = false;

    CSearchExtensionFilter filter(strKey.c_str(), bWantOther);
    unsigned long long u64RecordsBefore = 0;
    ReadNodeChunks(hFile, u64FileSize, [&](const unsigned char* pRecords, size_t nRecords, unsigned long long u64Done) {
        for (size_t i = 0; i < nRecords; ++i) {
            const unsigned char* pRecord = pRecords + i * NODE_RECORD_SIZE;
            if (RecordIsDir(pRecord)) continue;
            if (!filter.Takes(RecordName(pRecord), sizeof(_FILE_NODE_::szFileName), RecordIsHealthy(pRecord))) continue;
            if (!onHit(pRecord, static_cast<unsigned int>(u64RecordsBefore + i + 1))) return false;
        }
        u64RecordsBefore += nRecords;
        if (!onChunkEnd(u64Done, u64FileSize)) return false;
        if (m_pSearchCallBack == nullptr) return true;
        int nPercent = static_cast<int>(u64Done * 100 / u64FileSize);
        return m_pSearchCallBack(m_pSearchParam, nPercent, nullptr) == 0;
    });
    close(hFile);
    m_u64HiddenDamagedCount = filter.HiddenDamagedCount();
    return 1;
}

int CScanResultFileManager::SearchFileNodeInfo(wchar_t* pSearchKey, std::vector<__SEARCH_FILE_INFO__>& vecResult) {
    const size_t nHitsBefore = vecResult.size();
    const int nRead = WalkSelectedRecords(
        pSearchKey,
        [&](const unsigned char* pRecord, unsigned int) {
            _FILE_NODE_ node;
            CopyRecord(pRecord, node);
            vecResult.emplace_back(node);
            return true;
        },
        [&](unsigned long long u64Done, unsigned long long u64FileSize) {
            ReserveForProjectedHits(vecResult, vecResult.size() - nHitsBefore, u64Done, u64FileSize);
            return true;
        });
    SortRecords(vecResult, SearchVectorCmp);
    return nRead;
}

int CScanResultFileManager::VisitFileNodeInfo(wchar_t* pSearchKey, const FOUND_NODE_VISITOR& onFind) {
    return WalkSelectedRecords(
        pSearchKey,
        [&](const unsigned char* pRecord, unsigned int nRecord) {
            _FILE_NODE_ node;
            CopyRecord(pRecord, node);
            return onFind(node, nRecord);
        },
        [](unsigned long long, unsigned long long) { return true; });
}

int CScanResultFileManager::ReadFileNode(unsigned int nRecord, _FILE_NODE_& node) {
    FlushBufToFile();
    if (m_hNodeFile < 0) return KR_ERROR_READ_FAULT;
    return ReadNodes(std::vector<unsigned int>{nRecord}, [&](const unsigned char* pRecord) { CopyRecord(pRecord, node); });
}
