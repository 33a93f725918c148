// Size rules of the video formats. Formats with a walkable structure (FLV, ISO base media,
// MPEG program streams) end where their structure ends; the end search stays for files whose
// structure cannot be followed.
#include <algorithm>
#include <cstdint>

#include "carving/file_type_judge.h"
#include "carving/forward_walk.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "carving/size_rules.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

using J = CFileTypeJudge;

// Walks that never meet an end stop here.
constexpr unsigned long long VIDEO_WALK_CAP_BYTES = 4294967296ULL;        // 4 GiB
constexpr unsigned long long LONG_VIDEO_WALK_CAP_BYTES = 68719476736ULL;  // 64 GiB: MKV, TS
// Header fields beyond this are not believed.
constexpr unsigned long long VIDEO_HEADER_SIZE_CAP_BYTES = 268435456ULL;  // 256 MiB: ASF, SWF

// ASF: the Header Object's preamble (GUID, 64-bit size, count, two reserved bytes), then the
// File Properties Object somewhere among its children.
constexpr int ASF_HEADER_PREAMBLE_BYTES = 30;
constexpr int ASF_MIN_HEAD_BYTES = 46;
constexpr int ASF_FILE_SIZE_OFFSET = 40;  // within the File Properties Object
constexpr int ASF_FLAGS_OFFSET = 88;
constexpr uint32_t ASF_FLAG_BROADCAST = 0x1;  // the size field of a live broadcast is meaningless

constexpr int SWF_MIN_HEAD_BYTES = 8;
constexpr int SWF_LENGTH_OFFSET = 4;
constexpr int RIFF_MIN_HEAD_BYTES = 16;
constexpr int RIFF_SIZE_OFFSET = 4;
constexpr unsigned long long RIFF_PREAMBLE_BYTES = 8;  // "RIFF" and the size, not counted in it

constexpr unsigned char MPEG_PACK_START[4] = {0x00, 0x00, 0x01, 0xBA};
constexpr unsigned char MPEG_SEQUENCE_HEADER[4] = {0x00, 0x00, 0x01, 0xB3};
constexpr unsigned char MPEG_SEQUENCE_END[4] = {0x00, 0x00, 0x01, 0xB7};
constexpr unsigned char MPEG_PROGRAM_END[4] = {0x00, 0x00, 0x01, 0xB9};

constexpr int TS_PACKET_BYTES = 188;
constexpr unsigned char TS_SYNC_BYTE = 0x47;

unsigned long long OneSector() {
    return J::m_nBytesPerSector > 0 ? static_cast<unsigned long long>(J::m_nBytesPerSector) : 0;
}

// Follows the 188-byte packets of a transport stream through the walk's chunks and remembers
// where the run of packets with a sync byte ends. A packet is checked only when it lies whole
// in one chunk; one that straddles two chunks is passed over.
class CTsPacketRun {
public:
    // The head's whole packets were vouched for by the signature test; its last packet runs
    // into the next sector and is not.
    explicit CTsPacketRun(int nBytesPerSector)
        : m_u64VerifiedEnd(static_cast<unsigned long long>(nBytesPerSector / TS_PACKET_BYTES) *
                           TS_PACKET_BYTES),
          m_u64NextPacket(m_u64VerifiedEnd) {}

    void Check(const _FORWARD_WALK_CHUNK_& chunk) {
        if (m_bBroken) return;
        const unsigned long long u64ChunkEnd =
            chunk.u64BytesBefore + static_cast<unsigned long long>(chunk.nLen);
        // The packet that started before this chunk straddles into it.
        while (m_u64NextPacket < chunk.u64BytesBefore) m_u64NextPacket += TS_PACKET_BYTES;
        for (; m_u64NextPacket + TS_PACKET_BYTES <= u64ChunkEnd; m_u64NextPacket += TS_PACKET_BYTES) {
            if (chunk.pData[m_u64NextPacket - chunk.u64BytesBefore] != TS_SYNC_BYTE) {
                m_u64VerifiedEnd = m_u64NextPacket;
                m_bBroken = true;
                return;
            }
            m_u64VerifiedEnd = m_u64NextPacket + TS_PACKET_BYTES;
        }
    }
    // End of the last packet known good (0 when not even the head holds a whole packet).
    unsigned long long VerifiedEnd() const { return m_u64VerifiedEnd; }

private:
    unsigned long long m_u64VerifiedEnd;
    unsigned long long m_u64NextPacket;  // file offset of the first packet not yet looked at
    bool m_bBroken = false;
};

