// FLAC: "fLaC", the metadata blocks up to the one flagged last, then the audio frames. A frame
// states no length: it ends where the CRC-16 of its bytes (header to footer) comes out right
// and the next frame's header follows; the last frame ends where the CRC first comes out right.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "carving/carved_file_bytes.h"
#include "carving/msb_first_crc.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

constexpr size_t FLAC_MARKER_BYTES = 4;  // "fLaC"
constexpr size_t BLOCK_HEADER_BYTES = 4;  // last-block flag and type, 24-bit length
constexpr unsigned char BLOCK_FLAG_LAST = 0x80;
constexpr unsigned char BLOCK_TYPE_MASK = 0x7F;
constexpr unsigned char BLOCK_TYPE_STREAMINFO = 0;
constexpr unsigned char BLOCK_TYPE_INVALID = 127;
constexpr uint32_t STREAMINFO_BYTES = 34;
constexpr int MAX_METADATA_BLOCKS = 4096;

// Within STREAMINFO: frame sizes are 24-bit, total samples the low 36 bits of a 64-bit field.
constexpr size_t STREAMINFO_MIN_FRAME_OFFSET = 4;
constexpr size_t STREAMINFO_MAX_FRAME_OFFSET = 7;
constexpr size_t STREAMINFO_TOTAL_SAMPLES_OFFSET = 10;
constexpr uint64_t TOTAL_SAMPLES_MASK = (uint64_t{1} << 36) - 1;

// Sync, two code bytes, a UTF-8 coded number of up to 7 bytes, up to 2 bytes each of block size
// and sample rate, and the CRC-8.
constexpr size_t FRAME_HEADER_MAX_BYTES = 16;
constexpr unsigned char FRAME_SYNC_HIGH = 0xFF;
constexpr unsigned char FRAME_SYNC_LOW = 0xF8;  // the last bit tells fixed from variable blocks
constexpr unsigned char FRAME_VARIABLE_BLOCKS = 0x01;
constexpr unsigned int MAX_CHANNEL_ASSIGNMENT = 10;
constexpr unsigned int RESERVED_SAMPLE_SIZE = 3;
constexpr unsigned int RESERVED_SAMPLE_RATE = 15;
constexpr size_t FRAME_FOOTER_BYTES = 2;
// With no maximum in STREAMINFO: 65535 samples of 8 channels of 32 bits, and then some.
constexpr unsigned long long UNSTATED_MAX_FRAME_BYTES = 4ULL << 20;

uint32_t ReadBe24(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}

struct FRAME_HEADER {
    bool bVariableBlocks;
    uint32_t nSamples;
    size_t nBytes;
};

// Bytes of the UTF-8 style number starting with uc (1..7), or 0 when uc cannot start one.
size_t CodedNumberBytes(unsigned char uc) {
    if (uc < 0x80) return 1;
    if (uc < 0xC0 || uc == 0xFF) return 0;
    size_t nBytes = 0;
    while (nBytes < 8 && (uc & (0x80 >> nBytes)) != 0) ++nBytes;
    return nBytes;
}

uint32_t SamplesOfBlockSizeCode(unsigned int nCode) {
    if (nCode == 1) return 192;
    if (nCode >= 2 && nCode <= 5) return 576u << (nCode - 2);
    if (nCode >= 8) return 256u << (nCode - 8);
    return 0;  // 0 is reserved; 6 and 7 put the size after the number
}

