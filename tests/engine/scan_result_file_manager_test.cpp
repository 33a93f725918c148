#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "engine/scan_result_file_manager.h"
#include "fixtures/temp_dir.h"

namespace {
const unsigned int kRootLevel = 0;

std::string ReadFile(const std::string& strPath) {
    std::ifstream file(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

long long FileSizeOf(const std::string& strPath) {
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Builds nodes the way the engines do: take a slot, fill it, file it under its folder.
class CStoreBuilder {
public:
    explicit CStoreBuilder(CScanResultFileManager& store) : m_store(store) {}

    unsigned int File(const char* szName, unsigned int nParentDir, unsigned int nLevel, int bIsHealth = 1) {
        return Add(szName, 0, 0, nParentDir, nLevel, bIsHealth, false);
    }
    unsigned int Folder(const char* szName, unsigned int nDirIndex, unsigned int nParentDir, unsigned int nLevel,
                        bool bInFolderList = true, int bIsHealth = 1) {
        return Add(szName, 1, nDirIndex, nParentDir, nLevel, bIsHealth, bInFolderList);
    }

private:
    unsigned int Add(const char* szName, int bIsDir, unsigned int nDirIndex, unsigned int nParentDir,
                     unsigned int nLevel, int bIsHealth, bool bInFolderList) {
        _FILE_NODE_* pNode = reinterpret_cast<_FILE_NODE_*>(m_store.CreateFileNode(sizeof(_FILE_NODE_)));
        EXPECT_NE(pNode, nullptr);
        if (pNode == nullptr) return 0;
        _FILE_NODE_ node;
        memset(&node, 0, sizeof(node));
        node.bIsDir = bIsDir;
        node.bIsHealth = bIsHealth;
        node.nDirIndex = nDirIndex;
        node.nFileIndex = m_store.GetFileIndex();
        strncpy(node.szFileName, szName, sizeof(node.szFileName) - 1);
        memcpy(static_cast<void*>(pNode), &node, sizeof(node));
        m_store.AddChildren(nParentDir, nLevel, node.nFileIndex, nDirIndex,
                            bInFolderList ? node.szFileName : nullptr);
        return node.nFileIndex;
    }
    CScanResultFileManager& m_store;
};

template <typename NODE>
std::vector<std::string> Names(const std::vector<NODE>& vecNodes) {
    std::vector<std::string> vecNames;
    for (const NODE& node : vecNodes) vecNames.emplace_back(node.szFileName);
    return vecNames;
}

std::vector<std::string> Children(CScanResultFileManager& store, unsigned long long u64Key) {
    std::vector<_FILE_NODE_> vecChildren;
    EXPECT_EQ(store.GetChildrenFileNode(u64Key, vecChildren), 0);
    return Names(vecChildren);
}

unsigned int Count(CScanResultFileManager& store, unsigned long long u64Key) {
    unsigned int nCount = 12345;
    EXPECT_EQ(store.GetChildrenFileCount(u64Key, nCount), 0);
    return nCount;
}

std::wstring PathOf(CScanResultFileManager& store, unsigned int nFileIndex) {
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    node.nFileIndex = nFileIndex;
    wchar_t wszPath[512];
    EXPECT_EQ(store.GetParentDirPath(&node, wszPath, 512), 0);
    return wszPath;
}

std::vector<std::string> Search(CScanResultFileManager& store, const wchar_t* pKey) {
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = pKey;
    EXPECT_EQ(store.SearchFileNodeInfo(&wstrKey[0], vecHits), 1);
    return Names(vecHits);
}

// A small tree: root (FAT root cluster 2, level 0) holds "Photos" (cluster 10) and "top.txt";
// Photos holds "Trip" (cluster 20) and "a.JPG"; Trip holds "b.mp4" and "c.jpg".
struct TreeIndexes {
    unsigned int nPhotos, nTop, nTrip, nA, nB, nC;
};
TreeIndexes BuildTree(CScanResultFileManager& store) {
    CStoreBuilder build(store);
    TreeIndexes t;
    t.nPhotos = build.Folder("Photos", 10, 2, 0);
    t.nTop = build.File("top.txt", 2, 0);
    t.nTrip = build.Folder("Trip", 20, 10, 1);
    t.nA = build.File("a.JPG", 10, 1);
    t.nB = build.File("b.mp4", 20, 2);
    t.nC = build.File("c.jpg", 20, 2);
    return t;
}

class ScanResultStore : public ::testing::Test {
protected:
    void Open(CScanResultFileManager& store) { ASSERT_EQ(store.Init(m_dir.Path(), L"Pro_Fat_1"), 0); }
    std::string StorePath() const { return m_dir.File("Pro_Fat_1"); }
    CTempDir m_dir;
};
}  // namespace

TEST_F(ScanResultStore, CarvedOnlyStoreKeepsEveryNodeUnderTheRoot) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    for (const char* szName : {"f1.jpg", "f2.mp3", "f3.pdf"}) build.File(szName, 0, kRootLevel);
    store.FlushBufToFile();

    EXPECT_EQ(FileSizeOf(StorePath()), 3 * 344);
    EXPECT_EQ(ReadFile(StorePath() + "_Relation"), " | 0 - [1,2,3]");
    EXPECT_EQ(FileSizeOf(StorePath() + "_DirInfo"), 0);
    EXPECT_EQ(Children(store, 0), (std::vector<std::string>{"f1.jpg", "f2.mp3", "f3.pdf"}));
    for (unsigned int n = 1; n <= 3; ++n) EXPECT_EQ(PathOf(store, n), L"");
}

TEST_F(ScanResultStore, The201stNodeWritesTheFirst200Records) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    for (int i = 0; i < 200; ++i) build.File("x.bin", 0, kRootLevel);
    EXPECT_EQ(FileSizeOf(StorePath()), 0);
    build.File("last.bin", 0, kRootLevel);
    EXPECT_EQ(store.GetFileIndex(), 201u);
    std::string strNodes = ReadFile(StorePath());
    ASSERT_EQ(strNodes.size(), 68800u);
    _FILE_NODE_ node;
    memcpy(&node, strNodes.data() + 199 * 344, sizeof(node));
    EXPECT_EQ(node.nFileIndex, 200u);
}

TEST_F(ScanResultStore, DamagedPicturesAreHiddenButCounted) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    build.File("bad.jpg", 0, kRootLevel, 0);
    build.File("bad.mp3", 0, kRootLevel, 0);
    build.File("bad", 0, kRootLevel, 0);
    build.File("good.jpg", 0, kRootLevel, 1);
    // A folder marked damaged with a picture name is hidden like a file; a healthy one is not.
    build.Folder("damaged.png", 7, 0, kRootLevel, true, 0);
    build.Folder("fine.png", 8, 0, kRootLevel);
    store.FlushBufToFile();

