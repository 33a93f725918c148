// Runs the NTFS record tests, the fix-up, the attribute walks of every record-reading rule and
// the run-list decoder over arbitrary bytes held in a 1024-byte heap record, so any read past
// the record is reported, and checks what must hold whatever the bytes:
//  - the recognition test does not write to its input;
//  - a found attribute lies wholly inside the record's bytes in use;
//  - the decoded runs of an attribute never exceed what its bytes can encode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ntfs/ntfs_attribute_walk.h"
#include "ntfs/ntfs_file_name.h"
#include "ntfs/ntfs_parse.h"
#include "ntfs/ntfs_record_tests.h"
#include "ntfs/ntfs_records.h"
#include "util/le.h"

namespace {
constexpr size_t kRecordSize = 1024;
const NTFS_ATTR_WALK_RULE* const kRules[] = {&kDeepRunListRule,  &kDeepNodeRunListRule, &kDeepNodeResidentDataRule,
                                             &kFastRunListRule,  &kFastResidentDataRule, &kFastBitmapSizeRule};
const uint32_t kTypes[] = {NTFS_ATTR_ATTRIBUTE_LIST, NTFS_ATTR_FILE_NAME, NTFS_ATTR_DATA, NTFS_ATTR_INDEX_ALLOCATION};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // The record is exactly 1024 heap bytes: the input, cut or padded with zeros.
    std::unique_ptr<unsigned char[]> pRecord(new unsigned char[kRecordSize]);
    memset(pRecord.get(), 0, kRecordSize);
    memcpy(pRecord.get(), pData, nSize < kRecordSize ? nSize : kRecordSize);
    std::vector<unsigned char> vecBefore(pRecord.get(), pRecord.get() + kRecordSize);

    IsNtfsFileRecord(pRecord.get(), static_cast<int>(kRecordSize));
    if (memcmp(vecBefore.data(), pRecord.get(), kRecordSize) != 0) abort();

    CNtfsParse parse;
    parse.Init(512);
    parse.FileRecordFixUp(pRecord.get());
    const uint32_t u32InUse = ReadLe32(pRecord.get() + NTFS_OFS_BYTES_IN_USE);

    for (const NTFS_ATTR_WALK_RULE* pRule : kRules) {
        for (uint32_t u32Type : kTypes) {
            uint32_t u32Offset = 0;
            uint32_t u32List = 0;
            if (FindNtfsAttribute(pRecord.get(), kRecordSize, u32Type, *pRule, u32Offset, &u32List) == 0) {
                const uint32_t u32Length = ReadLe32(pRecord.get() + u32Offset + 4);
                if (u32Offset + u32Length > u32InUse || u32Offset + u32Length > kRecordSize) abort();
                if (u32Type == NTFS_ATTR_FILE_NAME) {
                    std::wstring strName;
                    if (DecodeNtfsFileName(pRecord.get() + u32Offset, u32Length, strName)) {
                        char szName[256];
                        MakeNtfsNodeName(strName, szName, sizeof(szName));
                        if (strchr(szName, '/') != nullptr) abort();
                    }
                }
            }
            std::vector<__RUNLIST__> vecRuns;
            if (GetNtfsAttributeRunList(pRecord.get(), kRecordSize, u32Type, *pRule, parse, vecRuns) == 0 &&
                vecRuns.size() > kRecordSize / 2)
                abort();
        }
        unsigned char szData[kRecordSize];
        unsigned int nLength = 0;
        if (GetNtfsResidentData(pRecord.get(), kRecordSize, *pRule, kRecordSize, szData, nLength) == 0 &&
            nLength >= kRecordSize)
            abort();
    }
    return 0;
}
