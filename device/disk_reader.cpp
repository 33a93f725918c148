#include "device/disk_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>

#include "util/debug_log.h"
#include "util/disk_map.h"
#include "util/text.h"

namespace {

ssize_t SystemRead(int hFile, void* pBuf, size_t nLen, long long llOffset) {
    return llOffset < 0 ? read(hFile, pBuf, nLen) : pread(hFile, pBuf, nLen, static_cast<off_t>(llOffset));
}

std::atomic<PFN_DEVICE_READ> g_pfnDeviceRead{&SystemRead};

thread_local unsigned long long t_u64LastUnreadableSector = UINT64_MAX;

// Reads u64Len bytes in pieces of at most u64Piece bytes, from the descriptor's position or, when
// llOffset is not negative, from that byte offset without touching the position. u64Done
// receives what arrived; on a failed or empty read nError receives errno (0 for the end of the
// data) and the result is false.
bool ReadPieces(int hFile, unsigned char* pBuf, uint64_t u64Len, long long llOffset, uint64_t u64Piece,
                uint64_t& u64Done, int& nError) {
    u64Done = 0;
    while (u64Done < u64Len) {
        uint64_t u64Want = u64Len - u64Done;
        if (u64Want > u64Piece) u64Want = u64Piece;
        const PFN_DEVICE_READ pfnRead = g_pfnDeviceRead.load(std::memory_order_relaxed);
        ssize_t nGot = pfnRead(hFile, pBuf + u64Done, static_cast<size_t>(u64Want),
                               llOffset < 0 ? -1 : llOffset + static_cast<long long>(u64Done));
        if (nGot < 0 && errno == EINTR) continue;  // a signal is not a read fault
        if (nGot <= 0) {
            nError = nGot < 0 ? errno : 0;
            return false;
        }
        u64Done += static_cast<uint64_t>(nGot);
    }
    return true;
}

}  // namespace

CDiskReader::~CDiskReader() {
    Close();
}

CDiskReader::CDiskReader(CDiskReader&& other) noexcept
    : m_hDisk(other.m_hDisk), m_u64EndSector(other.m_u64EndSector) {
    other.m_hDisk = -1;
    other.m_u64EndSector = 0;
}

CDiskReader& CDiskReader::operator=(CDiskReader&& other) noexcept {
    if (this != &other) {
        Close();
        m_hDisk = other.m_hDisk;
        m_u64EndSector = other.m_u64EndSector;
        other.m_hDisk = -1;
        other.m_u64EndSector = 0;
    }
    return *this;
}

void CDiskReader::Close() {
    if (m_hDisk != -1) {
        close(m_hDisk);
        m_hDisk = -1;
    }
}

int CDiskReader::Adopt(int hDisk, unsigned long long u64EndSector) {
    if (hDisk < 0) return errno != 0 ? errno : EIO;
    m_hDisk = hDisk;
    m_u64EndSector = u64EndSector;
    return DEVICE_READ_OK;
}

int CDiskReader::Init(int nDiskNo, unsigned long long u64EndSector) {
    // A re-used reader must not leak the descriptor of its previous disk.
    Close();
    errno = 0;
    return Adopt(rsb_openDisk(nDiskNo), u64EndSector);
}

int CDiskReader::Init(wchar_t* pPath, unsigned long long u64EndSector) {
    if (pPath == nullptr) return DEVICE_INVALID_REQUEST;
    Close();
    std::string strPath = Unicode2Path(pPath);
    int hDisk;
    errno = 0;
    do {
        hDisk = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    } while (hDisk < 0 && errno == EINTR);
    return Adopt(hDisk, u64EndSector);
}

bool CDiskReader::CheckRange(const unsigned char* pBuf, int nSectorCount, long long llStartSector,
                             int nBytesPerSector, long long& llOffset) const {
    if (nSectorCount < 0 || nBytesPerSector <= 0) return false;
    if (pBuf == nullptr && nSectorCount > 0) return false;
    // Unsigned on purpose: a negative start wraps high and is refused unless the count brings
    // the end back into range.
    unsigned long long u64End =
        static_cast<unsigned long long>(llStartSector) + static_cast<unsigned long long>(nSectorCount);
    if (u64End > m_u64EndSector) return false;
    // No byte offset names such a sector.
    return !__builtin_mul_overflow(llStartSector, static_cast<long long>(nBytesPerSector), &llOffset);
}

