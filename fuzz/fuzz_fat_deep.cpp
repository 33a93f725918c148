// The whole deep FAT path over arbitrary directory sectors: the input (after one control byte)
// becomes a device held in an image file in /dev/shm, read through the engine's own sector
// reader; every sector is handed to the directory parsers as the deep scan does (or, with the
// control byte's low bit set, to the table parser whatever the recognisers say), then the end
// pass builds the tree, which is browsed and previewed.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "fat/fat_record_tests.h"
#include "fat/professional_fat_recovery.h"
#include "util/text.h"

namespace {
constexpr int SECTOR = 512;
// A few hundred sectors hold several folders and their geometry; more only slows the search.
constexpr size_t MAX_SECTORS = 512;

std::string g_strImage;
std::wstring g_wstrImage;

void Browse(CProfessionalFatRecovery& engine, _FILE_NODE_* pParent, unsigned int nLevel, int& nBudget) {
    std::vector<_FILE_NODE_> vecChildren;
    if (nBudget-- <= 0 || engine.GetChildrenFileNode(pParent, nLevel, vecChildren) != 0) return;
    for (_FILE_NODE_& child : vecChildren) {
        if (child.bIsDir != 0) {
            unsigned int nCount = 0;
            engine.GetChildrenFileCount(&child, nLevel + 1, nCount);
            Browse(engine, &child, nLevel + 1, nBudget);
        } else if (nBudget-- > 0) {
            unsigned char abPreview[2048];
            int nLen = sizeof(abPreview);
            wchar_t wszPath[256];
            engine.PreView(&child, wszPath, abPreview, nLen, nullptr, nullptr);
            if (nLen < 0 || nLen > static_cast<int>(sizeof(abPreview))) abort();
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    const std::string strHome = "/dev/shm/korvalo-fuzz-fat-deep-" + std::to_string(getpid());
    setenv("KORVALO_HOME", strHome.c_str(), 1);
    CLogFileManager::GetInstance().Init();
    g_strImage = strHome + ".img";
    g_wstrImage = Path2Unicode(g_strImage.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1 + SECTOR || (nSize - 1) / SECTOR > MAX_SECTORS) return 0;
    const bool bForceTable = (pData[0] & 1) != 0;
    const size_t nSectors = (nSize - 1) / SECTOR;
    const int hImage = open(g_strImage.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (hImage < 0 || write(hImage, pData + 1, nSectors * SECTOR) != static_cast<ssize_t>(nSectors * SECTOR)) abort();
    close(hImage);

    std::string strNodes, strRelation, strDirInfo;
    {
        CProfessionalFatRecovery engine;
        if (engine.Init(&g_wstrImage[0], L'F') != 0) abort();
        std::wstring wstrStore = L"fuzz_fat_deep";
        engine.ClearProfessionalVec(&wstrStore[0]);
        engine.InitVirtualDbrInfo();
        for (size_t i = 0; i < nSectors; ++i) {
            // Each sector in a heap block of exactly its size, so any look past it is caught.
            std::vector<unsigned char> vecSector(pData + 1 + i * SECTOR, pData + 1 + (i + 1) * SECTOR);
            if (IsFatFileRecord(vecSector.data(), SECTOR))
                engine.ParseFatFileRecord(vecSector.data(), i);
            else if (bForceTable || IsFatFDTRecord(vecSector.data(), SECTOR))
                engine.ParseFDTFileRecord(vecSector.data(), i);
        }
        engine.DealProfessionalRecordVec();
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
