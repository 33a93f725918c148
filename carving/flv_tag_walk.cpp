// FLV: header, PreviousTagSize0, then tags (11-byte header, data, 32-bit size of that tag).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "carving/carved_file_bytes.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

#pragma pack(push, 1)
struct FLV_FILE_HEADER {
    char szSignature[3];  // "FLV"
    unsigned char ucVersion;
    unsigned char ucFlags;
    unsigned char abDataOffset[4];  // big-endian: where PreviousTagSize0 stands
};
struct FLV_TAG_HEADER {
    unsigned char ucType;  // reserved bits, filter bit, tag type
    unsigned char abDataSize[3];
    unsigned char abTimestamp[3];
    unsigned char ucTimestampHigh;
    unsigned char abStreamId[3];
};
#pragma pack(pop)
static_assert(sizeof(FLV_FILE_HEADER) == 9, "FLV_FILE_HEADER layout");
static_assert(offsetof(FLV_FILE_HEADER, ucFlags) == 4, "FLV_FILE_HEADER layout");
static_assert(offsetof(FLV_FILE_HEADER, abDataOffset) == 5, "FLV_FILE_HEADER layout");
static_assert(sizeof(FLV_TAG_HEADER) == 11, "FLV_TAG_HEADER layout");
static_assert(offsetof(FLV_TAG_HEADER, abDataSize) == 1, "FLV_TAG_HEADER layout");
static_assert(offsetof(FLV_TAG_HEADER, abStreamId) == 8, "FLV_TAG_HEADER layout");

constexpr unsigned char FLV_VERSION = 1;
constexpr uint32_t FLV_MAX_DATA_OFFSET = 1024;      // the header is 9 bytes; more is not an FLV
constexpr unsigned char FLV_FLAGS_RESERVED = 0xFA;  // only the audio (0x04) and video (0x01) bits
constexpr size_t FLV_TAG_SIZE_BYTES = 4;            // the PreviousTagSize after each tag
constexpr unsigned char FLV_TAG_RESERVED = 0xC0;
constexpr unsigned char FLV_TAG_TYPE_MASK = 0x1F;   // below the filter (encryption) bit
constexpr unsigned char FLV_TAG_AUDIO = 8, FLV_TAG_VIDEO = 9, FLV_TAG_SCRIPT = 18;

uint32_t ReadBe24(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

bool IsTagHeader(const unsigned char* pTag) {
    const unsigned char ucType = pTag[offsetof(FLV_TAG_HEADER, ucType)];
    if ((ucType & FLV_TAG_RESERVED) != 0) return false;
    const unsigned char ucKind = ucType & FLV_TAG_TYPE_MASK;
    if (ucKind != FLV_TAG_AUDIO && ucKind != FLV_TAG_VIDEO && ucKind != FLV_TAG_SCRIPT) return false;
    return ReadBe24(pTag + offsetof(FLV_TAG_HEADER, abStreamId)) == 0;
}

}  // namespace

unsigned long long WalkFlvTags(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    const unsigned char* pHeader = bytes.Peek(0, sizeof(FLV_FILE_HEADER));
    if (pHeader == nullptr || memcmp(pHeader, "FLV", 3) != 0 ||
        pHeader[offsetof(FLV_FILE_HEADER, ucVersion)] != FLV_VERSION ||
        (pHeader[offsetof(FLV_FILE_HEADER, ucFlags)] & FLV_FLAGS_RESERVED) != 0)
        return 0;
    const uint32_t nDataOffset = ReadBe32(pHeader + offsetof(FLV_FILE_HEADER, abDataOffset));
    if (nDataOffset < sizeof(FLV_FILE_HEADER) || nDataOffset > FLV_MAX_DATA_OFFSET) return 0;
    const unsigned char* pFirstSize = bytes.Peek(nDataOffset, FLV_TAG_SIZE_BYTES);
    if (pFirstSize == nullptr || ReadBe32(pFirstSize) != 0) return 0;

    unsigned long long u64At = nDataOffset + FLV_TAG_SIZE_BYTES;
    unsigned long long u64End = 0;
    for (;;) {
        const unsigned char* pTag = bytes.Peek(u64At, sizeof(FLV_TAG_HEADER));
        if (pTag == nullptr || !IsTagHeader(pTag)) break;
        const uint32_t nDataBytes = ReadBe24(pTag + offsetof(FLV_TAG_HEADER, abDataSize));
        const unsigned long long u64SizeAt = u64At + sizeof(FLV_TAG_HEADER) + nDataBytes;
        if (u64SizeAt + FLV_TAG_SIZE_BYTES > u64CapBytes) break;
        const unsigned char* pSize = bytes.Peek(u64SizeAt, FLV_TAG_SIZE_BYTES);
        if (pSize == nullptr || ReadBe32(pSize) != sizeof(FLV_TAG_HEADER) + nDataBytes) break;
        u64At = u64SizeAt + FLV_TAG_SIZE_BYTES;
        u64End = u64At;
    }
    return u64End;
}
