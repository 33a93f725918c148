// Size rules of the audio and picture formats.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving/forward_walk.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"
#include "carving/size_rules.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

using J = CFileTypeJudge;

// Walks that never meet an end stop here; header fields beyond the picture cap are not believed.
constexpr unsigned long long LONG_AUDIO_WALK_CAP_BYTES = 2147483648ULL;  // 2 GiB: MP3, APE
constexpr unsigned long long AUDIO_WALK_CAP_BYTES = 268435456ULL;        // 256 MiB
constexpr unsigned long long MIDI_WALK_CAP_BYTES = 8388608ULL;           // 8 MiB
constexpr unsigned long long PICTURE_CAP_BYTES = 134217728ULL;           // 128 MiB

// An ID3v1 tag: "TAG" and 125 bytes of fields, the last 128 bytes of the file.
constexpr unsigned long long ID3V1_TAG_BYTES = 128;
// An APEv2 tag ends with a 32-byte footer that starts with the same 10 bytes as its header.
constexpr unsigned long long APE_TAG_FOOTER_BYTES = 32;

constexpr int RIFF_MIN_HEAD_BYTES = 8;
constexpr int RIFF_SIZE_OFFSET = 4;
constexpr unsigned long long RIFF_PREAMBLE_BYTES = 8;  // "RIFF" and the size, not counted in it
constexpr int BMP_MIN_HEAD_BYTES = 6;
constexpr int BMP_FILE_SIZE_OFFSET = 2;

constexpr int ICO_HEADER_BYTES = 6;
constexpr int ICO_COUNT_OFFSET = 4;
constexpr int ICO_ENTRY_BYTES = 16;
constexpr int ICO_ENTRY_IMAGE_SIZE_OFFSET = 8;
constexpr int ICO_ENTRY_IMAGE_OFFSET_OFFSET = 12;
constexpr int ICO_DIRECTORY_READ_BYTES = 65536;

constexpr int MIDI_TRACK_COUNT_OFFSET = 10;
constexpr unsigned long long MIDI_FIRST_TRACK_OFFSET = 14;
constexpr int MIDI_TRACK_HEADER_BYTES = 8;  // "MTrk" and a big-endian 32-bit length

typedef int (*PFN_TAIL_SEARCH)(const unsigned char* pBuf, int nLen, unsigned long long& u64Offset);

unsigned long long OneSector() {
    return J::m_nBytesPerSector > 0 ? static_cast<unsigned long long>(J::m_nBytesPerSector) : 0;
}

// The head sector of the buffer a rule was handed: the walk goes on from the sector after it,
// so nothing beyond it may be counted twice.
int HeadSectorBytes(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen <= 0 || J::m_nBytesPerSector <= 0) return 0;
    return std::min(nLen, J::m_nBytesPerSector);
}

// Pictures that end at their first valid trailer (GIF, PNG): the head sector first, then the
// walk, each chunk's trailer taking precedence over the end search.
unsigned long long WalkToFirstValidTail(const unsigned char* pHead, int nLen, PFN_TAIL_SEARCH pfnTail) {
    unsigned long long u64End = 0;
    if (pfnTail(pHead, HeadSectorBytes(pHead, nLen), u64End)) return u64End;
    return RunForwardWalk(PICTURE_CAP_BYTES, J::IsEndOfFile,
                          [pfnTail](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
                              unsigned long long u64Offset = 0;
                              if (!pfnTail(chunk.pData, chunk.nLen, u64Offset)) return FORWARD_WALK_GO_ON;
                              u64Size = chunk.u64BytesBefore + u64Offset;
                              return FORWARD_WALK_END_HERE;
                          });
}

// A walk that does not stop at an end marker, because a later one may belong to the same file
// (a JPEG's thumbnail, stray text in MP3 audio): each chunk may offer a candidate end, the last
// one offered wins, and the walk's own end still bounds it.
typedef std::function<bool(const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64EndInChunk)>
    CandidateInChunk;
unsigned long long WalkKeepingLastCandidate(unsigned long long u64CapBytes,
                                            const CandidateInChunk& candidateInChunk) {
    unsigned long long u64Candidate = 0;
    unsigned long long u64WalkSize = RunForwardWalk(
        u64CapBytes, J::IsEndOfFile,
        [&](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long&) {
            unsigned long long u64EndInChunk = 0;
            if (candidateInChunk(chunk, u64EndInChunk)) u64Candidate = chunk.u64BytesBefore + u64EndInChunk;
            return FORWARD_WALK_GO_ON;
        });
    return u64Candidate != 0 && u64Candidate < u64WalkSize ? u64Candidate : u64WalkSize;
}

// Follows the track chunks of a MIDI file from the first one on, across the walk's chunks (a
// track header may straddle two of them), until the number of tracks the head states has been
// passed: the end of the last track is the end of the file.
class CMidiTrackChain {
public:
    explicit CMidiTrackChain(unsigned int nTracks) : m_nTracksLeft(nTracks), m_bBroken(nTracks == 0) {}