    EXPECT_EQ(Children(store, 0), (std::vector<std::string>{"bad", "bad.mp3", "good.jpg", "fine.png"}));
    EXPECT_EQ(Count(store, 0), 4u);
    EXPECT_EQ(Search(store, L"*.jpg|*.mp3|"), (std::vector<std::string>{"bad.mp3", "good.jpg"}));
    // The search says how many it left out; a picture nobody asked for is not among them.
    EXPECT_EQ(store.GetHiddenDamagedCount(), 1u);
    EXPECT_EQ(Search(store, L"*.mp3|"), (std::vector<std::string>{"bad.mp3"}));
    EXPECT_EQ(store.GetHiddenDamagedCount(), 0u);
}

TEST_F(ScanResultStore, TreeGivesSortedChildrenCountsAndPaths) {
    CScanResultFileManager store;
    Open(store);
    TreeIndexes t = BuildTree(store);
    store.FlushBufToFile();

    EXPECT_EQ(Children(store, 0), (std::vector<std::string>{"top.txt", "Photos"}));
    EXPECT_EQ(Children(store, MakeChildrenKey(10, 1)), (std::vector<std::string>{"a.JPG", "Trip"}));
    EXPECT_EQ(Count(store, 0), 4u);
    EXPECT_EQ(Count(store, MakeChildrenKey(10, 1)), 3u);
    EXPECT_EQ(Count(store, MakeChildrenKey(77, 1)), 0u);
    EXPECT_EQ(PathOf(store, t.nB), L"Photos/Trip/");
    EXPECT_EQ(PathOf(store, t.nA), L"Photos/");
    EXPECT_EQ(PathOf(store, t.nTop), L"");

    std::vector<_FILE_NODE_> vecParents;
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    node.nFileIndex = t.nC;
    EXPECT_EQ(store.GetParentFileNode(&node, vecParents), 0);
    EXPECT_EQ(Names(vecParents), (std::vector<std::string>{"Trip", "Photos"}));
    EXPECT_EQ(vecParents[0].nFileIndex, t.nTrip);
    EXPECT_EQ(vecParents[1].nFileIndex, t.nPhotos);
    EXPECT_EQ(store.GetParentFileNode(nullptr, vecParents), 87);

    // A path longer than the room given is cut, not overrun.
    wchar_t wszShort[8];
    wmemset(wszShort, L'#', 8);
    EXPECT_EQ(store.GetParentDirPath(&node, wszShort, 5), 0);
    EXPECT_EQ(std::wstring(wszShort), L"Phot");
    EXPECT_EQ(wszShort[5], L'#');
}