// The end-code search: for elementary streams, and program streams whose packs cannot be walked.
unsigned long long SearchMpegEndCode(const unsigned char* pHead, int nLen) {
    // An elementary video stream closes with the sequence end code, a program stream with the
    // program end code; the other code may legitimately occur inside.
    const unsigned char(&ucEndCode)[4] =
        SignatureAt(pHead, nLen, 0, MPEG_SEQUENCE_HEADER) ? MPEG_SEQUENCE_END : MPEG_PROGRAM_END;
    return RunForwardWalk(
        VIDEO_WALK_CAP_BYTES, J::IsEndOfMPGFile,
        [&ucEndCode](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
            // An end code is only the end when nothing but zero padding follows it in its sector.
            for (int nAt = FindInChunk(chunk, 0, ucEndCode); nAt >= 0;
                 nAt = FindInChunk(chunk, nAt + 4, ucEndCode)) {
                unsigned long long u64End = static_cast<unsigned long long>(nAt) + 4;
                if (IsMarkerEndOnSectorRest(chunk.pData, chunk.nLen, u64End)) {
                    u64Size = chunk.u64BytesBefore + u64End;
                    return FORWARD_WALK_END_HERE;
                }
            }
            return FORWARD_WALK_GO_ON;
        });
}

// The producer-text search, for MP4 files whose boxes cannot be walked.
unsigned long long SearchMp4ProducerText(const unsigned char*, int) {
    return RunForwardWalk(
        VIDEO_WALK_CAP_BYTES, J::IsEndOfVedioFile,
        [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
            // The free box some encoders write last names the producer; the file ends with
            // that text.
            int nAt = FindInChunk(chunk, 0, szMp4Tail);
            if (nAt < 0) return FORWARD_WALK_GO_ON;
            int nEnd = nAt + static_cast<int>(sizeof(szMp4Tail));
            while (nEnd < chunk.nLen && chunk.pData[nEnd] != 0) ++nEnd;
            u64Size = chunk.u64BytesBefore + static_cast<unsigned long long>(nEnd);
            return FORWARD_WALK_END_HERE;
        });
}

// Matroska and WebM are an EBML header and then one Segment element: the Segment's size, when
// the writer knew it (a seekable output), ends the file exactly.
constexpr uint32_t MATROSKA_EBML_ID = 0x1A45DFA3;
constexpr uint32_t MATROSKA_SEGMENT_ID = 0x18538067;
constexpr int EBML_ID_BYTES = 4;

// The EBML variable-size integer at nAt: its length in bytes, 0 when it is malformed, runs past
// nLen, or says "size unknown" (every value bit set).
int ReadEbmlSize(const unsigned char* pBuf, int nLen, unsigned long long u64At, unsigned long long& u64Value) {
    if (u64At >= static_cast<unsigned long long>(nLen) || pBuf[u64At] == 0) return 0;
    const int nAt = static_cast<int>(u64At);
    int nBytes = 1;
    while ((pBuf[nAt] & (0x80 >> (nBytes - 1))) == 0) ++nBytes;  // a non-zero byte: at most 8
    if (nAt + nBytes > nLen) return 0;
    const unsigned long long u64ValueMask = (1ull << (7 * nBytes)) - 1;
    u64Value = pBuf[nAt] & (0xFF >> nBytes);
    for (int i = 1; i < nBytes; ++i) u64Value = u64Value << 8 | pBuf[nAt + i];
    return u64Value == u64ValueMask ? 0 : nBytes;
}

// The end of the Segment, when the head sector holds the EBML header and the Segment's own
// header with a known size; else 0.
unsigned long long MatroskaSegmentEnd(const unsigned char* pHead, int nLen) {
    if (!HasBytes(pHead, nLen, 2 * EBML_ID_BYTES) || ReadBe32(pHead) != MATROSKA_EBML_ID) return 0;
    unsigned long long u64HeaderSize = 0, u64SegmentSize = 0;
    const int nHeaderSizeBytes = ReadEbmlSize(pHead, nLen, EBML_ID_BYTES, u64HeaderSize);
    if (nHeaderSizeBytes == 0 || u64HeaderSize > static_cast<unsigned long long>(nLen)) return 0;
    const unsigned long long u64Segment = EBML_ID_BYTES + nHeaderSizeBytes + u64HeaderSize;
    if (u64Segment + EBML_ID_BYTES >= static_cast<unsigned long long>(nLen) ||
        ReadBe32(pHead + u64Segment) != MATROSKA_SEGMENT_ID)
        return 0;
    const int nSegmentSizeBytes = ReadEbmlSize(pHead, nLen, u64Segment + EBML_ID_BYTES, u64SegmentSize);
    if (nSegmentSizeBytes == 0 || u64SegmentSize > LONG_VIDEO_WALK_CAP_BYTES) return 0;
    return u64Segment + EBML_ID_BYTES + nSegmentSizeBytes + u64SegmentSize;
}

}  // namespace

