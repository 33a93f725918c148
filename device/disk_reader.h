#pragma once
// The read-only sector reader every engine owns: one descriptor on a whole disk (or an image
// file) and a sector limit that keeps reads inside the engine's area.
#include <sys/types.h>

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
    // On 0 and 30, *pnReadSectors (when not null) gets the whole sectors placed in pBuf; on 30
    // the first sector that did not arrive becomes this thread's GetLastUnreadableSector().
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
    // Reads the sectors from u64FirstSector, at llOffset (negative: the descriptor's position,
    // already there) in pieces of u64Piece bytes (0: one request). 0 or 30; nError gets errno of
    // a failed read, 0 when the data ended.
    int ReadSectors(unsigned char* pBuf, int nSectorCount, unsigned long long u64FirstSector, long long llOffset,
                    int nBytesPerSector, uint64_t u64Piece, unsigned int* pnReadSectors, int& nError) const;
    void Close();
    int Adopt(int hDisk, unsigned long long u64EndSector);

    int m_hDisk = -1;
    unsigned long long m_u64EndSector = 0;
};

// The debug line of a failed read: "read <errno>".
void LogReadFault(int nError);

// The first sector of this thread's most recent read that failed, or UINT64_MAX.
unsigned long long GetLastUnreadableSector();
// Sets it: for readers that fail a request of their own (a cluster beyond the area, say) and for
// callers that clear it (UINT64_MAX) before the reads they want to judge.
void SetLastUnreadableSector(unsigned long long u64Sector);

// Reads nLen bytes from hFile's current position into pBuf, in pieces of at most 64 KiB.
// 0 with *pnRead = nLen, or 30 with *pnRead = the bytes read before a read failed or returned
// nothing. A negative nLen (or a null pBuf with bytes to read) gives 87 and reads nothing.
int ReadData(int hFile, unsigned char* pBuf, int nLen, unsigned int* pnRead);

// ---- Test seam ---------------------------------------------------------------------------------
// Every byte the device layer reads passes through this one function: pread at llOffset, or read
// at the descriptor's position when llOffset is negative; the result and errno as theirs. Tests
// replace it to make chosen sectors fail; nothing else may. Returns the function it replaced;
// null puts the real one back.
typedef ssize_t (*PFN_DEVICE_READ)(int hFile, void* pBuf, size_t nLen, long long llOffset);
PFN_DEVICE_READ SetDeviceReadForTests(PFN_DEVICE_READ pfnRead);
