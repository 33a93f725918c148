#pragma once
// The forward walk every walking size rule shares: read the device after the head sector in
// 64 KiB chunks, report progress, and stop at the rule's byte cap, at a failed read, at a stop
// answer of the progress callback, at the end found by the rule's end search, or where the
// rule's own end-marker check says the file ends.
//
// The end searches (CFileTypeJudge::IsEndOfFile, IsEndOfVedioFile, IsEndOfMPGFile) and the
// end-marker searches (CFileTypeJudge::GetJPGFileTailOffset, GetPNGFileTailOffset,
// GetGIFFileTailOffset) are declared in file_type_judge.h, which this header includes.
//
// Preconditions: CFileTypeJudge::ParseFileBuf has set the judge context (m_nBytesPerSector,
// m_pDiskReader, m_u64StartSector = m_u64CurrentSector = head sector, progress state). The walk
// reads into CFileTypeJudge::m_pReadBuf; without it (no judge object alive) or without a reader
// the walk answers one sector.
//
// Example: a picture rule that ends at the first valid GIF trailer, else where the end search
// or the cap ends it.
//
//   unsigned long long GetGIFFileBytesSize(const unsigned char* pHead, int nLen) {
//       unsigned long long u64End = 0;
//       if (CFileTypeJudge::GetGIFFileTailOffset(pHead, nLen, u64End)) return u64End;
//       return RunForwardWalk(134217728ULL, CFileTypeJudge::IsEndOfFile,
//                             [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
//                                 unsigned long long u64Off = 0;
//                                 if (!CFileTypeJudge::GetGIFFileTailOffset(chunk.pData, chunk.nLen, u64Off))
//                                     return FORWARD_WALK_GO_ON;
//                                 u64Size = chunk.u64BytesBefore + u64Off;
//                                 return FORWARD_WALK_END_HERE;
//                             });
//   }
//
// A rule that keeps a candidate (JPEG, MP3) captures it in the lambda, answers
// FORWARD_WALK_GO_ON, and compares the candidate with RunForwardWalk's answer afterwards. The
// progress callback's answer stays in CFileTypeJudge::m_ErrorCode for the caller.
#include <functional>

#include "carving/file_type_judge.h"

// An end search: 1 when the file ends inside the chunk (u64Size has then been advanced by the
// bytes of the chunk before the end), 0 otherwise (u64Size unchanged).
typedef int (*PFN_END_SEARCH)(const unsigned char* pBuf, int nLen, unsigned long long& u64Size);

// One chunk as the marker check sees it, after the end search has run on it.
struct _FORWARD_WALK_CHUNK_ {
    const unsigned char* pData;          // the bytes read in this chunk (whole sectors)
    int nLen;                            // their count
    unsigned long long u64BytesBefore;   // the head sector plus all earlier chunks
    int bEndSearchFound;                 // 1 when the end search ended the file in this chunk
    unsigned long long u64EndSearchSize; // the size the end search set (when it found the end)
};

enum FORWARD_WALK_MARKER_ANSWER {
    FORWARD_WALK_GO_ON = 0,   // behave as the plain walk (end where the end search said, or go on)
    FORWARD_WALK_END_HERE = 1 // the file ends at the size the check stored; takes precedence
};

// Called once per chunk; on FORWARD_WALK_END_HERE it must have stored the file's size.
typedef std::function<FORWARD_WALK_MARKER_ANSWER(const _FORWARD_WALK_CHUNK_& chunk,
                                                 unsigned long long& u64Size)>
    ForwardWalkMarkerCheck;

// The standard forward walk. u64CapBytes bounds the answer, head sector included (a walk that
// never finds an end answers the cap rounded down to whole sectors, at least one sector).
// pfnEndSearch may be null (the walk then only stops at the cap, a failure or a marker).
// Returns the file's size in bytes, never less than one sector.
unsigned long long RunForwardWalk(unsigned long long u64CapBytes, PFN_END_SEARCH pfnEndSearch,
                                  const ForwardWalkMarkerCheck& markerCheck = nullptr);

// The lowest sector a size walk (this forward walk or CCarvedFileBytes) could not read since the
// last ForgetWalkUnreadable(), or UINT64_MAX: the carver ends a find before it. Part of the
// judge context (one thread at a time).
unsigned long long GetWalkUnreadableSector();
void ForgetWalkUnreadable();
void NoteWalkUnreadable(unsigned long long u64Sector);

// Reports a walk's progress to the scan's callback: u64RunningCount is the scan's sector count
// with the sectors the walk has read added. The callback's answer is returned and kept in
// CFileTypeJudge::m_ErrorCode for the caller of the size rule (non-zero: stop walking).
int ReportWalkProgress(unsigned long long u64RunningCount);

// 1 when bytes [u64End, end of u64End's sector) of pBuf are all zero (cut at nLen), or when u64End
// is on a sector boundary of m_nBytesPerSector: the test every end marker must pass. 0 otherwise
// (also for u64End beyond nLen or an unusable sector size).
int IsMarkerEndOnSectorRest(const unsigned char* pBuf, int nLen, unsigned long long u64End);

// Offset of the first occurrence of the nMarkerLen-byte marker in pBuf[nFrom, nLen), or -1.
long long FindMarker(const unsigned char* pBuf, int nLen, int nFrom, const unsigned char* pMarker, int nMarkerLen);

// The end (offset just past it) of the first marker in pBuf that passes IsMarkerEndOnSectorRest;
// with bFirstOnly only the very first occurrence is considered. 1 and u64Offset set when found.
int FindMarkerEndOnSectorRest(const unsigned char* pBuf, int nLen, const unsigned char* pMarker, int nMarkerLen,
                              bool bFirstOnly, unsigned long long& u64Offset);

// FindMarker over a walk chunk with a marker array; the offset within the chunk, or -1.
template <size_t N>
int FindInChunk(const _FORWARD_WALK_CHUNK_& chunk, int nFrom, const unsigned char (&ucMarker)[N]) {
    return static_cast<int>(FindMarker(chunk.pData, chunk.nLen, nFrom, ucMarker, static_cast<int>(N)));
}