// The frame header at p (nAvail bytes there), checked down to its CRC-8.
bool ParseFrameHeader(const unsigned char* p, size_t nAvail, FRAME_HEADER& header) {
    if (nAvail < 6 || p[0] != FRAME_SYNC_HIGH || (p[1] & 0xFE) != FRAME_SYNC_LOW) return false;
    const unsigned int nBlockCode = p[2] >> 4, nRateCode = p[2] & 0x0F;
    const unsigned int nChannels = p[3] >> 4, nSampleSize = (p[3] >> 1) & 0x07;
    if (nBlockCode == 0 || nRateCode == RESERVED_SAMPLE_RATE || nChannels > MAX_CHANNEL_ASSIGNMENT ||
        nSampleSize == RESERVED_SAMPLE_SIZE || (p[3] & 0x01) != 0)
        return false;
    size_t nAt = 4;
    const size_t nNumberBytes = CodedNumberBytes(p[nAt]);
    if (nNumberBytes == 0 || nAt + nNumberBytes > nAvail) return false;
    for (size_t i = 1; i < nNumberBytes; ++i)
        if ((p[nAt + i] & 0xC0) != 0x80) return false;
    nAt += nNumberBytes;
    header.nSamples = SamplesOfBlockSizeCode(nBlockCode);
    const size_t nBlockBytes = nBlockCode == 6 ? 1 : nBlockCode == 7 ? 2 : 0;
    const size_t nRateBytes = nRateCode == 12 ? 1 : (nRateCode == 13 || nRateCode == 14) ? 2 : 0;
    if (nAt + nBlockBytes + nRateBytes + 1 > nAvail) return false;
    if (nBlockBytes == 1) header.nSamples = p[nAt] + 1u;
    if (nBlockBytes == 2) header.nSamples = ReadBe16(p + nAt) + 1u;
    nAt += nBlockBytes + nRateBytes;
    if (CFlacHeaderCrc::Update(0, p, nAt) != p[nAt]) return false;
    header.bVariableBlocks = (p[1] & FRAME_VARIABLE_BLOCKS) != 0;
    header.nBytes = nAt + 1;
    return true;
}

bool FrameHeaderAt(CCarvedFileBytes& bytes, unsigned long long u64At, bool bVariableBlocks, FRAME_HEADER& header) {
    size_t nGot = 0;
    const unsigned char* p = bytes.PeekUpTo(u64At, FRAME_HEADER_MAX_BYTES, nGot);
    return p != nullptr && ParseFrameHeader(p, nGot, header) && header.bVariableBlocks == bVariableBlocks;
}

struct STREAM_LIMITS {
    unsigned long long u64MinFrameBytes;
    unsigned long long u64MaxFrameBytes;
    uint64_t u64TotalSamples;  // 0: not stated
    unsigned long long u64CapBytes;
};

struct FRAME_END {
    unsigned long long u64End;  // 0: none found
    bool bNextFollows;          // another frame's header starts there
};

// Runs the frame CRC from the frame's first byte. Where it comes out 0, the frame may end; it
// does when the next header follows, or when this is the last frame. Without a following
// header anywhere in reach, the first such place is the last frame's end.
FRAME_END FindFrameEnd(CCarvedFileBytes& bytes, unsigned long long u64FrameAt, const FRAME_HEADER& header,
                       bool bLastFrame, const STREAM_LIMITS& limits) {
    const std::array<uint16_t, 256>& table = CFlacFrameCrc::Table();
    const unsigned long long u64MinEnd =
        u64FrameAt + std::max<unsigned long long>(limits.u64MinFrameBytes, header.nBytes + 1 + FRAME_FOOTER_BYTES);
    const unsigned long long u64Reach = std::min(limits.u64CapBytes - u64FrameAt, limits.u64MaxFrameBytes);
    const unsigned long long u64Limit = u64FrameAt + u64Reach;
    unsigned long long u64FirstZero = 0;
    uint16_t crc = 0;
    for (unsigned long long u64At = u64FrameAt; u64At < u64Limit;) {
        const size_t nWant = static_cast<size_t>(std::min<unsigned long long>(u64Limit - u64At, CCarvedFileBytes::MAX_PEEK_BYTES));
        size_t nGot = 0;
        const unsigned char* p = bytes.PeekUpTo(u64At, nWant, nGot);
        if (p == nullptr) break;
        for (size_t i = 0; i < nGot; ++i) {
            crc = CFlacFrameCrc::Step(table, crc, p[i]);
            const unsigned long long u64End = u64At + i + 1;
            if (crc != 0 || u64End < u64MinEnd) continue;
            if (bLastFrame) return {u64End, false};
            FRAME_HEADER next{};
            if (FrameHeaderAt(bytes, u64End, header.bVariableBlocks, next)) return {u64End, true};
            if (u64FirstZero == 0) u64FirstZero = u64End;
            // The header look moved the window: take the same bytes again.
            size_t nAgain = 0;
            p = bytes.PeekUpTo(u64At, nWant, nAgain);
            if (p == nullptr || nAgain != nGot) return {u64FirstZero, false};
        }
        u64At += nGot;
        if (nGot < nWant) break;  // the area ends here
    }
    return {u64FirstZero, false};
}

}  // namespace

