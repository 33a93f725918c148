// Runs the FAT directory tests over arbitrary bytes held in a buffer of exactly their length, so
// any look past the given bytes is reported, and checks what must hold whatever the bytes:
//  - no test writes to its input;
//  - zeroed slack after the bytes never changes an answer (a look past the end counts as zeros);
//  - the quick date-range check decides as the full local-time conversion does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fat/fat_dates.h"
#include "fat/fat_names.h"
#include "fat/fat_record_tests.h"
#include "util/le.h"

namespace {
// Longer inputs add nothing the directory tests treat differently from a sector.
constexpr size_t MAX_INPUT = 4096;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize > MAX_INPUT) return 0;
    const int nLen = static_cast<int>(nSize);
    // A heap copy of exactly nSize bytes (never the fuzzer's own buffer, which may be larger).
    unsigned char* pBuf = static_cast<unsigned char*>(malloc(nSize == 0 ? 1 : nSize));
    if (nSize > 0) memcpy(pBuf, pData, nSize);

    const int nFdt = IsFatFDTRecord(pBuf, nLen);
    const int nStart = IsFatFileRecord(pBuf, nLen);
    int nValidEntries = 0;
    for (int nOffset = 0; nOffset + FAT_DIR_ENTRY_BYTES <= nLen; nOffset += FAT_DIR_ENTRY_BYTES)
        nValidEntries += IsFatEntyValid(pBuf + nOffset, nLen - nOffset);
    if (nSize > 0 && memcmp(pBuf, pData, nSize) != 0) abort();

    std::vector<unsigned char> vSlack(nSize + FAT_DIR_SLACK_BYTES, 0xEE);
    if (CopyFatDirWithSlack(vSlack.data(), static_cast<int>(vSlack.size()), pBuf, nLen) != 0) abort();
    if (IsFatFDTRecord(vSlack.data(), nLen) != nFdt) abort();
    if (IsFatFileRecord(vSlack.data(), nLen) != nStart) abort();
    // A directory start always breaks the table rules ("." is no short-name character).
    if (nStart == 1 && nFdt == 1) abort();

    // The same entries as records.
    const int nEntries = nLen / FAT_DIR_ENTRY_BYTES;
    if (nEntries > 0) {
        std::vector<FAT32_Entry> vRecords(static_cast<size_t>(nEntries));
        memcpy(vRecords.data(), pBuf, static_cast<size_t>(nEntries) * FAT_DIR_ENTRY_BYTES);
        int nValidRecords = 0;
        for (int i = 0; i < nEntries; ++i) nValidRecords += IsFatEntyValid(&vRecords[i], nEntries - i);
        if (nValidRecords != nValidEntries) abort();

        _FILETIME ft;
        Fat32GetFileCreateTime(&vRecords[0], &ft);
        Fat32GetFileLastAccessTime(&vRecords[0], &ft);
        Fat32GetFileLastChangeTime(&vRecords[0], &ft);
        GetShortNameCheckSum(pBuf);
    }
    if (nSize >= 2) {
        const uint16_t wDate = ReadLe16(pBuf);
        const int64_t llSeconds = FatDateToUnixSeconds(wDate);
        const bool bExpected = llSeconds >= FAT_PLAUSIBLE_TIME_MIN && llSeconds <= FAT_PLAUSIBLE_TIME_MAX;
        if (IsFatDatePlausible(wDate) != bExpected) abort();
    }
    EraseStringTailBlankChar(reinterpret_cast<char*>(pBuf), nLen);
    free(pBuf);
    return 0;
}