TEST_F(ScanResultStore, ReopeningAfterDestructionGivesTheSameResults) {
    TreeIndexes t;
    {
        CScanResultFileManager store;
        Open(store);
        t = BuildTree(store);  // never flushed by hand: the destructor must do it
    }
    CScanResultFileManager store;
    Open(store);
    EXPECT_EQ(Children(store, 0), (std::vector<std::string>{"top.txt", "Photos"}));
    EXPECT_EQ(Children(store, MakeChildrenKey(20, 2)), (std::vector<std::string>{"b.mp4", "c.jpg"}));
    EXPECT_EQ(Count(store, 0), 4u);
    EXPECT_EQ(PathOf(store, t.nC), L"Photos/Trip/");

    // A continued scan numbers new nodes after the old ones, so both stay reachable.
    EXPECT_EQ(store.GetFileIndex(), 6u);
    CStoreBuilder(store).File("new.txt", 20, 2);
    store.FlushBufToFile();
    EXPECT_EQ(Children(store, MakeChildrenKey(20, 2)), (std::vector<std::string>{"b.mp4", "c.jpg", "new.txt"}));
    EXPECT_EQ(FileSizeOf(StorePath()), 7 * 344);
}

TEST_F(ScanResultStore, SearchKeyRulesWithTheOtherCategory) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    // Each extension twice: the second meeting must be decided as the first.
    for (const char* szName : {"a.jpg", "z.mp4", "B.MP4", "a.xyz", "noext", "a.mp3", "dot.", "c.jpg", "q.xyz"})
        build.File(szName, 0, 0);
    build.Folder("folder.mp4", 9, 0, 0);
    // Not flushed: the search must see buffered nodes.
    EXPECT_EQ(Search(store, L"*.mp4|*.other"),
              (std::vector<std::string>{"a.xyz", "B.MP4", "dot.", "noext", "q.xyz", "z.mp4"}));
    EXPECT_EQ(Search(store, L"*.mp4|"), (std::vector<std::string>{"B.MP4", "z.mp4"}));
    EXPECT_TRUE(Search(store, L"").empty());

    // Hits join what the vector already held, and the whole vector is put in order.
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = L"*.mp3|";
    ASSERT_EQ(store.SearchFileNodeInfo(&wstrKey[0], vecHits), 1);
    wstrKey = L"*.mp4|";
    ASSERT_EQ(store.SearchFileNodeInfo(&wstrKey[0], vecHits), 1);
    EXPECT_EQ(Names(vecHits), (std::vector<std::string>{"a.mp3", "B.MP4", "z.mp4"}));
}

TEST_F(ScanResultStore, LargeNodeFileLeavesOutTheOtherCategory) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    for (const char* szName : {"a.xyz", "noext", "z.mp4"}) build.File(szName, 0, 0);
    store.FlushBufToFile();
    // Zero-filled (sparse) records up to just above the limit: nameless files of no category.
    ASSERT_EQ(truncate(StorePath().c_str(), 0x8000000 - 0x8000000 % 344 + 344), 0);
    EXPECT_EQ(Search(store, L"*.mp4|*.other"), (std::vector<std::string>{"z.mp4"}));
}

TEST_F(ScanResultStore, SearchReportsProgressAndStopsWhenAsked) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    for (int i = 0; i < 450; ++i) build.File("clip.mp4", 0, 0);
    struct Progress {
        std::vector<int> vecPercents;
        int nStopAfter;
    } progress{{}, 0};
    auto callback = [](void* pParam, int nPercent, wchar_t* pName) -> int {
        Progress* p = static_cast<Progress*>(pParam);
        EXPECT_EQ(pName, nullptr);
        p->vecPercents.push_back(nPercent);
        return p->nStopAfter != 0 && static_cast<int>(p->vecPercents.size()) >= p->nStopAfter;
    };
    EXPECT_EQ(store.InitSearchCallBack(callback, &progress), 0);
    EXPECT_EQ(Search(store, L"*.mp4|").size(), 450u);
    EXPECT_EQ(progress.vecPercents, (std::vector<int>{44, 88, 100}));

    progress = {{}, 1};
    EXPECT_EQ(Search(store, L"*.mp4|").size(), 200u);
}

