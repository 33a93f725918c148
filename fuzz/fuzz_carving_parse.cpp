// Carving a device sector by sector: the judge's carve decision with every size rule, the
// shared forward walk, the structure walks (FLV tags, ISO boxes, MPEG packs, MP3 frames, TIFF
// directories with camera RAW maker notes, RAF headers, gzip inflation, PDF ends, FLAC frames,
// Ogg pages), the end searches and the end-marker searches, over a device made of the input
// followed by pseudo-random sectors. Checks what the carving engine relies on. Its seeds hold
// whole small files made by the real tools and by the camera RAW fixture writer.
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "carving/file_type_recovery.h"
#include "carving/forward_walk.h"
#include "carving_memory_disk.h"

namespace {

constexpr size_t kMaxInput = 1 << 20;
constexpr int kRandomSectors = 32;
constexpr int kMaxOffered = 64;

struct StopPlan {
    int nCalls = 0;
    int nStopAt = 0;  // answer -9527 on this progress call; 0 never
};

int Progress(void* pParam, int, int, int, unsigned long long, unsigned long long, unsigned long long, wchar_t*) {
    auto* pPlan = static_cast<StopPlan*>(pParam);
    return ++pPlan->nCalls == pPlan->nStopAt ? KR_STOPPED_BY_USER : 0;
}

void CheckMarkerSearches(const unsigned char* pData, int nLen) {
    unsigned long long u64End = 0;
    using J = CFileTypeJudge;
    for (auto pfn : {J::GetJPGFileTailOffset, J::GetPNGFileTailOffset, J::GetGIFFileTailOffset}) {
        if (pfn(pData, nLen, u64End) == 1 && (u64End == 0 || u64End > static_cast<unsigned long long>(nLen)))
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* pData, size_t nSize) {
    static CFileTypeJudge judge;
    static CCarvingMemoryDisk disk;
    if (nSize < 2 || nSize > kMaxInput) return 0;
    const int nBytesPerSector = (pData[0] & 1) ? 4096 : 512;
    StopPlan plan;
    plan.nStopAt = (pData[0] >> 1) & 7;
    CFileTypeJudge::InitCallBack(Progress, nullptr, &plan, 0);
    CFileTypeJudge::m_tsFileRangeVec.clear();

    // The input, then random sectors for the walks to run through.
    std::vector<unsigned char> vecDevice(pData + 1, pData + nSize);
    vecDevice.resize((vecDevice.size() + nBytesPerSector - 1) / nBytesPerSector * nBytesPerSector, 0);
    std::mt19937 rng(static_cast<unsigned>(nSize) * 2654435761u ^ pData[nSize - 1]);
    for (size_t i = 0; i < static_cast<size_t>(kRandomSectors) * 512; ++i)
        vecDevice.push_back(static_cast<unsigned char>(rng()));
    disk.Load(vecDevice.data(), vecDevice.size(), nBytesPerSector);
    const unsigned long long u64Sectors = disk.SectorCount();

    CFileTypeJudge::m_nBytesPerSector = nBytesPerSector;
    CheckMarkerSearches(pData + 1, static_cast<int>(nSize - 1));

    int nOffered = 0;
    for (unsigned long long u64Sector = 0; u64Sector < u64Sectors && nOffered < kMaxOffered; ++nOffered) {
        const unsigned char* pSector = vecDevice.data() + u64Sector * nBytesPerSector;
        char szName[256];
        EXTEND_NAME_TYPE nType = EXT_UNKNOWN;
        unsigned long long u64Size = 0;
        const int nCallsBefore = plan.nCalls;
        int nRet = CFileTypeJudge::ParseFileBuf(pSector, nBytesPerSector, u64Sector, u64Sector, u64Sectors, 0, 0,
                                                disk.Reader(), nBytesPerSector, szName, sizeof(szName), nType, u64Size);
        if (nRet == KR_STOPPED_BY_USER) {
            if (plan.nCalls == nCallsBefore) abort();  // a stop comes only from the callback
            break;
        }
        if (nRet == KR_ERROR_INVALID_PARAMETER) {
            ++u64Sector;
            continue;
        }
        if (nRet != KR_SUCCESS || u64Size == 0) abort();
        const std::string strPrefix = std::to_string(u64Sector) + ".";
        if (strncmp(szName, strPrefix.c_str(), strPrefix.size()) != 0) abort();
        unsigned long long u64Step = CFileTypeRecovery::SectorsToSkip(nType, u64Size, nBytesPerSector);
        if (u64Step == 0) abort();
        u64Sector += u64Step;
    }
    CFileTypeJudge::InitCallBack(nullptr, nullptr, nullptr, 0);
    return 0;
}
