// Size rules of camera RAW files. A TIFF-based RAW ends where the furthest thing its
// directories point to ends (the TIFF walk); a RAF where the furthest of the three parts its
// header lists ends. Either end is only believed up to the next file's head: a sector in
// between that the detection walk takes for a file ends it there, unless that sector is where
// a part of this file begins (an embedded preview, a raw stream opening like a JPEG) or lies in
// a blob of the file's own, such as its maker note.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "carving/carved_file_bytes.h"
#include "carving/file_type_judge.h"
#include "carving/forward_walk.h"
#include "carving/size_rules.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

using J = CFileTypeJudge;

// A full-frame sensor's uncompressed RAW stays well below this.
constexpr unsigned long long RAW_CAP_BYTES = 536870912ULL;  // 512 MiB

// The RAF header: big-endian offset and length of the embedded JPEG, the CFA header and the
// CFA data.
constexpr int RAF_HEADER_BYTES = 108;
constexpr int RAF_JPEG_OFFSET_AT = 84;
constexpr int RAF_CFA_HEADER_OFFSET_AT = 92;
constexpr int RAF_CFA_OFFSET_AT = 100;

bool IsOwnHeadAt(const std::vector<TIFF_FILE_EXTENT>& vecExtents, unsigned long long u64At) {
    return std::any_of(vecExtents.begin(), vecExtents.end(), [u64At](const TIFF_FILE_EXTENT& extent) {
        return extent.u64Start == u64At || (extent.bHoldsOwnHeads && extent.u64Start < u64At && u64At < extent.u64End);
    });
}

// u64End, or the offset of the first sector after the head and before u64End that starts
// another file. SIZE_RULE_UNKNOWN when the user stopped the search.
unsigned long long EndBeforeNextHead(unsigned long long u64End, const std::vector<TIFF_FILE_EXTENT>& vecExtents) {
    const unsigned long long u64Sector = static_cast<unsigned long long>(J::m_nBytesPerSector);
    CCarvedFileBytes bytes;
    const unsigned long long u64Chunk = CCarvedFileBytes::MAX_PEEK_BYTES / u64Sector * u64Sector;
    // The sector holding the file's last byte is searched too: a head there is no part of it.
    const unsigned long long u64SectorsEnd = (u64End + u64Sector - 1) / u64Sector * u64Sector;
    for (unsigned long long u64At = u64Sector; u64At < u64SectorsEnd; u64At += u64Chunk) {
        size_t nGot = 0;
        const unsigned char* p = bytes.PeekUpTo(u64At, static_cast<size_t>(std::min(u64Chunk, u64SectorsEnd - u64At)), nGot);
        if (bytes.Stopped()) return SIZE_RULE_UNKNOWN;
        // An unreadable sector is noted by the read: the carver ends the file before it.
        if (p == nullptr) break;
        const int nLen = static_cast<int>(nGot);
        // The head search runs sector by sector; a head of this file's own is stepped over.
        int nFrom = 0;
        while (nFrom < nLen) {
            J::m_u64CurrentSector = J::m_u64StartSector + (u64At + nFrom) / u64Sector - 1;
            unsigned long long u64Skipped = 0;
            if (J::IsEndOfFile(p + nFrom, nLen - nFrom, u64Skipped) == 0) break;
            const unsigned long long u64Head = u64At + nFrom + u64Skipped;
            if (!IsOwnHeadAt(vecExtents, u64Head)) return u64Head;
            nFrom += static_cast<int>(u64Skipped + u64Sector);
        }
    }
    return u64End;
}

unsigned long long StructureEndBeforeNextHead(unsigned long long u64End, const std::vector<TIFF_FILE_EXTENT>& vecExtents,
                                              const unsigned char* pHead, int nLen) {
    if (u64End == 0 || J::m_nBytesPerSector <= 0) return StructureEndOr(0, GetDefaultPictureFileBytesSize, pHead, nLen);
    return EndBeforeNextHead(u64End, vecExtents);
}

}  // namespace

unsigned long long GetCameraRawFileBytesSize(const unsigned char* pHead, int nLen) {
    std::vector<TIFF_FILE_EXTENT> vecExtents;
    const unsigned long long u64End = WalkCameraRawDirectories(RAW_CAP_BYTES, vecExtents);
    return StructureEndBeforeNextHead(u64End, vecExtents, pHead, nLen);
}

unsigned long long GetRAFFileBytesSize(const unsigned char* pHead, int nLen) {
    std::vector<TIFF_FILE_EXTENT> vecExtents;
    unsigned long long u64End = 0;
    if (pHead != nullptr && nLen >= RAF_HEADER_BYTES) {
        vecExtents.push_back({0, RAF_HEADER_BYTES, false});
        u64End = RAF_HEADER_BYTES;
        for (int nAt : {RAF_JPEG_OFFSET_AT, RAF_CFA_HEADER_OFFSET_AT, RAF_CFA_OFFSET_AT}) {
            const unsigned long long u64Offset = ReadBe32(pHead + nAt);
            const unsigned long long u64Length = ReadBe32(pHead + nAt + 4);
            // Every part lies after the header and within the cap.
            if (u64Offset < RAF_HEADER_BYTES || u64Length == 0 || u64Offset + u64Length > RAW_CAP_BYTES) {
                u64End = 0;
                break;
            }
            vecExtents.push_back({u64Offset, u64Offset + u64Length, false});
            u64End = std::max(u64End, u64Offset + u64Length);
        }
    }
    return StructureEndBeforeNextHead(u64End, vecExtents, pHead, nLen);
}
