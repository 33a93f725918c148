// MP3 behind an ID3v2 tag: skip the tag by its size, walk the MPEG audio frames by the length
// their headers give, then take an APEv2 tag and a 128-byte ID3v1 tag that follow the last
// frame directly.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "carving/carved_file_bytes.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

#pragma pack(push, 1)
struct ID3V2_HEADER {
    char szId[3];  // "ID3"
    unsigned char ucVersion;
    unsigned char ucRevision;
    unsigned char ucFlags;
    unsigned char abSize[4];  // four 7-bit groups, big-endian: the tag after this header
};
// The APEv2 tag's header and footer share this layout; flags tell them apart.
struct APE_TAG_HEADER {
    char szPreamble[8];  // "APETAGEX"
    uint32_t dwVersion;
    uint32_t dwSize;  // items and footer, not the header
    uint32_t dwItemCount;
    uint32_t dwFlags;
    unsigned char abReserved[8];
};
#pragma pack(pop)
static_assert(sizeof(ID3V2_HEADER) == 10, "ID3V2_HEADER layout");
static_assert(offsetof(ID3V2_HEADER, ucFlags) == 5, "ID3V2_HEADER layout");
static_assert(offsetof(ID3V2_HEADER, abSize) == 6, "ID3V2_HEADER layout");
static_assert(sizeof(APE_TAG_HEADER) == 32, "APE_TAG_HEADER layout");
static_assert(offsetof(APE_TAG_HEADER, dwSize) == 12, "APE_TAG_HEADER layout");
static_assert(offsetof(APE_TAG_HEADER, dwFlags) == 20, "APE_TAG_HEADER layout");

constexpr size_t ID3V2_FOOTER_BYTES = sizeof(ID3V2_HEADER);
constexpr unsigned char ID3V2_FLAG_FOOTER = 0x10;
// Encoders may leave zero padding between the tag and the first frame; more than this is not
// an MP3 written by one.
constexpr unsigned long long MAX_PADDING_BYTES = 4096;
constexpr size_t FRAME_HEADER_BYTES = 4;
constexpr size_t ID3V1_TAG_BYTES = 128;
constexpr uint32_t APE_TAG_FLAG_HAS_HEADER = 0x80000000u;
constexpr uint32_t APE_TAG_FLAG_IS_HEADER = 0x20000000u;
constexpr uint32_t APE_TAG_MAX_BYTES = 16u << 20;

enum { MPEG_25 = 0, MPEG_RESERVED = 1, MPEG_2 = 2, MPEG_1 = 3 };
enum { LAYER_RESERVED = 0, LAYER_3 = 1, LAYER_2 = 2, LAYER_1 = 3 };

// kbit/s by bit-rate index (0 = free format, 15 = invalid): MPEG-1 layers I, II, III, then
// MPEG-2/2.5 layer I, then MPEG-2/2.5 layers II and III.
constexpr unsigned short BITRATES[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
constexpr unsigned int SAMPLE_RATES[3] = {44100, 48000, 32000};  // MPEG-1; halved for 2, quartered for 2.5

struct FRAME {
    unsigned int nVersion, nLayer, nRateIndex;
    unsigned long long u64Bytes;
};

// The frame whose header is at p, or false for anything else (free format included: its
// length is not in the header).
bool ParseFrameHeader(const unsigned char* p, FRAME& frame) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    frame.nVersion = (p[1] >> 3) & 0x03;
    frame.nLayer = (p[1] >> 1) & 0x03;
    const unsigned int nBitrateIndex = p[2] >> 4;
    frame.nRateIndex = (p[2] >> 2) & 0x03;
    const unsigned int nPadding = (p[2] >> 1) & 0x01;
    if (frame.nVersion == MPEG_RESERVED || frame.nLayer == LAYER_RESERVED || frame.nRateIndex == 3) return false;
    if ((p[3] & 0x03) == 2) return false;  // reserved emphasis
    const bool bMpeg1 = frame.nVersion == MPEG_1;
    const int nTable = bMpeg1 ? 3 - static_cast<int>(frame.nLayer) : (frame.nLayer == LAYER_1 ? 3 : 4);
    const unsigned long long u64Bitrate = BITRATES[nTable][nBitrateIndex] * 1000ULL;
    if (u64Bitrate == 0) return false;
    const unsigned int nShift = bMpeg1 ? 0 : (frame.nVersion == MPEG_2 ? 1 : 2);
    const unsigned long long u64Rate = SAMPLE_RATES[frame.nRateIndex] >> nShift;
    if (frame.nLayer == LAYER_1) {
        frame.u64Bytes = (12 * u64Bitrate / u64Rate + nPadding) * 4;
    } else {
        // Layer III of MPEG-2 and 2.5 has half the samples per frame.
        const unsigned long long u64Factor = (frame.nLayer == LAYER_3 && !bMpeg1) ? 72 : 144;
        frame.u64Bytes = u64Factor * u64Bitrate / u64Rate + nPadding;
    }
    return frame.u64Bytes > FRAME_HEADER_BYTES;
}

