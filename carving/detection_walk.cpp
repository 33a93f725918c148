// The detection walk over the type table, the extension lookup and the extension check.
//
// The walk runs on nearly every sector of a scan, so it is sped up without changing a single
// answer:
//  - a test that appears in several rows is called once: it is a pure function of the buffer
//    and the judge context, so a repeat after a rejection would reject again;
//  - each test is called only for first bytes its signature can start with. Tests whose
//    signature does not sit at offset 0 are called for every first byte.
// The order of the remaining calls is the table order, so the first match is the same.
#include <cstdint>
#include <cstring>

#include "carving/file_type_judge.h"
#include "carving/type_table.h"

namespace {

// First bytes a test's signature can begin with. A test missing here is called for every
// buffer, so forgetting one costs speed, never an answer.
struct LEAD_BYTES {
    PFN_IS_TYPE pfnIsType;
    const char* pLeadBytes;
    int nLeadBytes;
};
#define KORVALO_LEAD(test, bytes) {CFileTypeJudge::test, bytes, static_cast<int>(sizeof(bytes) - 1)}
const LEAD_BYTES LEAD_BYTES_OF_TESTS[] = {
    KORVALO_LEAD(IsMpgType, "\x00"),
    KORVALO_LEAD(IsRmvbType, "."),
    KORVALO_LEAD(IsAsfType, "\x30"),
    KORVALO_LEAD(IsSwfType, "CF"),
    KORVALO_LEAD(IsAviType, "R"),
    KORVALO_LEAD(IsFlvType, "F"),
    KORVALO_LEAD(IsMkvType, "\x1A"),
    KORVALO_LEAD(IsTsType, "\x47"),
    KORVALO_LEAD(IsMxfType, "\x06"),
    KORVALO_LEAD(IsMp3Type, "I"),
    KORVALO_LEAD(IsMidType, "M"),
    KORVALO_LEAD(IsApeType, "M"),
    KORVALO_LEAD(IsWavType, "R"),
    KORVALO_LEAD(IsMp2Type, "\xFF"),
    KORVALO_LEAD(IsMmfType, "M"),
    KORVALO_LEAD(IsFlaType, "\xD0"),
    KORVALO_LEAD(IsGifType, "G"),
    KORVALO_LEAD(IsBmpType, "B"),
    KORVALO_LEAD(IsJpgType, "\xFF"),
    KORVALO_LEAD(IsPngType, "\x89"),
    KORVALO_LEAD(IsPsdType, "8"),
    KORVALO_LEAD(IsTifType, "IM"),
    KORVALO_LEAD(IsIcoType, "\x00"),
    KORVALO_LEAD(IsOffice2003Type, "\xD0"),
    KORVALO_LEAD(IsPdfType, "%"),
    KORVALO_LEAD(IsGzipType, "\x1F"),
    KORVALO_LEAD(Is7zType, "7"),
    KORVALO_LEAD(IsZipType, "P"),
    KORVALO_LEAD(IsRarType, "R"),
    KORVALO_LEAD(IsCabType, "M"),
    KORVALO_LEAD(IsPeType, "M"),
    KORVALO_LEAD(IsGhoType, "\xFE"),
    KORVALO_LEAD(IsSqlType, "S"),
    KORVALO_LEAD(IsDbxEmailType, "\xCF"),
    KORVALO_LEAD(IsPstEmailType, "!"),
    KORVALO_LEAD(IsTtfType, "\x00"),
    // Not here, as their signatures lie past offset 0: IsMp4Type, Is3pgType, IsMovType ("ftyp"
    // at 4), IsMtsType (at 8), IsOffice2007Type ("[Content_Types].xml" at 30).
};
#undef KORVALO_LEAD

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
            bool bSeen = false;
            for (int i = 0; i < nTests && !bSeen; ++i) bSeen = pfnTests[i] == pRow->pfnIsType;
            if (bSeen) continue;
            if (nTests == MAX_TESTS) {
                bUsable = false;
                return;
            }
            AddTest(nTests, pRow->pfnIsType);
            pfnTests[nTests++] = pRow->pfnIsType;
        }
    }

    void AddTest(int nIndex, PFN_IS_TYPE pfnIsType) {
        const uint64_t u64Bit = uint64_t{1} << nIndex;
        for (const LEAD_BYTES& lead : LEAD_BYTES_OF_TESTS) {
            if (lead.pfnIsType != pfnIsType) continue;
            for (int i = 0; i < lead.nLeadBytes; ++i)
                u64CandidatesByLead[static_cast<unsigned char>(lead.pLeadBytes[i])] |= u64Bit;
            return;
        }
        for (uint64_t& u64Candidates : u64CandidatesByLead) u64Candidates |= u64Bit;
    }
};

const FAST_WALK_PLAN& GetFastWalkPlan() {
    static const FAST_WALK_PLAN plan;
    return plan;
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
    return pRow->pfnIsType(pBuf, nLen) == pRow->nFileType ? 1 : 0;
}
