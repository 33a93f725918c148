// MPEG-1 and MPEG-2 program streams: packs (a pack header, then packets that each state their
// length) up to the program end code 00 00 01 B9. Encoders often leave the end code out; the
// stream then ends after its last whole packet, where the bytes stop being a pack or packet.
#include <cstddef>
#include <cstdint>

#include "carving/carved_file_bytes.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

constexpr unsigned char PACK_START = 0xBA;
constexpr unsigned char PROGRAM_END = 0xB9;
constexpr unsigned char FIRST_PACKET_ID = 0xBB;  // the system header; stream ids follow
#pragma pack(push, 1)
// What every packet after a pack header starts with (the system header too).
struct MPEG_PACKET_HEADER {
    unsigned char abStartCodePrefix[3];  // 00 00 01
    unsigned char ucStreamId;
    unsigned char abLength[2];  // big-endian: the bytes after this field
};
#pragma pack(pop)
static_assert(sizeof(MPEG_PACKET_HEADER) == 6, "MPEG_PACKET_HEADER layout");
static_assert(offsetof(MPEG_PACKET_HEADER, abLength) == 4, "MPEG_PACKET_HEADER layout");

constexpr size_t START_CODE_BYTES = offsetof(MPEG_PACKET_HEADER, abLength);
// Pack headers are bit fields, read by ParsePackHeader: MPEG-1 12 bytes, MPEG-2 14 bytes and
// up to 7 stuffing bytes.
constexpr size_t MPEG1_PACK_BYTES = 12;
constexpr size_t MPEG2_PACK_BYTES = 14;
constexpr unsigned char MPEG2_STUFFING_MASK = 0x07;  // low bits of the pack header's last byte

struct PACK_HEADER {
    unsigned long long u64Bytes;  // with stuffing
    unsigned long long u64Clock;  // the 33-bit system clock reference base
};

// Parses the pack header at p (MPEG2_PACK_BYTES readable); false when its fixed bits are wrong.
bool ParsePackHeader(const unsigned char* p, PACK_HEADER& pack) {
    if ((p[4] & 0xC4) == 0x44) {  // MPEG-2: '01', clock with marker bits, mux rate, stuffing
        if ((p[6] & 0x04) == 0 || (p[8] & 0x04) == 0 || (p[9] & 0x01) == 0 || (p[12] & 0x03) != 0x03)
            return false;
        pack.u64Bytes = MPEG2_PACK_BYTES + (p[13] & MPEG2_STUFFING_MASK);
        pack.u64Clock = (static_cast<unsigned long long>((p[4] >> 3) & 0x07) << 30) |
                        (static_cast<unsigned long long>(p[4] & 0x03) << 28) |
                        (static_cast<unsigned long long>(p[5]) << 20) | (static_cast<unsigned long long>(p[6] >> 3) << 15) |
                        (static_cast<unsigned long long>(p[6] & 0x03) << 13) | (static_cast<unsigned long long>(p[7]) << 5) |
                        (p[8] >> 3);
        return true;
    }
    if ((p[4] & 0xF1) == 0x21) {  // MPEG-1: '0010', clock with marker bits, mux rate
        if ((p[6] & 0x01) == 0 || (p[8] & 0x01) == 0 || (p[9] & 0x80) == 0 || (p[11] & 0x01) == 0) return false;
        pack.u64Bytes = MPEG1_PACK_BYTES;
        pack.u64Clock = (static_cast<unsigned long long>((p[4] >> 1) & 0x07) << 30) |
                        (static_cast<unsigned long long>(p[5]) << 22) | (static_cast<unsigned long long>(p[6] >> 1) << 15) |
                        (static_cast<unsigned long long>(p[7]) << 7) | (p[8] >> 1);
        return true;
    }
    return false;
}

}  // namespace

unsigned long long WalkMpegPacks(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    unsigned long long u64At = 0;
    unsigned long long u64End = 0;  // after the last whole packet
    unsigned long long u64LastClock = 0;
    bool bInPack = false;
    for (;;) {
        const unsigned char* pCode = bytes.Peek(u64At, START_CODE_BYTES);
        if (pCode == nullptr || pCode[0] != 0 || pCode[1] != 0 || pCode[2] != 1) break;
        const unsigned char ucId = pCode[3];
        if (ucId == PROGRAM_END) return bInPack ? u64At + START_CODE_BYTES : 0;
        if (ucId == PACK_START) {
            const unsigned char* pPack = bytes.Peek(u64At, MPEG2_PACK_BYTES);
            PACK_HEADER pack{};
            if (pPack == nullptr || !ParsePackHeader(pPack, pack)) break;
            // The clock never runs back inside one stream: a pack that does starts the next one.
            if (bInPack && pack.u64Clock < u64LastClock) break;
            u64LastClock = pack.u64Clock;
            bInPack = true;
            u64At += pack.u64Bytes;
        } else if (ucId >= FIRST_PACKET_ID && bInPack) {
            const unsigned char* pPacket = bytes.Peek(u64At, sizeof(MPEG_PACKET_HEADER));
            if (pPacket == nullptr) break;
            const unsigned long long u64Next =
                u64At + sizeof(MPEG_PACKET_HEADER) + ReadBe16(pPacket + offsetof(MPEG_PACKET_HEADER, abLength));
            // The packet must be whole on the device to count.
            if (u64Next > u64CapBytes || bytes.Peek(u64Next - 1, 1) == nullptr) break;
            u64At = u64Next;
            u64End = u64At;
        } else {
            break;
        }
        if (u64At > u64CapBytes) break;
    }
    return u64End;
}
