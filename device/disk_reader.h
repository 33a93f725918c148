#pragma once
// The read-only sector reader every engine owns: one descriptor on a whole disk (or an image
// file) and a sector limit that keeps reads inside the engine's area.
#include <cstdint>

#include "device/read_results.h"

// Largest single request handed to read(); the deep scan's chunks are exactly this size.
constexpr int DISK_READ_PIECE_BYTES = 65536;

class CDiskReader {
public:
    CDiskReader() = default;
    ~CDiskReader();

    // The reader owns its descriptor: copies would close it twice, moves hand it over.
    CDiskReader(const CDiskReader&) = delete;
    CDiskReader& operator=(const CDiskReader&) = delete;
    CDiskReader(CDiskReader&& other) noexcept;
    CDiskReader& operator=(CDiskReader&& other) noexcept;

    // Opens disk nDiskNo read-only; u64EndSector is one past the last sector that may be read.
    // Returns 0, or errno of the failed open (the limit is then left as it was).
    int Init(int nDiskNo, unsigned long long u64EndSector);
    // The same for an image file or device node given by path. A null path gives 87.
    int Init(wchar_t* pPath, unsigned long long u64EndSector);

    // Reads nSectorCount sectors of nBytesPerSector bytes from sector llStartSector into pBuf.
    // 0: everything arrived; 87: bad arguments or the range passes the limit (nothing read);
    // 30: a read failed or met the end of the device; other: errno of the failed lseek.
    // On 0 and 30, *pnReadSectors (when not null) gets the whole sectors placed in pBuf.
    int ReadData(unsigned char* pBuf, int nSectorCount, long long llStartSector, int nBytesPerSector,
                 unsigned int* pnReadSectors);

    // The positional form for read-ahead on another thread: the same checks and results, but it
    // neither uses nor moves the descriptor's position, asks for the whole range in one request
    // and writes no log line. On 30, *pnError (when not null) gets errno of the failed read, or 0
    // when the device ended.
    int ReadDataAt(unsigned char* pBuf, int nSectorCount, long long llStartSector, int nBytesPerSector,
                   unsigned int* pnReadSectors, int* pnError) const;

    int GetHandle() const { return m_hDisk; }
    unsigned long long GetEndSector() const { return m_u64EndSector; }

private:
    // True when the request is well formed and inside the limit; llOffset gets its byte offset.
    bool CheckRange(const unsigned char* pBuf, int nSectorCount, long long llStartSector, int nBytesPerSector,
                    long long& llOffset) const;
    // Reads the sectors from llOffset (negative: the descriptor's position) in pieces of u64Piece
    // bytes (0: one request). 0 or 30; nError gets errno of a failed read, 0 when the data ended.
    int ReadSectors(unsigned char* pBuf, int nSectorCount, long long llOffset, int nBytesPerSector,
                    uint64_t u64Piece, unsigned int* pnReadSectors, int& nError) const;
    void Close();
    int Adopt(int hDisk, unsigned long long u64EndSector);

    int m_hDisk = -1;
    unsigned long long m_u64EndSector = 0;
};

// The debug line of a failed read: "read <errno>".
void LogReadFault(int nError);

// Reads nLen bytes from hFile's current position into pBuf, in pieces of at most 64 KiB.
// 0 with *pnRead = nLen, or 30 with *pnRead = the bytes read before a read failed or returned
// nothing. A negative nLen (or a null pBuf with bytes to read) gives 87 and reads nothing.
int ReadData(int hFile, unsigned char* pBuf, int nLen, unsigned int* pnRead);