    // Hands over file bytes [u64At, u64At + nLen); true once the end of the last track is known.
    bool Feed(const unsigned char* pData, int nLen, unsigned long long u64At) {
        const unsigned long long u64Stop = u64At + static_cast<unsigned long long>(nLen);
        while (!m_bBroken && m_nTracksLeft > 0) {
            unsigned long long u64Want = m_u64NextTrack + static_cast<unsigned long long>(m_nHave);
            if (u64Want < u64At) {  // bytes were skipped: the chain cannot be followed
                m_bBroken = true;
                break;
            }
            if (u64Want >= u64Stop) return false;
            int nTake = static_cast<int>(std::min<unsigned long long>(MIDI_TRACK_HEADER_BYTES - m_nHave,
                                                                     u64Stop - u64Want));
            memcpy(m_ucHeader + m_nHave, pData + (u64Want - u64At), static_cast<size_t>(nTake));
            m_nHave += nTake;
            if (m_nHave < MIDI_TRACK_HEADER_BYTES) return false;
            // Anything but another track header means the count was wrong or the data is gone.
            if (memcmp(m_ucHeader, "MTrk", 4) != 0) {
                m_bBroken = true;
                break;
            }
            m_u64NextTrack += MIDI_TRACK_HEADER_BYTES + static_cast<unsigned long long>(ReadBe32(m_ucHeader + 4));
            m_nHave = 0;
            --m_nTracksLeft;
        }
        return !m_bBroken && m_nTracksLeft == 0;
    }
    // Valid once Feed has answered true.
    unsigned long long End() const { return m_u64NextTrack; }

private:
    unsigned int m_nTracksLeft;
    bool m_bBroken;
    unsigned long long m_u64NextTrack = MIDI_FIRST_TRACK_OFFSET;
    unsigned char m_ucHeader[MIDI_TRACK_HEADER_BYTES] = {};
    int m_nHave = 0;  // bytes of the next track header collected so far
};

// End of the last image named by an icon directory held in pDir (nLen bytes), or 0 when the
// directory does not fit.
unsigned long long IcoLastImageEnd(const unsigned char* pDir, int nLen, unsigned int nImages) {
    const long long llDirBytes = static_cast<long long>(ICO_ENTRY_BYTES) * nImages + ICO_HEADER_BYTES;
    if (nImages == 0 || llDirBytes > nLen) return 0;
    // The signature test has checked that the images follow each other, so the last one ends
    // the file.
    const unsigned char* pLast = pDir + ICO_HEADER_BYTES + ICO_ENTRY_BYTES * (nImages - 1);
    return static_cast<unsigned long long>(ReadLe32(pLast + ICO_ENTRY_IMAGE_OFFSET_OFFSET)) +
           ReadLe32(pLast + ICO_ENTRY_IMAGE_SIZE_OFFSET);
}

// The last "TAG" before the end search stops: for MP3 files whose frames cannot be walked.
unsigned long long SearchId3v1Tag(const unsigned char*, int) {
    return WalkKeepingLastCandidate(LONG_AUDIO_WALK_CAP_BYTES,
                                    [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64EndInChunk) {
                                        int nAt = FindInChunk(chunk, 0, sm_ucMp3Tail);
                                        if (nAt < 0) return false;
                                        u64EndInChunk = static_cast<unsigned long long>(nAt) + ID3V1_TAG_BYTES;
                                        return true;
                                    });
}

}  // namespace

unsigned long long GetDefaultAudioFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(AUDIO_WALK_CAP_BYTES, J::IsEndOfFile);
}

unsigned long long GetFLAFileBytesSize(const unsigned char* pHead, int nLen) {
    return GetDefaultAudioFileBytesSize(pHead, nLen);
}

unsigned long long GetDefaultPictureFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(PICTURE_CAP_BYTES, J::IsEndOfFile);
}

unsigned long long GetGIFFileBytesSize(const unsigned char* pHead, int nLen) {
    return WalkToFirstValidTail(pHead, nLen, J::GetGIFFileTailOffset);
}

unsigned long long GetPNGFileBytesSize(const unsigned char* pHead, int nLen) {
    return WalkToFirstValidTail(pHead, nLen, J::GetPNGFileTailOffset);
}

unsigned long long GetTIFFileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkTiffDirectories(PICTURE_CAP_BYTES), GetDefaultPictureFileBytesSize, pHead, nLen);
}

unsigned long long GetJPGFileBytesSize(const unsigned char* pHead, int nLen) {
    unsigned long long u64End = 0;
    if (J::GetJPGFileTailOffset(pHead, HeadSectorBytes(pHead, nLen), u64End)) return u64End;
    // An embedded thumbnail ends with its own end-of-image marker before the picture's.
    return WalkKeepingLastCandidate(PICTURE_CAP_BYTES,
                                    [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64EndInChunk) {
                                        return J::GetJPGFileTailOffset(chunk.pData, chunk.nLen, u64EndInChunk) == 1;
                                    });
}

