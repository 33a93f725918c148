#include "ntfs/ntfs_attribute_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/result_codes.h"
#include "ntfs/ntfs_records.h"
#include "util/le.h"

namespace {
const uint32_t kDeepRecordSize = 1024;
const uint32_t kTypeAndLength = 8;
const size_t kOfsLength = offsetof(NTFS_RESIDENT_ATTRIBUTE, u32Length);
const size_t kOfsNonResident = offsetof(NTFS_RESIDENT_ATTRIBUTE, u8NonResident);
const size_t kOfsValueOffset = offsetof(NTFS_RESIDENT_ATTRIBUTE, u16ValueOffset);
}  // namespace

const NTFS_ATTR_WALK_RULE kDeepRunListRule = {kDeepRecordSize, false, NTFS_ATTR_LIST_FAIL_87,
                                              NTFS_ERROR_ATTRIBUTE_NOT_FOUND, NTFS_ERROR_ATTRIBUTE_NOT_FOUND};
const NTFS_ATTR_WALK_RULE kDeepNodeRunListRule = {kDeepRecordSize, true, NTFS_ATTR_LIST_NOT_FOUND,
                                                  NTFS_ERROR_ATTRIBUTE_NOT_FOUND, NTFS_ERROR_ATTRIBUTE_NOT_FOUND};
const NTFS_ATTR_WALK_RULE kDeepNodeResidentDataRule = {kDeepRecordSize, true, NTFS_ATTR_LIST_PASS_BY,
                                                       NTFS_ERROR_NO_RESIDENT_DATA, NTFS_ERROR_NO_RESIDENT_DATA};
const NTFS_ATTR_WALK_RULE kFastRunListRule = {NTFS_RECORD_READ_BYTES, false, NTFS_ATTR_LIST_REMEMBER,
                                              NTFS_ERROR_ATTRIBUTE_NOT_FOUND, NTFS_ERROR_ATTRIBUTE_NOT_FOUND};
const NTFS_ATTR_WALK_RULE kFastResidentDataRule = {NTFS_RECORD_READ_BYTES, true, NTFS_ATTR_LIST_PASS_BY,
                                                   NTFS_ERROR_NO_RESIDENT_DATA, NTFS_ERROR_NO_RESIDENT_DATA};
const NTFS_ATTR_WALK_RULE kFastBitmapSizeRule = {NTFS_RECORD_READ_BYTES, false, NTFS_ATTR_LIST_PASS_BY,
                                                 KR_ERROR_INVALID_PARAMETER, KR_ERROR_INVALID_PARAMETER};

int FindNtfsAttribute(const unsigned char* pRecord, uint32_t nRecordBytes, uint32_t u32Type,
                      const NTFS_ATTR_WALK_RULE& rule, uint32_t& u32AttrOffset, uint32_t* pLastAttrList) {
    if (pLastAttrList != nullptr) *pLastAttrList = 0;
    if (pRecord == nullptr || nRecordBytes < NTFS_OFS_SAVED_WORDS) return KR_ERROR_INVALID_PARAMETER;
    // Nothing past the bytes in use belongs to the record.
    const uint32_t u32Bound = std::min({rule.u32WalkBound, nRecordBytes, ReadLe32(pRecord + NTFS_OFS_BYTES_IN_USE)});
    uint32_t u32Offset = ReadLe16(pRecord + NTFS_OFS_FIRST_ATTRIBUTE);
    if (u32Offset >= u32Bound) return KR_ERROR_INVALID_PARAMETER;

    while (u32Offset < u32Bound) {
        if (u32Bound - u32Offset < kTypeAndLength) return rule.nNotFound;
        const uint32_t u32AttrType = ReadLe32(pRecord + u32Offset);
        const uint32_t u32Length = ReadLe32(pRecord + u32Offset + kOfsLength);
        if (u32AttrType == NTFS_ATTR_END || (rule.bFillEndsWalk && u32AttrType == NTFS_ATTR_FILL)) return rule.nNotFound;
        // A length that is zero or reaches past the bound ends the walk: there is nothing more
        // that can be trusted.
        if (u32Length < kTypeAndLength || u32Length > u32Bound - u32Offset) return rule.nNotFound;
        if (u32AttrType == u32Type) {
            u32AttrOffset = u32Offset;
            return 0;
        }
        if (u32AttrType == NTFS_ATTR_ATTRIBUTE_LIST) {
            if (rule.eAttrList == NTFS_ATTR_LIST_FAIL_87) return KR_ERROR_INVALID_PARAMETER;
            if (rule.eAttrList == NTFS_ATTR_LIST_NOT_FOUND) return rule.nNotFound;
            if (rule.eAttrList == NTFS_ATTR_LIST_REMEMBER && pLastAttrList != nullptr) *pLastAttrList = u32Offset;
        }
        u32Offset += u32Length;
    }
    return rule.nBoundReached;
}

int GetNtfsAttributeRunList(const unsigned char* pRecord, uint32_t nRecordBytes, uint32_t u32Type,
                            const NTFS_ATTR_WALK_RULE& rule, const CNtfsParse& parse,
                            std::vector<__RUNLIST__>& vecRuns) {
    uint32_t u32Offset = 0;
    int nResult = FindNtfsAttribute(pRecord, nRecordBytes, u32Type, rule, u32Offset);
    if (nResult != 0) return nResult;
    const unsigned char* pAttribute = pRecord + u32Offset;
    if (pAttribute[kOfsNonResident] == 0) return 0;
    parse.GetRunList(pAttribute, vecRuns);
    return 0;
}

int GetNtfsResidentData(const unsigned char* pRecord, uint32_t nRecordBytes, const NTFS_ATTR_WALK_RULE& rule,
                        uint32_t nMaxLength, unsigned char* pOut, unsigned int& nLength) {
    uint32_t u32Offset = 0;
    int nResult = FindNtfsAttribute(pRecord, nRecordBytes, NTFS_ATTR_DATA, rule, u32Offset);
    if (nResult == KR_ERROR_INVALID_PARAMETER) return NTFS_ERROR_NO_RESIDENT_DATA;
    if (nResult != 0) return nResult;
    const unsigned char* pAttribute = pRecord + u32Offset;
    const uint32_t u32Length = ReadLe32(pAttribute + kOfsLength);
    if (pAttribute[kOfsNonResident] != 0 || u32Length < sizeof(NTFS_RESIDENT_ATTRIBUTE))
        return NTFS_ERROR_NO_RESIDENT_DATA;
    const uint32_t u32ValueOffset = ReadLe16(pAttribute + kOfsValueOffset);
    if (u32ValueOffset > u32Length) return NTFS_ERROR_NO_RESIDENT_DATA;
    const uint32_t u32DataLength = u32Length - u32ValueOffset;
    if (u32DataLength >= nMaxLength) return KR_ERROR_INVALID_PARAMETER;
    if (pOut == nullptr) return KR_ERROR_INVALID_PARAMETER;
    memcpy(pOut, pAttribute + u32ValueOffset, u32DataLength);
    nLength = u32DataLength;
    return 0;
}
