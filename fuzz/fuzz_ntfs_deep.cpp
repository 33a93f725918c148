// Runs the deep NTFS engine's record parser over arbitrary records on a device made of the
// input: the bytes are written to an image file in /dev/shm, opened through the engine's own
// image Init, and the first 1024 bytes are parsed as a record found at sector 0, in the sweep
// or in the folder pass; the folder pass then runs over every folder the walk remembered.
// Each input gets a fresh, empty store in a temporary application folder.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ntfs/professional_ntfs_recovery.h"
#include "util/text.h"

namespace {
constexpr size_t kRecordSize = 1024;
// The device is at least this large so parents and data runs near the record can be read.
constexpr size_t kMinImageBytes = 65536;

struct FuzzState {
    std::string strImage;
    std::wstring strImageWide;
    CProfessionalNtfsRecovery engine;

    FuzzState() {
        char szHome[] = "/dev/shm/korvalo-fuzz-ntfs-XXXXXX";
        if (mkdtemp(szHome) == nullptr) abort();
        setenv("KORVALO_HOME", szHome, 1);
        strImage = std::string(szHome) + "/device.img";
        strImageWide = Path2Unicode(strImage.c_str());
    }

    // Also forgets the folders the previous input left remembered.
    void FreshStore() {
        CScanResultFileManager* pStore = engine.GetScanResult();
        if (pStore != nullptr) {
            unlink(pStore->GetNodeFilePath().c_str());
            unlink(pStore->GetRelationFilePath().c_str());
            unlink(pStore->GetDirInfoFilePath().c_str());
        }
        std::wstring strName = L"fuzz_store";
        engine.InitProfessionalScan(&strName[0]);
    }
};

FuzzState& State() {
    static FuzzState* s_pState = new FuzzState();
    return *s_pState;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 8) return 0;
    FuzzState& state = State();
    // The last bytes choose the pass and the expected folder; the rest is the device.
    const int bParentPass = pData[nSize - 1] & 1;
    unsigned int nParent = 0;
    memcpy(&nParent, pData + nSize - 5, 4);
    nParent &= 0xFFFF;
    const size_t nDevice = nSize - 5;

    std::vector<uint8_t> vecImage(pData, pData + nDevice);
    if (vecImage.size() < kMinImageBytes) vecImage.resize(kMinImageBytes, 0);
    FILE* pFile = fopen(state.strImage.c_str(), "wb");
    if (pFile == nullptr) abort();
    fwrite(vecImage.data(), 1, vecImage.size(), pFile);
    fclose(pFile);

    state.FreshStore();
    state.engine.Init(&state.strImageWide[0], L'C');

    std::unique_ptr<unsigned char[]> pRecord(new unsigned char[kRecordSize]);
    memcpy(pRecord.get(), vecImage.data(), kRecordSize);
    state.engine.ParseProfessionalRecordInfo(pRecord.get(), 0, bParentPass, nParent);
    state.engine.ParseProfessionalRecordVec();
    // Browse what was made, as the results page would.
    std::vector<_FILE_NODE_> vecRoot;
    state.engine.GetChildrenFileNode(nullptr, 0, vecRoot);
    return 0;
}