// Bytes of an APEv2 tag that starts at u64At with its header, or 0.
unsigned long long ApeTagBytes(CCarvedFileBytes& bytes, unsigned long long u64At) {
    const unsigned char* pHeader = bytes.Peek(u64At, sizeof(APE_TAG_HEADER));
    if (pHeader == nullptr || memcmp(pHeader, "APETAGEX", 8) != 0) return 0;
    const uint32_t nSize = ReadLe32(pHeader + offsetof(APE_TAG_HEADER, dwSize));
    const uint32_t nFlags = ReadLe32(pHeader + offsetof(APE_TAG_HEADER, dwFlags));
    if ((nFlags & (APE_TAG_FLAG_HAS_HEADER | APE_TAG_FLAG_IS_HEADER)) != (APE_TAG_FLAG_HAS_HEADER | APE_TAG_FLAG_IS_HEADER) ||
        nSize < sizeof(APE_TAG_HEADER) || nSize > APE_TAG_MAX_BYTES)
        return 0;
    // The footer closes the items; the header is not counted in the size.
    const unsigned char* pFooter = bytes.Peek(u64At + nSize, sizeof(APE_TAG_HEADER));
    if (pFooter == nullptr || memcmp(pFooter, "APETAGEX", 8) != 0) return 0;
    return sizeof(APE_TAG_HEADER) + nSize;
}

}  // namespace

unsigned long long WalkMp3Frames(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    const unsigned char* pTag = bytes.Peek(0, sizeof(ID3V2_HEADER));
    if (pTag == nullptr || memcmp(pTag, "ID3", 3) != 0) return 0;
    unsigned long long u64At = sizeof(ID3V2_HEADER);
    const unsigned char* pSize = pTag + offsetof(ID3V2_HEADER, abSize);
    for (int i = 0; i < 4; ++i) {
        if (pSize[i] & 0x80) return 0;
        u64At += static_cast<unsigned long long>(pSize[i]) << (7 * (3 - i));
    }
    if (pTag[offsetof(ID3V2_HEADER, ucFlags)] & ID3V2_FLAG_FOOTER) u64At += ID3V2_FOOTER_BYTES;
    for (const unsigned long long u64Limit = u64At + MAX_PADDING_BYTES; u64At < u64Limit; ++u64At) {
        const unsigned char* p = bytes.Peek(u64At, 1);
        if (p == nullptr || *p != 0) break;
    }

    // Every frame of a file shares the first one's version, layer and sample rate.
    FRAME first{};
    unsigned long long u64Frames = 0;
    for (;; ++u64Frames) {
        FRAME frame{};
        const unsigned char* pHeader = bytes.Peek(u64At, FRAME_HEADER_BYTES);
        if (pHeader == nullptr || !ParseFrameHeader(pHeader, frame)) break;
        if (u64Frames == 0) first = frame;
        if (frame.nVersion != first.nVersion || frame.nLayer != first.nLayer || frame.nRateIndex != first.nRateIndex)
            break;
        const unsigned long long u64Next = u64At + frame.u64Bytes;
        if (u64Next > u64CapBytes || bytes.Peek(u64Next - 1, 1) == nullptr) break;
        u64At = u64Next;
    }
    if (u64Frames == 0 || bytes.Stopped()) return 0;

    u64At += ApeTagBytes(bytes, u64At);
    const unsigned char* pId3v1 = bytes.Peek(u64At, ID3V1_TAG_BYTES);
    if (pId3v1 != nullptr && memcmp(pId3v1, "TAG", 3) == 0 && u64At + ID3V1_TAG_BYTES <= u64CapBytes)
        u64At += ID3V1_TAG_BYTES;
    return u64At;
}