unsigned long long WalkFlacFrames(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    const unsigned char* pHead = bytes.Peek(0, FLAC_MARKER_BYTES + BLOCK_HEADER_BYTES + STREAMINFO_BYTES);
    if (pHead == nullptr || memcmp(pHead, "fLaC", FLAC_MARKER_BYTES) != 0) return 0;
    const unsigned char* pBlock = pHead + FLAC_MARKER_BYTES;
    if ((pBlock[0] & BLOCK_TYPE_MASK) != BLOCK_TYPE_STREAMINFO || ReadBe24(pBlock + 1) != STREAMINFO_BYTES) return 0;
    const unsigned char* pInfo = pBlock + BLOCK_HEADER_BYTES;
    STREAM_LIMITS limits{};
    limits.u64MinFrameBytes = ReadBe24(pInfo + STREAMINFO_MIN_FRAME_OFFSET);
    limits.u64MaxFrameBytes = ReadBe24(pInfo + STREAMINFO_MAX_FRAME_OFFSET);
    if (limits.u64MaxFrameBytes == 0) limits.u64MaxFrameBytes = UNSTATED_MAX_FRAME_BYTES;
    limits.u64TotalSamples = (static_cast<uint64_t>(ReadBe32(pInfo + STREAMINFO_TOTAL_SAMPLES_OFFSET)) << 32 |
                              ReadBe32(pInfo + STREAMINFO_TOTAL_SAMPLES_OFFSET + 4)) & TOTAL_SAMPLES_MASK;
    limits.u64CapBytes = u64CapBytes;

    unsigned long long u64At = FLAC_MARKER_BYTES;
    for (int nBlocks = 0;; ++nBlocks) {
        const unsigned char* pHeader = bytes.Peek(u64At, BLOCK_HEADER_BYTES);
        if (pHeader == nullptr || nBlocks == MAX_METADATA_BLOCKS) return 0;
        if ((pHeader[0] & BLOCK_TYPE_MASK) == BLOCK_TYPE_INVALID) return 0;
        u64At += BLOCK_HEADER_BYTES + ReadBe24(pHeader + 1);
        if (u64At > u64CapBytes) return 0;
        if ((pHeader[0] & BLOCK_FLAG_LAST) != 0) break;
    }

    FRAME_HEADER header{};
    size_t nGot = 0;
    const unsigned char* pFirst = bytes.PeekUpTo(u64At, FRAME_HEADER_MAX_BYTES, nGot);
    // A stream of no samples is its metadata alone.
    if (pFirst == nullptr || !ParseFrameHeader(pFirst, nGot, header)) return limits.u64TotalSamples == 0 ? u64At : 0;
    unsigned long long u64End = 0;
    uint64_t u64Samples = 0;
    for (;;) {
        const bool bLast = limits.u64TotalSamples != 0 && u64Samples + header.nSamples >= limits.u64TotalSamples;
        const FRAME_END end = FindFrameEnd(bytes, u64At, header, bLast, limits);
        if (end.u64End == 0) break;
        u64End = end.u64End;
        u64Samples += header.nSamples;
        if (!end.bNextFollows) break;
        u64At = end.u64End;
        if (!FrameHeaderAt(bytes, u64At, header.bVariableBlocks, header)) break;
    }
    return u64End;
}