TEST_F(ScanResultStore, ParentFoundInNodeFileOrMissingAltogether) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    build.Folder("Known", 10, 0, 0);
    build.Folder("Unlisted", 30, 10, 1, false);  // in the node file only
    unsigned int nInUnlisted = build.File("x.txt", 30, 2);
    // "Orphan" (cluster 40) lies in folder 99, which nothing describes.
    build.Folder("Orphan", 40, 99, 1);
    unsigned int nInOrphan = build.File("y.txt", 40, 2);
    store.FlushBufToFile();

    EXPECT_EQ(PathOf(store, nInUnlisted), L"Known/Unlisted/");
    std::vector<_FILE_NODE_> vecParents;
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    node.nFileIndex = nInOrphan;
    EXPECT_EQ(store.GetParentFileNode(&node, vecParents), 87);
    EXPECT_EQ(Names(vecParents), (std::vector<std::string>{"Orphan"}));

    _FILE_NODE_ found;
    EXPECT_EQ(store.GetFileNodeByClusterNO(30, &found), 0);
    EXPECT_STREQ(found.szFileName, "Unlisted");
    EXPECT_EQ(store.GetFileNodeByClusterNO(12345, &found), 87);
}

TEST_F(ScanResultStore, CyclesInTheTreeEndEveryWalk) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    build.File("root.txt", 0, 0);
    // A (cluster 10) lies in B, B (cluster 20) lies in A, and A also lies in itself.
    build.Folder("A", 10, 20, 1);
    build.Folder("B", 20, 10, 1);
    store.AddChildren(10, 2, 2, 10, nullptr);
    unsigned int nFile = build.File("f.txt", 10, 1);
    store.FlushBufToFile();

    EXPECT_EQ(PathOf(store, nFile), L"B/A/");  // stops where it would come round again
}

TEST_F(ScanResultStore, CountVisitsAFolderListedManyTimesOnce) {
    CScanResultFileManager store;
    Open(store);
    CStoreBuilder build(store);
    // Folder D (cluster 10) listed twice on each of 40 levels: walked naively that is 2^40 visits.
    unsigned int nFolder = build.Folder("D", 10, 0, 0);
    store.AddChildren(0, 0, nFolder, 10, nullptr);
    for (unsigned int nLevel = 1; nLevel <= 40; ++nLevel) {
        store.AddChildren(10, nLevel, nFolder, 10, nullptr);
        store.AddChildren(10, nLevel, nFolder, 10, nullptr);
    }
    build.File("deep.txt", 10, 41);
    store.FlushBufToFile();
    EXPECT_EQ(Count(store, 0), 1u);
}

TEST_F(ScanResultStore, ParentFormRefusesANullParentBelowTheRoot) {
    CScanResultFileManager store;
    Open(store);
    TreeIndexes t = BuildTree(store);
    std::vector<_FILE_NODE_> vecChildren;
    unsigned int nCount = 77;
    EXPECT_EQ(store.GetChildrenFileNode(nullptr, 1, 2, vecChildren), 87);
    EXPECT_TRUE(vecChildren.empty());
    EXPECT_EQ(store.GetChildrenFileCount(nullptr, 1, 2, nCount), 87);
    EXPECT_EQ(nCount, 77u);

    EXPECT_EQ(store.GetChildrenFileNode(nullptr, 0, 2, vecChildren), 0);
    EXPECT_EQ(Names(vecChildren), (std::vector<std::string>{"top.txt", "Photos"}));
    _FILE_NODE_ photos;
    memset(&photos, 0, sizeof(photos));
    photos.nDirIndex = 10;
    photos.nFileIndex = t.nPhotos;
    EXPECT_EQ(store.GetChildrenFileCount(&photos, 1, 2, nCount), 0);
    EXPECT_EQ(nCount, 3u);
}