unsigned long long GetMP3FileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkMp3Frames(LONG_AUDIO_WALK_CAP_BYTES), SearchId3v1Tag, pHead, nLen);
}

unsigned long long GetAPEFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(
        LONG_AUDIO_WALK_CAP_BYTES, J::IsEndOfFile,
        [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
            const int nHeader = FindInChunk(chunk, 0, sz_ApeTail);
            if (nHeader < 0) return FORWARD_WALK_GO_ON;
            // The tag closes the file: it ends with its footer, or, when the footer is not in
            // this chunk, the chunk is the best end known.
            const int nFooter = FindInChunk(chunk, nHeader + static_cast<int>(sizeof(sz_ApeTail)), sz_ApeTail);
            u64Size = chunk.u64BytesBefore +
                      (nFooter < 0 ? static_cast<unsigned long long>(chunk.nLen)
                                   : static_cast<unsigned long long>(nFooter) + APE_TAG_FOOTER_BYTES);
            return FORWARD_WALK_END_HERE;
        });
}

unsigned long long GetMIDFileBytesSize(const unsigned char* pHead, int nLen) {
    const int nHead = HeadSectorBytes(pHead, nLen);
    if (nHead < MIDI_TRACK_COUNT_OFFSET + 2) return RunForwardWalk(MIDI_WALK_CAP_BYTES, J::IsEndOfFile);
    CMidiTrackChain tracks(ReadBe16(pHead + MIDI_TRACK_COUNT_OFFSET));
    bool bEndKnown = tracks.Feed(pHead, nHead, 0);
    if (bEndKnown && tracks.End() <= static_cast<unsigned long long>(nHead)) return tracks.End();
    unsigned long long u64WalkSize = RunForwardWalk(
        MIDI_WALK_CAP_BYTES, J::IsEndOfFile,
        [&](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
            if (!bEndKnown) bEndKnown = tracks.Feed(chunk.pData, chunk.nLen, chunk.u64BytesBefore);
            // The last track may run on past this chunk; the walk goes on until it is passed.
            if (!bEndKnown ||
                tracks.End() > chunk.u64BytesBefore + static_cast<unsigned long long>(chunk.nLen))
                return FORWARD_WALK_GO_ON;
            u64Size = chunk.bEndSearchFound ? std::min(tracks.End(), chunk.u64EndSearchSize) : tracks.End();
            return FORWARD_WALK_END_HERE;
        });
    return bEndKnown ? std::min(tracks.End(), u64WalkSize) : u64WalkSize;
}

unsigned long long GetWAVFileBytesSize(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen < RIFF_MIN_HEAD_BYTES) return OneSector();
    return ReadLe32(pHead + RIFF_SIZE_OFFSET) + RIFF_PREAMBLE_BYTES;
}

unsigned long long GetBMPFileBytesSize(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen < BMP_MIN_HEAD_BYTES) return OneSector();
    uint32_t nFileSize = ReadLe32(pHead + BMP_FILE_SIZE_OFFSET);
    if (nFileSize == 0) return OneSector();
    return std::min<unsigned long long>(nFileSize, PICTURE_CAP_BYTES);
}

unsigned long long GetICOFileBytesSize(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen < ICO_HEADER_BYTES) return OneSector();
    const unsigned int nImages = ReadLe16(pHead + ICO_COUNT_OFFSET);
    unsigned long long u64End = IcoLastImageEnd(pHead, nLen, nImages);
    if (u64End != 0) return u64End;
    // A long directory runs past the head sector: read it whole.
    if (nImages == 0 || J::m_nBytesPerSector <= 0) return OneSector();
    std::vector<unsigned char> vecDir(ICO_DIRECTORY_READ_BYTES);
    const int nSectors = ICO_DIRECTORY_READ_BYTES / J::m_nBytesPerSector;
    if (!J::ReadContextSectors(vecDir.data(), ICO_DIRECTORY_READ_BYTES, J::m_u64StartSector, nSectors))
        return OneSector();
    u64End = IcoLastImageEnd(vecDir.data(), nSectors * J::m_nBytesPerSector, nImages);
    return u64End != 0 ? u64End : OneSector();
}

unsigned long long GetWEBPFileBytesSize(const unsigned char* pHead, int nLen) {
    // The RIFF size, padded to an even count as every RIFF chunk is.
    if (pHead == nullptr || nLen < RIFF_MIN_HEAD_BYTES) return OneSector();
    const unsigned long long u64Size = ReadLe32(pHead + RIFF_SIZE_OFFSET) + RIFF_PREAMBLE_BYTES;
    if (u64Size > PICTURE_CAP_BYTES) return GetDefaultPictureFileBytesSize(pHead, nLen);
    return u64Size + (u64Size & 1);
}

unsigned long long GetFLACFileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkFlacFrames(LONG_AUDIO_WALK_CAP_BYTES), GetDefaultAudioFileBytesSize, pHead, nLen);
}

unsigned long long GetOGGFileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(WalkOggPages(LONG_AUDIO_WALK_CAP_BYTES), GetDefaultAudioFileBytesSize, pHead, nLen);
}
