// The fast NTFS engine's run-list readers over a volume whose MFT records 1..63 and data are the
// input: the run list, resident data and real size of every record (following attribute lists
// into other records and into clusters of their own), an attribute list taken straight from the
// input, and the allocation bitmap with its free runs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fast_ntfs_fuzz_volume.h"
#include "ntfs/ntfs_file_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CFastNtfsFuzzVolume* s_pVolume = new CFastNtfsFuzzVolume();
    if (nSize < 64) return 0;
    std::unique_ptr<CFastNtfsRecovery> pEngine(new CFastNtfsRecovery());
    if (pEngine->Init(s_pVolume->Load(pData, nSize), L'C') != 0) return 0;

    std::vector<unsigned char> vecOut(NTFS_DATA_PIECE_BYTES);
    for (uint32_t r = 1; r < CFastNtfsFuzzVolume::kMftRecords; ++r) {
        const long long llSector = static_cast<long long>(CFastNtfsFuzzVolume::kMftSector + 2 * r);
        std::vector<__RUNLIST__> vecRuns;
        pEngine->GetRunListInfo(llSector, 0x80, vecRuns);
        pEngine->GetRunListInfo(llSector, 0xA0, vecRuns);
        unsigned int nLength = 0;
        pEngine->GetAttr0x80Data(llSector, vecOut.data(), nLength);
        unsigned long long u64Size = 0;
        pEngine->GetBitMapRealBytesSize(llSector, u64Size);
    }
    std::vector<__RUNLIST__> vecRuns;
    const uint32_t u32Bytes = static_cast<uint32_t>(nSize < 1024 ? nSize : 1024);
    pEngine->Get0X20RunList(pData, u32Bytes, pData[0], 0x80, vecRuns);

    if (pEngine->BuildBitMapInfo() == 0) {
        unsigned long long u64Sector = 0, u64Count = 0;
        while (pEngine->GetUnUsedSectorCount(u64Sector, u64Count) == 1 && u64Count != 0) u64Sector += u64Count;
    }
    return 0;
}