int CDiskReader::ReadSectors(unsigned char* pBuf, int nSectorCount, unsigned long long u64FirstSector,
                             long long llOffset, int nBytesPerSector, uint64_t u64Piece,
                             unsigned int* pnReadSectors, int& nError) const {
    uint64_t u64Len = static_cast<uint64_t>(nSectorCount) * static_cast<uint64_t>(nBytesPerSector);
    uint64_t u64Done = 0;
    nError = 0;
    bool bOk = ReadPieces(m_hDisk, pBuf, u64Len, llOffset, u64Piece == 0 ? u64Len : u64Piece, u64Done, nError);
    const uint64_t u64Sectors = u64Done / static_cast<uint64_t>(nBytesPerSector);
    if (pnReadSectors != nullptr) *pnReadSectors = static_cast<unsigned int>(u64Sectors);
    if (bOk) return DEVICE_READ_OK;
    t_u64LastUnreadableSector = u64FirstSector + u64Sectors;
    return DEVICE_READ_FAULT;
}

int CDiskReader::ReadData(unsigned char* pBuf, int nSectorCount, long long llStartSector,
                          int nBytesPerSector, unsigned int* pnReadSectors) {
    long long llOffset = 0;
    if (!CheckRange(pBuf, nSectorCount, llStartSector, nBytesPerSector, llOffset))
        return DEVICE_INVALID_REQUEST;
    // A negative start that passed the range check is lseek's to refuse.
    if (lseek(m_hDisk, static_cast<off_t>(llOffset), SEEK_SET) < 0) {
        int nError = errno;
        DebugLog("lseek failed %lld\n", llOffset);
        return nError;
    }
    int nError = 0;
    int nRet = ReadSectors(pBuf, nSectorCount, static_cast<unsigned long long>(llStartSector), -1, nBytesPerSector,
                           DISK_READ_PIECE_BYTES, pnReadSectors, nError);
    if (nRet != DEVICE_READ_OK) LogReadFault(nError);
    return nRet;
}

int CDiskReader::ReadDataAt(unsigned char* pBuf, int nSectorCount, long long llStartSector, int nBytesPerSector,
                            unsigned int* pnReadSectors, int* pnError) const {
    long long llOffset = 0;
    if (llStartSector < 0 || !CheckRange(pBuf, nSectorCount, llStartSector, nBytesPerSector, llOffset))
        return DEVICE_INVALID_REQUEST;
    int nError = 0;
    // One request for the whole range (piece size 0): the point of this form is few, large reads.
    int nRet = ReadSectors(pBuf, nSectorCount, static_cast<unsigned long long>(llStartSector), llOffset,
                           nBytesPerSector, 0, pnReadSectors, nError);
    if (pnError != nullptr) *pnError = nError;
    return nRet;
}

void LogReadFault(int nError) {
    DebugLog("read %lld\n", static_cast<long long>(nError));
}

unsigned long long GetLastUnreadableSector() {
    return t_u64LastUnreadableSector;
}

void SetLastUnreadableSector(unsigned long long u64Sector) {
    t_u64LastUnreadableSector = u64Sector;
}

PFN_DEVICE_READ SetDeviceReadForTests(PFN_DEVICE_READ pfnRead) {
    return g_pfnDeviceRead.exchange(pfnRead != nullptr ? pfnRead : &SystemRead);
}

int ReadData(int hFile, unsigned char* pBuf, int nLen, unsigned int* pnRead) {
    if (nLen < 0 || (pBuf == nullptr && nLen > 0)) return DEVICE_INVALID_REQUEST;
    uint64_t u64Done = 0;
    int nError = 0;
    bool bOk = ReadPieces(hFile, pBuf, static_cast<uint64_t>(nLen), -1, DISK_READ_PIECE_BYTES, u64Done, nError);
    if (pnRead != nullptr) *pnRead = static_cast<unsigned int>(u64Done);
    return bOk ? DEVICE_READ_OK : DEVICE_READ_FAULT;
}
