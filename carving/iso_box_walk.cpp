// QuickTime and ISO base media files: a run of top-level boxes (32-bit big-endian size, four-
// character type, a 64-bit size after the type when the first is 1). The file ends where the
// last box of the run ends; the first thing that is not a top-level box ends the run.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "carving/carved_file_bytes.h"
#include "carving/signature_match.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

#pragma pack(push, 1)
struct ISO_BOX_HEADER {
    unsigned char abSize[4];  // big-endian, header included
    char szType[4];
    unsigned char abLargeSize[8];  // only when abSize holds BOX_SIZE_LARGE
};
#pragma pack(pop)
static_assert(sizeof(ISO_BOX_HEADER) == 16, "ISO_BOX_HEADER layout");
static_assert(offsetof(ISO_BOX_HEADER, szType) == 4, "ISO_BOX_HEADER layout");
static_assert(offsetof(ISO_BOX_HEADER, abLargeSize) == 8, "ISO_BOX_HEADER layout");

constexpr size_t BOX_HEADER_BYTES = offsetof(ISO_BOX_HEADER, abLargeSize);
constexpr size_t BOX_LARGE_HEADER_BYTES = sizeof(ISO_BOX_HEADER);
constexpr uint32_t BOX_SIZE_TO_END = 0;  // "the box runs to the end of the file"
constexpr uint32_t BOX_SIZE_LARGE = 1;   // the real size follows the type

// Types that stand at the top level of MP4, 3GP and QuickTime files. An unknown type ends the
// run rather than being skipped: after the file, its size field is whatever the disk holds.
const char* const TOP_LEVEL_TYPES[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta",
                                       "pnot", "moof", "mfra", "styp", "sidx", "ssix", "pdin", "udta",
                                       "prft", "emsg", "PICT", "junk"};
// A file needs one of these to be more than a type declaration.
const char* const MEDIA_TYPES[] = {"moov", "mdat", "moof"};


}  // namespace

unsigned long long WalkIsoBoxes(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    unsigned long long u64At = 0;
    bool bMedia = false;
    for (;;) {
        const unsigned char* pHeader = bytes.Peek(u64At, BOX_HEADER_BYTES);
        const unsigned char* pType = pHeader == nullptr ? nullptr : pHeader + offsetof(ISO_BOX_HEADER, szType);
        if (pType == nullptr || !FourCcIn(pType, TOP_LEVEL_TYPES)) break;
        // A second file type box is the next file's head.
        if (u64At != 0 && memcmp(pType, "ftyp", 4) == 0) break;
        const bool bMediaBox = FourCcIn(pType, MEDIA_TYPES);
        unsigned long long u64Size = ReadBe32(pHeader + offsetof(ISO_BOX_HEADER, abSize));
        // A box "to the end of the file" (a recording that was never closed) has no end of its
        // own: the caller's end search is the best guess there is.
        if (u64Size == BOX_SIZE_TO_END) return 0;
        unsigned long long u64HeaderBytes = BOX_HEADER_BYTES;
        if (u64Size == BOX_SIZE_LARGE) {
            const unsigned char* pLarge = bytes.Peek(u64At + BOX_HEADER_BYTES, BOX_LARGE_HEADER_BYTES - BOX_HEADER_BYTES);
            if (pLarge == nullptr) break;
            u64Size = (static_cast<unsigned long long>(ReadBe32(pLarge)) << 32) | ReadBe32(pLarge + 4);
            u64HeaderBytes = BOX_LARGE_HEADER_BYTES;
        }
        if (u64Size < u64HeaderBytes) break;
        // A box beyond the cap is not believed, and neither is the run: the end search decides.
        if (u64Size > u64CapBytes || u64At > u64CapBytes - u64Size) return 0;
        u64At += u64Size;
        bMedia = bMedia || bMediaBox;
    }
    return bMedia ? u64At : 0;
}
