// The fast NTFS engine's record parser on fuzzed MFT records: a whole fast scan (the sweep over
// every record, the ancestor walks, the folder pass and the health reads) of a volume whose
// records 1..63 and data are the input, then the input's first record parsed once more in the
// pass its last byte chooses.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fast_ntfs_fuzz_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static CFastNtfsFuzzVolume* s_pVolume = new CFastNtfsFuzzVolume();
    if (nSize < 1024) return 0;
    std::unique_ptr<CFastNtfsRecovery> pEngine(new CFastNtfsRecovery());
    if (pEngine->Init(s_pVolume->Load(pData, nSize), L'C') != 0) return 0;
    pEngine->ScanDevice(nullptr);
    std::vector<unsigned char> vecRecord(pData, pData + 1024);
    pEngine->ParseRecordInfo(vecRecord.data(), pData[nSize - 1] & 1, 1);
    // Browse what was made, as the results page would.
    std::vector<_FILE_NODE_> vecRoot;
    pEngine->GetChildrenFileNode(nullptr, 0, vecRoot);
    for (_FILE_NODE_& node : vecRoot) {
        std::vector<_FILE_NODE_> vecChildren;
        if (node.bIsDir) pEngine->GetChildrenFileNode(&node, 1, vecChildren);
    }
    CFastNtfsFuzzVolume::DropStore(*pEngine);
    return 0;
}
