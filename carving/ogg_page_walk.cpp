// Ogg: a run of pages, each checked by its CRC-32. The file is the first logical stream's:
// it ends after that stream's page flagged end-of-stream (pages of streams multiplexed with it
// are passed over), or after the last good page when the run breaks before that flag.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "carving/carved_file_bytes.h"
#include "carving/msb_first_crc.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

#pragma pack(push, 1)
struct OGG_PAGE_HEADER {
    char szCapture[4];  // "OggS"
    unsigned char ucVersion;
    unsigned char ucFlags;
    unsigned char abGranule[8];
    unsigned char abSerial[4];    // little-endian, as every field
    unsigned char abSequence[4];
    unsigned char abCrc[4];       // of the whole page with this field zero
    unsigned char ucSegments;     // the lacing values that follow
};
#pragma pack(pop)
static_assert(sizeof(OGG_PAGE_HEADER) == 27, "OGG_PAGE_HEADER layout");
static_assert(offsetof(OGG_PAGE_HEADER, abSerial) == 14, "OGG_PAGE_HEADER layout");
static_assert(offsetof(OGG_PAGE_HEADER, abCrc) == 22, "OGG_PAGE_HEADER layout");

constexpr unsigned char OGG_FLAG_FIRST_PAGE = 0x02;
constexpr unsigned char OGG_FLAG_LAST_PAGE = 0x04;
constexpr unsigned char OGG_FLAGS_KNOWN = 0x07;

bool PageCrcHolds(const unsigned char* pPage, size_t nPageBytes) {
    static constexpr unsigned char ZERO_CRC[4] = {};
    constexpr size_t CRC_AT = offsetof(OGG_PAGE_HEADER, abCrc);
    uint32_t crc = COggPageCrc::Update(0, pPage, CRC_AT);
    crc = COggPageCrc::Update(crc, ZERO_CRC, sizeof(ZERO_CRC));
    crc = COggPageCrc::Update(crc, pPage + CRC_AT + 4, nPageBytes - CRC_AT - 4);
    return crc == ReadLe32(pPage + CRC_AT);
}

}  // namespace

unsigned long long WalkOggPages(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    unsigned long long u64At = 0;
    uint32_t u32Serial = 0;
    for (;;) {
        const unsigned char* pHeader = bytes.Peek(u64At, sizeof(OGG_PAGE_HEADER));
        if (pHeader == nullptr || memcmp(pHeader, "OggS", 4) != 0 || pHeader[offsetof(OGG_PAGE_HEADER, ucVersion)] != 0)
            break;
        const unsigned char ucFlags = pHeader[offsetof(OGG_PAGE_HEADER, ucFlags)];
        if ((ucFlags & ~OGG_FLAGS_KNOWN) != 0 || (u64At == 0 && (ucFlags & OGG_FLAG_FIRST_PAGE) == 0)) break;
        const size_t nSegments = pHeader[offsetof(OGG_PAGE_HEADER, ucSegments)];
        // A page is at most 27 + 255 + 255 * 255 bytes: it fits one peek.
        size_t nPageBytes = sizeof(OGG_PAGE_HEADER) + nSegments;
        const unsigned char* pLacing = bytes.Peek(u64At + sizeof(OGG_PAGE_HEADER), nSegments == 0 ? 1 : nSegments);
        if (pLacing == nullptr) break;
        for (size_t i = 0; i < nSegments; ++i) nPageBytes += pLacing[i];
        if (nPageBytes > u64CapBytes || u64At > u64CapBytes - nPageBytes) break;
        const unsigned char* pPage = bytes.Peek(u64At, nPageBytes);
        if (pPage == nullptr || !PageCrcHolds(pPage, nPageBytes)) break;
        const uint32_t u32PageSerial = ReadLe32(pPage + offsetof(OGG_PAGE_HEADER, abSerial));
        if (u64At == 0) u32Serial = u32PageSerial;
        u64At += nPageBytes;
        if (u32PageSerial == u32Serial && (ucFlags & OGG_FLAG_LAST_PAGE) != 0) break;
    }
    return u64At;
}
