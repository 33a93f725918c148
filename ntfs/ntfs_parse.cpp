#include "ntfs/ntfs_parse.h"

#include <cstddef>

#include "ntfs/ntfs_records.h"
#include "util/le.h"

namespace {
// The fix-up restores at most this many sectors (1024-byte records on 512-byte sectors).
const int kMaxSavedWords = 2;
const size_t kOfsAttrLength = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u32Length);
const size_t kOfsRunListOffset = offsetof(NTFS_NONRESIDENT_ATTRIBUTE, u16RunListOffset);

// Little-endian number of nBytes (0..8) at p.
uint64_t ReadLeBytes(const unsigned char* p, unsigned int nBytes) {
    uint64_t u64Value = 0;
    for (unsigned int i = 0; i < nBytes; ++i) u64Value |= static_cast<uint64_t>(p[i]) << (8 * i);
    return u64Value;
}
}  // namespace

int CNtfsParse::Init(int nBytesPerSector) {
    const bool bKnownSize = nBytesPerSector == 512 || nBytesPerSector == 1024 || nBytesPerSector == 2048 ||
                            nBytesPerSector == 4096;
    m_nBytesPerSector = bKnownSize ? nBytesPerSector : 512;
    m_nSectorsPerRecord = m_nBytesPerSector == 512 ? 2 : 1;
    return 0;
}

int CNtfsParse::FileRecordFixUp(unsigned char* pRecord) const {
    if (pRecord == nullptr || pRecord[0] == 0) return NTFS_ERROR_NO_SIGNATURE;
    for (int i = 1; i <= m_nSectorsPerRecord && i <= kMaxSavedWords; ++i) {
        const unsigned char* pSaved = pRecord + NTFS_OFS_SAVED_WORDS + 2 * (i - 1);
        unsigned char* pSectorEnd = pRecord + static_cast<size_t>(m_nBytesPerSector) * i - 2;
        pSectorEnd[0] = pSaved[0];
        pSectorEnd[1] = pSaved[1];
    }
    return 0;
}

void CNtfsParse::GetRunList(const unsigned char* pAttribute, std::vector<__RUNLIST__>& vecRuns) const {
    if (pAttribute == nullptr) return;
    if (ReadLe32(pAttribute + kOfsAttrLength) >= static_cast<uint32_t>(m_nBytesPerSector)) return;
    GetWholeRunList(pAttribute, vecRuns);
}

void CNtfsParse::GetWholeRunList(const unsigned char* pAttribute, std::vector<__RUNLIST__>& vecRuns) const {
    if (pAttribute == nullptr) return;
    const uint32_t u32Length = ReadLe32(pAttribute + kOfsAttrLength);
    if (u32Length < kOfsRunListOffset + 2) return;  // too short to name where its runs are
    uint32_t p = ReadLe16(pAttribute + kOfsRunListOffset);
    while (p < u32Length) {
        const unsigned char h = pAttribute[p];
        const unsigned int nLengthBytes = h & 0x0F;
        const unsigned int nOffsetBytes = h >> 4;
        if (h == 0 || nLengthBytes > 7 || nOffsetBytes > 7) break;
        const uint32_t u32EntryEnd = static_cast<uint32_t>(p) + 1 + nLengthBytes + nOffsetBytes;
        if (u32EntryEnd > u32Length) break;
        __RUNLIST__ run;
        run.u64ClusterCount = ReadLeBytes(pAttribute + p + 1, nLengthBytes) & 0xFFFFFFFFu;
        uint64_t u64Offset = ReadLeBytes(pAttribute + p + 1 + nLengthBytes, nOffsetBytes);
        if (nOffsetBytes > 0 && (pAttribute[p + nLengthBytes + nOffsetBytes] & 0x80) != 0)
            u64Offset |= ~uint64_t{0} << (8 * nOffsetBytes);
        run.n64LcnOffset = static_cast<int64_t>(u64Offset);
        vecRuns.push_back(run);
        p = u32EntryEnd;
    }
}
