#pragma once
// The attribute search shared by the record-reading operations of both NTFS engines. The
// members differ only in where the walk stops and what an attribute list means to them; each
// member's rule is one of the constants below.
#include <cstdint>
#include <vector>

#include "ntfs/ntfs_parse.h"

// What the walk does on meeting an attribute list (0x20) before the wanted type.
enum NTFS_ATTR_LIST_RULE {
    NTFS_ATTR_LIST_PASS_BY,   // walk on
    NTFS_ATTR_LIST_REMEMBER,  // walk on, reporting the last list seen to the caller
    NTFS_ATTR_LIST_FAIL_87,   // the search fails with 87
    NTFS_ATTR_LIST_NOT_FOUND, // the search ends as "not found"
};

struct NTFS_ATTR_WALK_RULE {
    uint32_t u32WalkBound;          // the walk stays below this offset (also below the record's
                                    // bytes in use and its buffer)
    bool bFillEndsWalk;             // 0xFDFDFDFD ends the walk like 0xFFFFFFFF
    NTFS_ATTR_LIST_RULE eAttrList;
    int nNotFound;                  // end marker, zero length or an attribute that overruns
    int nBoundReached;              // the walk reached its bound without the type
};

// Deep engine: GetRunListInfo, GetFileNodeRunListInfo, GetFileNodeAttr0x80Data (1024-byte records).
extern const NTFS_ATTR_WALK_RULE kDeepRunListRule;
extern const NTFS_ATTR_WALK_RULE kDeepNodeRunListRule;
extern const NTFS_ATTR_WALK_RULE kDeepNodeResidentDataRule;
// Fast engine: GetRunListInfo, GetAttr0x80Data, GetBitMapRealBytesSize (8192-byte reads).
extern const NTFS_ATTR_WALK_RULE kFastRunListRule;
extern const NTFS_ATTR_WALK_RULE kFastResidentDataRule;
extern const NTFS_ATTR_WALK_RULE kFastBitmapSizeRule;

// Looks in the fixed-up record (nRecordBytes readable bytes) for the first attribute of type
// u32Type. 0 with u32AttrOffset set: the attribute lies wholly inside the bounds. Otherwise the
// rule's codes, or 87 when the first-attribute offset is not below the bound. With
// NTFS_ATTR_LIST_REMEMBER, pLastAttrList (when not null) gets the offset of the last list seen,
// or 0.
int FindNtfsAttribute(const unsigned char* pRecord, uint32_t nRecordBytes, uint32_t u32Type,
                      const NTFS_ATTR_WALK_RULE& rule, uint32_t& u32AttrOffset, uint32_t* pLastAttrList = nullptr);

// The run-list forms: the run list of the attribute found, appended to vecRuns. A resident
// attribute has no runs: 0 with nothing appended.
int GetNtfsAttributeRunList(const unsigned char* pRecord, uint32_t nRecordBytes, uint32_t u32Type,
                            const NTFS_ATTR_WALK_RULE& rule, const CNtfsParse& parse,
                            std::vector<__RUNLIST__>& vecRuns);

// The resident-data forms for $DATA: copies the value with its alignment padding (attribute
// length less value offset) to pOut. -101 when the attribute is non-resident, its value offset
// lies past its end, or the rule's codes say so; 87 when the length is not below nMaxLength
// (pOut must hold nMaxLength bytes). 0 with nLength set.
int GetNtfsResidentData(const unsigned char* pRecord, uint32_t nRecordBytes, const NTFS_ATTR_WALK_RULE& rule,
                        uint32_t nMaxLength, unsigned char* pOut, unsigned int& nLength);