unsigned long long GetDefaultVedioFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(VIDEO_WALK_CAP_BYTES, J::IsEndOfVedioFile);
}

unsigned long long GetMKVFileBytes(const unsigned char* pHead, int nLen) {
    const unsigned long long u64End = MatroskaSegmentEnd(pHead, nLen);
    return u64End != 0 ? u64End : RunForwardWalk(LONG_VIDEO_WALK_CAP_BYTES, J::IsEndOfVedioFile);
}

unsigned long long GetMPGFileBytesSize(const unsigned char* pHead, int nLen) {
    if (!SignatureAt(pHead, nLen, 0, MPEG_PACK_START)) return SearchMpegEndCode(pHead, nLen);
    return StructureEndOr(WalkMpegPacks(VIDEO_WALK_CAP_BYTES), SearchMpegEndCode, pHead, nLen);
}

unsigned long long GetMP4FileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkIsoBoxes(LONG_VIDEO_WALK_CAP_BYTES), SearchMp4ProducerText, pHead, nLen);
}

unsigned long long GetMOVFileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkIsoBoxes(LONG_VIDEO_WALK_CAP_BYTES), GetDefaultVedioFileBytesSize, pHead, nLen);
}

unsigned long long GetFLVFileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkFlvTags(VIDEO_WALK_CAP_BYTES), GetDefaultVedioFileBytesSize, pHead, nLen);
}

unsigned long long GetRMVBFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(
        VIDEO_WALK_CAP_BYTES, J::IsEndOfVedioFile,
        [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
            // An empty index chunk header closes a RealMedia file.
            int nAt = FindInChunk(chunk, 0, szRmvbTail);
            if (nAt < 0) return FORWARD_WALK_GO_ON;
            u64Size = chunk.u64BytesBefore + static_cast<unsigned long long>(nAt) + sizeof(szRmvbTail);
            return FORWARD_WALK_END_HERE;
        });
}

unsigned long long GetTSFileBytesSize(const unsigned char*, int) {
    CTsPacketRun packets(J::m_nBytesPerSector);
    unsigned long long u64Size = RunForwardWalk(
        LONG_VIDEO_WALK_CAP_BYTES, J::IsEndOfFile,
        [&packets](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long&) {
            packets.Check(chunk);
            return FORWARD_WALK_GO_ON;
        });
    if (u64Size == 0) return 0;  // no usable sector size: nothing was walked
    // The stream ends where its packets stop, even if nothing else ended the walk there; this
    // also holds when the walk was cut short by a read failure or a stop answer.
    if (packets.VerifiedEnd() != 0 && packets.VerifiedEnd() < u64Size) u64Size = packets.VerifiedEnd();
    // Remember the stream, so its later packets are not taken for new stream heads.
    const unsigned long long u64Sectors = (u64Size + OneSector() - 1) / OneSector();
    J::m_tsFileRangeVec.push_back({J::m_u64StartSector, J::m_u64StartSector + u64Sectors - 1});
    return u64Size;
}

unsigned long long GetASFFileBytesSize(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen < ASF_MIN_HEAD_BYTES) return OneSector();
    for (int nAt = ASF_HEADER_PREAMBLE_BYTES; nAt + static_cast<int>(sizeof(sm_Asf_file_properties_guid)) <= nLen;
         ++nAt) {
        if (!SignatureAt(pHead, nLen, nAt, sm_Asf_file_properties_guid)) continue;
        // The object must be whole in the head to be read.
        if (nLen - nAt < ASF_FLAGS_OFFSET + 4) return OneSector();
        if (ReadLe32(pHead + nAt + ASF_FLAGS_OFFSET) & ASF_FLAG_BROADCAST) return OneSector();
        uint64_t u64FileSize = ReadLe64(pHead + nAt + ASF_FILE_SIZE_OFFSET);
        if (u64FileSize == 0) return OneSector();
        return std::min<unsigned long long>(u64FileSize, VIDEO_HEADER_SIZE_CAP_BYTES);
    }
    return OneSector();
}

unsigned long long GetSWFFileBytesSize(const unsigned char* pHead, int nLen) {
    // A compressed file states its uncompressed length, which says nothing about its bytes.
    if (pHead == nullptr || nLen < SWF_MIN_HEAD_BYTES || pHead[0] == 'C') return OneSector();
    uint32_t nFileLength = ReadLe32(pHead + SWF_LENGTH_OFFSET);
    if (nFileLength == 0) return OneSector();
    return std::min<unsigned long long>(nFileLength, VIDEO_HEADER_SIZE_CAP_BYTES);
}

unsigned long long GetAVIFileBytesSize(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen < RIFF_MIN_HEAD_BYTES) return OneSector();
    return ReadLe32(pHead + RIFF_SIZE_OFFSET) + RIFF_PREAMBLE_BYTES;
}
