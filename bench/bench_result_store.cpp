// Throughput and memory of the scan result store on the two shapes scans produce:
//   carved:  2,000,000 nodes, all in the root (what signature carving makes);
//   tree:    100,000 folders ten to a parent, ten files in each (1,000,000 files).
// For each: nodes created per second, flush time, listing one folder, counting from the root,
// searching every node (MB/s over the node file), and the process's peak memory.
//   bench_result_store [FOLDER]   (default $TMPDIR or /tmp; the store files are removed after)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/scan_result_file_manager.h"

namespace {

constexpr unsigned int CARVED_NODES = 2000000;
constexpr unsigned int TREE_FOLDERS = 100000;
constexpr unsigned int FILES_PER_FOLDER = 10;
constexpr unsigned int TREE_FANOUT = 10;
constexpr unsigned int FIRST_FOLDER_CLUSTER = 1000;
constexpr unsigned int ROOT_CLUSTER = 2;

// One in 64 carved files is a .psd, the rest spread over common types and unknown ones.
const char* const kExtensions[] = {"jpg", "mp3", "pdf", "mp4", "zip", "xyz", "doc", "png"};

double Seconds(std::chrono::steady_clock::time_point tStart) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
}

double PeakMiB() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

long long FileBytes(const std::string& strPath) {
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// "<prefix><number>.<ext>" without printf, so the figure is the store's, not the formatter's.
void MakeName(char* szOut, const char* szPrefix, unsigned int nNumber, const char* szExt) {
    size_t nLen = strlen(szPrefix);
    memcpy(szOut, szPrefix, nLen);
    char szDigits[10];
    int nDigits = 0;
    do {
        szDigits[nDigits++] = static_cast<char>('0' + nNumber % 10);
        nNumber /= 10;
    } while (nNumber != 0);
    while (nDigits > 0) szOut[nLen++] = szDigits[--nDigits];
    if (szExt != nullptr) {
        szOut[nLen++] = '.';
        size_t nExt = strlen(szExt);
        memcpy(szOut + nLen, szExt, nExt);
        nLen += nExt;
    }
    szOut[nLen] = '\0';
}

// Fills a fresh slot the way an engine does and returns its number, 0 when none was given.
unsigned int AddNode(CScanResultFileManager& store, int bIsDir, unsigned int nDirIndex, const char* szPrefix,
                     unsigned int nNumber, const char* szExt) {
    unsigned char* pSlot = store.CreateFileNode(sizeof(_FILE_NODE_));
    if (pSlot == nullptr) return 0;
    _FILE_NODE_* pNode = reinterpret_cast<_FILE_NODE_*>(pSlot);  // the slot is sized and zeroed for one
    pNode->nSourceType = bIsDir ? FILE_SOURCE_DEEP_FAT : FILE_SOURCE_CARVING;
    pNode->bIsDir = bIsDir;
    pNode->bIsHealth = 1;
    pNode->nFileIndex = store.GetFileIndex();
    pNode->nDirIndex = nDirIndex;
    pNode->nClusterSize = bIsDir ? 4096 : CARVED_CLUSTER_SIZE;
    pNode->u64FileSize = 100000 + nNumber;
    pNode->u64RecordSector = 2048 + 16ull * nNumber;
    MakeName(pNode->szFileName, szPrefix, nNumber, szExt);
    return pNode->nFileIndex;
}

struct Figures {
    double dCreateSeconds = 0;
    unsigned long long u64Nodes = 0;
    double dFlushSeconds = 0;
    double dListSeconds = 0;
    size_t nListed = 0;
    double dCountSeconds = 0;
    unsigned int nCounted = 0;
    double dSearchSeconds = 0;
    size_t nHits = 0;
    long long llNodeFileBytes = 0;
    double dPathSeconds = 0;       // first path query, which builds the lookup index
    double dNextPathSeconds = 0;   // a later one
};

void Print(const char* szShape, const Figures& f) {
    double dMiB = static_cast<double>(f.llNodeFileBytes) / (1024.0 * 1024.0);
    printf("%s: %llu nodes created in %.3f s = %.0f nodes/s\n", szShape, f.u64Nodes, f.dCreateSeconds,
           static_cast<double>(f.u64Nodes) / f.dCreateSeconds);
    printf("%s: flush %.3f s; node file %.1f MiB\n", szShape, f.dFlushSeconds, dMiB);
    if (f.nListed > 0) printf("%s: list one folder %.3f ms (%zu nodes)\n", szShape, f.dListSeconds * 1000.0, f.nListed);
    printf("%s: count from root %.3f s (%u files)\n", szShape, f.dCountSeconds, f.nCounted);
    printf("%s: search %.3f s = %.0f MB/s over the node file (%zu hits)\n", szShape, f.dSearchSeconds,
           static_cast<double>(f.llNodeFileBytes) / 1e6 / f.dSearchSeconds, f.nHits);
    if (f.dPathSeconds > 0)
        printf("%s: folder path of the deepest file %.3f ms first, %.3f ms after\n", szShape,
               f.dPathSeconds * 1000.0, f.dNextPathSeconds * 1000.0);
    printf("%s: peak memory so far %.1f MiB\n", szShape, PeakMiB());
}

// u64ListKey 0: no listing (the root of a carved store is every node).
void Query(CScanResultFileManager& store, unsigned long long u64ListKey, const wchar_t* pSearchKey, Figures& f) {
    auto tStart = std::chrono::steady_clock::now();
    if (u64ListKey != 0) {
        std::vector<_FILE_NODE_> vecChildren;
        store.GetChildrenFileNode(u64ListKey, vecChildren);
        f.dListSeconds = Seconds(tStart);
        f.nListed = vecChildren.size();
    }

    tStart = std::chrono::steady_clock::now();
    store.GetChildrenFileCount(0, f.nCounted);
    f.dCountSeconds = Seconds(tStart);

    std::wstring wstrKey = pSearchKey;
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    tStart = std::chrono::steady_clock::now();
    store.SearchFileNodeInfo(&wstrKey[0], vecHits);
    f.dSearchSeconds = Seconds(tStart);
    f.nHits = vecHits.size();
    f.llNodeFileBytes = FileBytes(store.GetNodeFilePath());
}

void RemoveStore(const std::string& strNodePath) {
    unlink(strNodePath.c_str());
    unlink((strNodePath + "_Relation").c_str());
    unlink((strNodePath + "_DirInfo").c_str());
}

bool RunCarved(const std::string& strFolder) {
    Figures f;
    std::string strNodePath;
    {
        CScanResultFileManager store;
        if (store.Init(strFolder, L"File_Type_bench") != 0) return false;
        strNodePath = store.GetNodeFilePath();
        auto tStart = std::chrono::steady_clock::now();
        for (unsigned int i = 0; i < CARVED_NODES; ++i) {
            const char* szExt = (i % 64 == 0) ? "psd" : kExtensions[i % 8];
            unsigned int nIndex = AddNode(store, 0, 0, "carved_", i, szExt);
            store.AddChildren(0, 0, nIndex, 0, nullptr);
        }
        f.dCreateSeconds = Seconds(tStart);
        f.u64Nodes = CARVED_NODES;
        tStart = std::chrono::steady_clock::now();
        store.FlushBufToFile();
        f.dFlushSeconds = Seconds(tStart);
        Query(store, 0, L"*.psd|", f);
    }
    Print("carved", f);
    RemoveStore(strNodePath);
    return true;
}

bool RunTree(const std::string& strFolder) {
    Figures f;
    std::string strNodePath;
    {
        CScanResultFileManager store;
        if (store.Init(strFolder, L"Pro_Fat_bench") != 0) return false;
        strNodePath = store.GetNodeFilePath();
        // Folder i (from 1) lies in folder (i - 1) / fanout, folder 0 being the root; each
        // folder's files are made right after it, as a directory walk makes them.
        std::vector<unsigned int> vecLevel(TREE_FOLDERS + 1, 0);
        unsigned int nDeepestFile = 0;
        auto tStart = std::chrono::steady_clock::now();
        for (unsigned int i = 1; i <= TREE_FOLDERS; ++i) {
            unsigned int nParent = (i - 1) / TREE_FANOUT;
            unsigned int nParentCluster = nParent == 0 ? ROOT_CLUSTER : FIRST_FOLDER_CLUSTER + nParent;
            vecLevel[i] = vecLevel[nParent] + 1;
            unsigned int nCluster = FIRST_FOLDER_CLUSTER + i;
            unsigned int nFolder = AddNode(store, 1, nCluster, "dir_", i, nullptr);
            char szName[32];
            MakeName(szName, "dir_", i, nullptr);
            store.AddChildren(nParentCluster, vecLevel[nParent], nFolder, nCluster, szName);
            for (unsigned int k = 0; k < FILES_PER_FOLDER; ++k) {
                unsigned int nFile = AddNode(store, 0, 0, "file_", i * FILES_PER_FOLDER + k, kExtensions[k % 8]);
                store.AddChildren(nCluster, vecLevel[i], nFile, 0, nullptr);
                nDeepestFile = nFile;
            }
        }
        f.dCreateSeconds = Seconds(tStart);
        f.u64Nodes = static_cast<unsigned long long>(TREE_FOLDERS) * (FILES_PER_FOLDER + 1);
        tStart = std::chrono::steady_clock::now();
        store.FlushBufToFile();
        f.dFlushSeconds = Seconds(tStart);
        unsigned int nListed = 5000;
        Query(store, MakeChildrenKey(FIRST_FOLDER_CLUSTER + nListed, vecLevel[nListed]), L"*.mp4|*.other", f);

        _FILE_NODE_ node;
        memset(&node, 0, sizeof(node));
        node.nFileIndex = nDeepestFile;
        wchar_t wszPath[1024];
        tStart = std::chrono::steady_clock::now();
        store.GetParentDirPath(&node, wszPath, 1024);
        f.dPathSeconds = Seconds(tStart);
        node.nFileIndex = nDeepestFile - FILES_PER_FOLDER - 1;
        tStart = std::chrono::steady_clock::now();
        store.GetParentDirPath(&node, wszPath, 1024);
        f.dNextPathSeconds = Seconds(tStart);
    }
    Print("tree", f);
    RemoveStore(strNodePath);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* szTmp = getenv("TMPDIR");
    std::string strBase = argc > 1 ? argv[1] : (szTmp != nullptr ? szTmp : "/tmp");
    std::string strFolder = strBase + "/korvalo-bench-store-XXXXXX";
    if (mkdtemp(&strFolder[0]) == nullptr) {
        fprintf(stderr, "cannot make a folder in %s\n", strBase.c_str());
        return 1;
    }
    bool bOk = RunCarved(strFolder) && RunTree(strFolder);
    rmdir(strFolder.c_str());
    if (!bOk) fprintf(stderr, "the store could not be opened in %s\n", strFolder.c_str());
    return bOk ? 0 : 1;
}
