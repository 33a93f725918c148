#pragma once
// The bytes of the file being sized, addressed by their offset from its head sector: what the
// structure walks (FLV tags, ISO boxes, MPEG packs, MP3 frames, TIFF directories, gzip) read
// through the judge context that CFileTypeJudge::ParseFileBuf set up.
//
// Reads are served from a window of whole sectors that moves forward and back as asked, so a
// walk that steps through a file reads each sector about once. Nothing is read past the reader's
// area, and a window that reaches sectors the walk has not seen yet reports progress: a stop
// answer of the callback ends every later read (and stays in CFileTypeJudge::m_ErrorCode). A
// sector that cannot be read ends the window before it and is noted (NoteWalkUnreadable), so
// the carver ends the file there even when the walk steps over it.
#include <cstddef>
#include <vector>

#include "carving/file_type_judge.h"

class CCarvedFileBytes {
public:
    // The most bytes one Peek may ask for.
    static constexpr size_t MAX_PEEK_BYTES = FILE_TYPE_JUDGE_READ_BUF_BYTES;

    // Takes the device, sector size and head sector from the judge context.
    CCarvedFileBytes();

    // nBytes (1..MAX_PEEK_BYTES) contiguous bytes at u64Offset of the file, valid until the next
    // call; null when any of them lies outside the reader's area, cannot be read, or the walk
    // was stopped.
    const unsigned char* Peek(unsigned long long u64Offset, size_t nBytes);
    // Between 1 and nMaxBytes (at most MAX_PEEK_BYTES) bytes at u64Offset, as many as exist up
    // to the area's end; nGot says how many. Null as for Peek.
    const unsigned char* PeekUpTo(unsigned long long u64Offset, size_t nMaxBytes, size_t& nGot);

    // True once the progress callback asked to stop.
    bool Stopped() const { return m_bStopped; }

private:
    // Loads the window so that it starts with the sector holding u64Offset; false on failure.
    bool LoadWindowAt(unsigned long long u64Offset);

    int m_nBytesPerSector;
    unsigned long long m_u64HeadSector;
    unsigned long long m_u64AreaSectors = 0;  // sectors from the head to the end of the area
    std::vector<unsigned char> m_vecWindow;
    unsigned long long m_u64WindowOffset = 0;  // file offset of the window's first byte
    size_t m_nWindowBytes = 0;                 // bytes of the window that hold data
    unsigned long long m_u64FurthestSector = 0;  // sectors after the head seen so far
    bool m_bStopped = false;
};
