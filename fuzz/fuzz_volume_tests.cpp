// Runs the four volume tests over arbitrary bytes placed at the start of a zeroed probe buffer,
// as the engine factory hands them the first 16 KiB of an area, and reads a volume's name from
// the same bytes (taken as its head and as an NTFS $Volume record).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/volume_label.h"
#include "device/volume_tests.h"

namespace {
constexpr size_t PROBE_BYTES = 16384;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    std::vector<unsigned char> vecBuf(nSize > PROBE_BYTES ? nSize : PROBE_BYTES, 0);
    if (nSize > 0) memcpy(vecBuf.data(), pData, nSize);
    std::vector<unsigned char> vecCopy = vecBuf;

    bool bNtfs = IsNtfs(vecBuf.data());
    bool bFat = IsFat(vecBuf.data());
    bool bEncrypted = IsBitlockerDBR(vecBuf.data());
    bool bExt = IsExt(vecBuf.data());

    // An encrypted volume must never be handed to a FAT engine. NTFS zeroes the fields that
    // both FAT forms need, so no sector can be both. And the tests must not write.
    if (bEncrypted && bFat) abort();
    if (bNtfs && bFat) abort();
    if (vecBuf != vecCopy) abort();

    VOLUME_DESCRIPTION volume;
    // A head that any test accepts is described, and nothing else is.
    if (DescribeVolumeHead(vecBuf.data(), vecBuf.size(), volume) != (bNtfs || bFat || bEncrypted || bExt)) abort();
    uint64_t u64Offset = 0;
    NtfsVolumeRecordOffset(vecBuf.data(), nSize, u64Offset);
    std::string strName;
    ReadNtfsVolumeName(pData, nSize, strName);
    if (vecBuf != vecCopy) abort();
    return 0;
}