TEST_F(ScanResultStore, DamagedStoreFilesAreReadSafely) {
    {
        CScanResultFileManager store;
        Open(store);
        CStoreBuilder build(store);
        build.File("one.txt", 0, 0);
        build.File("two.txt", 0, 0);
    }
    // Node 9 lies past the end of the node file; the list of key 5 is cut off.
    std::string strRelation = " | 0 - [1,9,2] | 5 - [1,";
    ASSERT_TRUE(WriteWholeFile(StorePath() + "_Relation", strRelation.data(), strRelation.size()));
    // One whole folder record whose name fills the field without a NUL, then a cut-off one.
    std::vector<unsigned char> vecDirInfo(264 + 100, 'n');
    memset(vecDirInfo.data(), 0, 8);
    vecDirInfo[0] = 44;
    ASSERT_TRUE(WriteWholeFile(StorePath() + "_DirInfo", vecDirInfo.data(), vecDirInfo.size()));

    CScanResultFileManager store;
    Open(store);
    std::vector<_FILE_NODE_> vecChildren;
    EXPECT_EQ(store.GetChildrenFileNode(0, vecChildren), 30);
    EXPECT_EQ(Names(vecChildren), (std::vector<std::string>{"one.txt"}));
    unsigned int nCount = 0;
    EXPECT_EQ(store.GetChildrenFileCount(5, nCount), 0);
    EXPECT_EQ(nCount, 0u);

    // The folder record is usable and its name ends inside the field.
    char szSub[] = "Sub";
    store.AddChildren(44, 1, 3, 50, szSub);
    store.FlushBufToFile();
    EXPECT_EQ(PathOf(store, 3), std::wstring(255, L'n') + L"/");
    // The rewrite keeps the whole folder record, drops the cut-off one and the old text's tail.
    EXPECT_EQ(FileSizeOf(StorePath() + "_DirInfo"), 2 * 264);
    EXPECT_EQ(ReadFile(StorePath() + "_Relation"), " | 0 - [1,9,2] | 4294967340 - [3]");
}

TEST_F(ScanResultStore, RecordsPastFourGibibytesKeepTheirNumbers) {
    {
        CScanResultFileManager store;
        Open(store);
    }
    // 12,500,000 records end beyond 4 GiB; a sparse file costs no space.
    const unsigned int kExisting = 12500000;
    ASSERT_EQ(truncate(StorePath().c_str(), static_cast<off_t>(kExisting) * 344), 0);
    CScanResultFileManager store;
    Open(store);
    unsigned int nIndex = CStoreBuilder(store).File("far.txt", 0, 0);
    EXPECT_EQ(nIndex, kExisting + 1);
    store.FlushBufToFile();
    EXPECT_EQ(FileSizeOf(StorePath()), static_cast<long long>(kExisting + 1) * 344);
    std::vector<_FILE_NODE_> vecChildren;
    ASSERT_EQ(store.GetChildrenFileNode(0, vecChildren), 0);
    ASSERT_EQ(vecChildren.size(), 1u);
    EXPECT_EQ(vecChildren[0].nFileIndex, nIndex);
}

TEST_F(ScanResultStore, InitRefusesBadNamesAndLinks) {
    CScanResultFileManager store;
    EXPECT_EQ(store.Init(m_dir.Path(), nullptr), 87);
    EXPECT_EQ(store.Init(m_dir.Path(), L""), 87);
    EXPECT_EQ(store.Init(m_dir.Path(), std::wstring(300, L'a').c_str()), 87);
    EXPECT_EQ(store.CreateFileNode(344), nullptr);

    // Nothing may be planted in the store's place to make us write elsewhere.
    std::string strTarget = m_dir.File("elsewhere");
    ASSERT_TRUE(WriteWholeFile(strTarget, "keep", 4));
    ASSERT_EQ(symlink(strTarget.c_str(), m_dir.File("Linked").c_str()), 0);
    EXPECT_EQ(store.Init(m_dir.Path(), L"Linked"), ELOOP);
    EXPECT_EQ(ReadFile(strTarget), "keep");
}

TEST(ScanResultStoreLogFolder, StoreOpensInTheScanLogFolder) {
    CScopedAppHome home;
    CLogFileManager& logs = CLogFileManager::GetInstance();
    logs.Init();
    logs.AddDirIndex();
    char szFolder[LOG_FILE_PATH_SIZE];
    ASSERT_EQ(logs.GetLogFileDirPath(szFolder, sizeof(szFolder)), 0);
    {
        CScanResultFileManager store;
        wchar_t wszName[] = L"File_Type_1";
        ASSERT_EQ(store.Init(wszName), 0);
        EXPECT_EQ(store.GetNodeFilePath(), std::string(szFolder) + "File_Type_1");
    }
    struct stat st;
    ASSERT_EQ(stat(szFolder, &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ASSERT_EQ(stat((std::string(szFolder) + "File_Type_1_Relation").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    logs.ReduceDirIndex();
}
