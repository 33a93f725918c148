// The fast FAT engine over a volume held in memory: the walk from the root, the bitmap, the free
// runs and the reading of what was found. The first input byte picks a small FAT12, FAT16 or
// FAT32 volume whose boot sector stays valid while the rest of the input is laid over its tables,
// root and first clusters; or (value 3) the input is the volume's start as it stands.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fat/fast_fat_recovery.h"
#include "util/le.h"
#include "util/text.h"

namespace {
constexpr size_t SECTOR = 512;
constexpr size_t VOLUME_SECTORS = 4400;
constexpr size_t MAX_INPUT = 128 * 1024;

int g_hVolume = -1;
std::wstring g_wstrVolume;

// One sector a cluster, one table, reserved sector 0 only.
std::vector<unsigned char> Skeleton(int nKind) {
    std::vector<unsigned char> vec(VOLUME_SECTORS * SECTOR, 0);
    unsigned char* p = vec.data();
    WriteLe16(p + 11, SECTOR);
    p[13] = 1;
    WriteLe16(p + 14, 1);
    p[16] = 1;
    p[510] = 0x55;
    p[511] = 0xAA;
    if (nKind == 2) {
        WriteLe32(p + 32, 2048);
        WriteLe32(p + 36, 16);
        WriteLe32(p + 44, 2);
        memcpy(p + 82, "FAT32   ", 8);
        WriteLe32(p + SECTOR, 0x0FFFFFF8);
        WriteLe32(p + SECTOR + 4, 0x0FFFFFFF);
        WriteLe32(p + SECTOR + 8, 0x0FFFFFFF);  // the root folder
    } else {
        // FAT12: 2037 clusters; FAT16: 4278.
        const uint16_t wTotal = nKind == 0 ? 2048 : 4300;
        WriteLe16(p + 17, 64);
        WriteLe16(p + 19, wTotal);
        WriteLe16(p + 22, nKind == 0 ? 6 : 17);
        if (nKind == 0)
            memcpy(p + SECTOR, "\xF8\xFF\xFF", 3);
        else
            memcpy(p + SECTOR, "\xF8\xFF\xFF\xFF", 4);
    }
    return vec;
}

void Browse(CFastFatRecovery& engine, _FILE_NODE_* pParent, unsigned int nLevel, int& nBudget) {
    std::vector<_FILE_NODE_> vecChildren;
    if (nBudget-- <= 0 || engine.GetChildrenFileNode(pParent, nLevel, vecChildren) != 0) return;
    for (_FILE_NODE_& child : vecChildren) {
        if (child.bIsDir != 0) {
            Browse(engine, &child, nLevel + 1, nBudget);
        } else if (nBudget-- > 0) {
            unsigned char abPreview[4096];
            int nLen = sizeof(abPreview);
            wchar_t wszPath[256] = {};
            engine.PreView(&child, wszPath, abPreview, nLen, nullptr, nullptr);
            if (nLen < 0 || nLen > static_cast<int>(sizeof(abPreview))) abort();
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    const std::string strHome = "/dev/shm/korvalo-fuzz-fat-fast-" + std::to_string(getpid());
    setenv("KORVALO_HOME", strHome.c_str(), 1);
    CLogFileManager::GetInstance().Init();
    g_hVolume = memfd_create("korvalo-fuzz-fat-fast", 0);
    if (g_hVolume < 0) abort();
    g_wstrVolume = Path2Unicode(("/proc/self/fd/" + std::to_string(g_hVolume)).c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1 || nSize > MAX_INPUT) return 0;
    const int nKind = pData[0] & 3;
    std::vector<unsigned char> vecVolume =
        nKind == 3 ? std::vector<unsigned char>(VOLUME_SECTORS * SECTOR, 0) : Skeleton(nKind);
    const size_t nAt = nKind == 3 ? 0 : SECTOR;
    memcpy(vecVolume.data() + nAt, pData + 1, nSize - 1);
    if (ftruncate(g_hVolume, 0) != 0 ||
        pwrite(g_hVolume, vecVolume.data(), vecVolume.size(), 0) != static_cast<ssize_t>(vecVolume.size()))
        abort();

    std::string strNodes, strRelation, strDirInfo;
    {
        CFastFatRecovery engine;
        engine.Init(&g_wstrVolume[0], L'F');
        engine.BuildBitMapInfo();
        engine.ScanDevice(nullptr);
        unsigned long long u64Start = 0, u64Count = 0;
        uint64_t u64Free = 0;
        for (size_t nRuns = 0; nRuns <= VOLUME_SECTORS; ++nRuns) {
            const unsigned long long u64Before = u64Start;
            engine.GetUnUsedSectorCount(u64Start, u64Count);
            if (u64Count == 0) break;
            // Runs move forward and stay inside the volume.
            if (u64Start < u64Before || u64Start + u64Count > VOLUME_SECTORS) abort();
            u64Free += u64Count;
            u64Start += u64Count;
        }
        if (u64Free > VOLUME_SECTORS) abort();
        int nBudget = 64;
        Browse(engine, nullptr, 0, nBudget);
        if (CScanResultFileManager* pStore = engine.GetScanResult()) {
            strNodes = pStore->GetNodeFilePath();
            strRelation = pStore->GetRelationFilePath();
            strDirInfo = pStore->GetDirInfoFilePath();
        }
    }
    // A fresh store each run: a reopened one would keep numbering after the old nodes.
    for (const std::string& strPath : {strNodes, strRelation, strDirInfo})
        if (!strPath.empty()) unlink(strPath.c_str());
    return 0;
}
