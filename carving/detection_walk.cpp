// The detection walk over the type table, the extension lookup and the extension check.
//
// The walk runs on nearly every sector of a scan, so it is sped up without changing a single
// answer:
//  - a test that appears in several rows is called once: it is a pure function of the buffer
//    and the judge context, so a repeat after a rejection would reject again;
//  - each test is called only for the first bytes its rows of the type table say a head can
//    start with (worked out once, from the table, the first time the walk runs). Tests whose
//    signature does not sit at offset 0 are called for every first byte.
// The order of the remaining calls is the table order, so the first match is the same.
#include <cstdint>
#include <cstring>

#include "carving/file_type_judge.h"
#include "carving/type_table.h"

namespace {

// The distinct tests in order of first appearance, and for every first byte the set of them
// worth calling.
struct FAST_WALK_PLAN {
    static constexpr int MAX_TESTS = 64;
    PFN_IS_TYPE pfnTests[MAX_TESTS] = {};
    int nTests = 0;
    uint64_t u64CandidatesByLead[256] = {};
    bool bUsable = true;  // false only if the table ever held more distinct tests than a mask

    FAST_WALK_PLAN() {
        for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->pfnIsType != nullptr;
             ++pRow) {
            int nIndex = 0;
            while (nIndex < nTests && pfnTests[nIndex] != pRow->pfnIsType) ++nIndex;
            if (nIndex == nTests) {
                if (nTests == MAX_TESTS) {
                    bUsable = false;
                    return;
                }
                pfnTests[nTests++] = pRow->pfnIsType;
            }
            AddLeadBytes(nIndex, *pRow);
        }
    }

    // Rows that share a test each add their lead bytes, so the test is asked for any of them.
    void AddLeadBytes(int nIndex, const _EXTEND_NAME_AND_TYPE_& row) {
        const uint64_t u64Bit = uint64_t{1} << nIndex;
        if (row.pLeadBytes == nullptr) {
            for (uint64_t& u64Candidates : u64CandidatesByLead) u64Candidates |= u64Bit;
            return;
        }
        for (int i = 0; i < row.nLeadBytes; ++i)
            u64CandidatesByLead[static_cast<unsigned char>(row.pLeadBytes[i])] |= u64Bit;
    }
};

const FAST_WALK_PLAN& GetFastWalkPlan() {
    static const FAST_WALK_PLAN plan;
    return plan;
}

// Containers whose extensions are often given to a sibling kind: an .ogg holding Opus, an .m4a
// or .heic whose brand is another ISO base media one, a .webm written as plain Matroska.
enum CONTAINER_FAMILY { FAMILY_NONE, FAMILY_ISO_MEDIA, FAMILY_OGG, FAMILY_MATROSKA };

CONTAINER_FAMILY FamilyOf(EXTEND_NAME_TYPE nType) {
    switch (nType) {
    case EXT_HEIC: case EXT_AVIF: case EXT_CR3: case EXT_M4A: case EXT_MP4: case EXT_MOV: case EXT_3GP:
        return FAMILY_ISO_MEDIA;
    case EXT_OGG: case EXT_OPUS:
        return FAMILY_OGG;
    case EXT_WEBM: case EXT_MKV:
        return FAMILY_MATROSKA;
    default:
        return FAMILY_NONE;
    }
}

// Only the kinds above whose extensions came with them; the older types keep their strict test.
bool AcceptsSiblingKinds(EXTEND_NAME_TYPE nType) {
    switch (nType) {
    case EXT_HEIC: case EXT_AVIF: case EXT_CR3: case EXT_M4A: case EXT_OGG: case EXT_OPUS: case EXT_WEBM:
        return true;
    default:
        return false;
    }
}

}  // namespace

EXTEND_NAME_TYPE CFileTypeJudge::GetDataBufTypeInTableOrder(const unsigned char* pBuf, int nLen) {
    for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->pfnIsType != nullptr;
         ++pRow) {
        EXTEND_NAME_TYPE nType = pRow->pfnIsType(pBuf, nLen);
        if (nType != EXT_UNKNOWN) return nType;
    }
    return EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::GetDataBufType(const unsigned char* pBuf, int nLen) {
    // Every test needs at least one byte, so there is nothing to find in an empty buffer.
    if (pBuf == nullptr || nLen <= 0) return EXT_UNKNOWN;
    const FAST_WALK_PLAN& plan = GetFastWalkPlan();
    if (!plan.bUsable) return GetDataBufTypeInTableOrder(pBuf, nLen);
    for (uint64_t u64Candidates = plan.u64CandidatesByLead[pBuf[0]]; u64Candidates != 0;
         u64Candidates &= u64Candidates - 1) {
        EXTEND_NAME_TYPE nType = plan.pfnTests[__builtin_ctzll(u64Candidates)](pBuf, nLen);
        if (nType != EXT_UNKNOWN) return nType;
    }
    return EXT_UNKNOWN;
}

EXTEND_NAME_TYPE CFileTypeJudge::GetExtendNameType(const char* szExt) {
    const _EXTEND_NAME_AND_TYPE_* pRow = FindFirstRowOfExtension(szExt);
    return pRow == nullptr ? EXT_UNKNOWN : pRow->nFileType;
}

int CFileTypeJudge::IsFileTypeMatching(const unsigned char* pBuf, int nLen, const char* szExt,
                                       CDiskReader* pReader, int nBytesPerSector,
                                       unsigned long long u64StartSector) {
    // A type the table does not know is never judged damaged.
    const _EXTEND_NAME_AND_TYPE_* pRow = FindFirstRowOfExtension(szExt);
    if (pRow == nullptr) return 1;
    m_nBytesPerSector = nBytesPerSector;
    m_u64StartSector = u64StartSector;
    m_u64CurrentSector = u64StartSector;
    m_pDiskReader = pReader;
    m_bIsNeedCheckTsFileRange = 0;
    if (pRow->pfnIsType(pBuf, nLen) == pRow->nFileType) return 1;
    if (!AcceptsSiblingKinds(pRow->nFileType)) return 0;
    return FamilyOf(GetDataBufType(pBuf, nLen)) == FamilyOf(pRow->nFileType) ? 1 : 0;
}
