// Size rules of documents, archives, databases, mail stores and fonts.
//
// Header rules (CAB, TrueType, the compound-file allocation table) read length fields; the others
// run the shared forward walk and look for their format's closing record in every chunk. A closing
// record found in the head sector itself ends a small file there, so a file shorter than one
// sector is not walked on into whatever follows it. gzip ends where zlib says its member ends
// (gzip_member_walk.cpp); PDF has its own end walk (pdf_end_walk.cpp).
#include <algorithm>
#include <cstddef>
#include <cstdint>
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

constexpr unsigned long long OFFICE_CAP_BYTES = 134217727ULL;  // one byte short of 128 MiB
constexpr unsigned long long ARCHIVE_CAP_BYTES = 1ULL << 32;   // 7z, ZIP, RAR, gzip
constexpr unsigned long long CAB_CAP_BYTES = 1ULL << 30;
constexpr unsigned long long DB_CAP_BYTES = 6ULL << 30;
constexpr unsigned long long MAIL_CAP_BYTES = 2ULL << 30;

// --- on-disk records -------------------------------------------------------------------------

#pragma pack(push, 1)
// The first 512 bytes of an OLE compound file.
struct OLE_FILE_HEADER {
    unsigned char abSignature[8];
    unsigned char abClassId[16];
    uint16_t wMinorVersion;
    uint16_t wMajorVersion;
    uint16_t wByteOrder;
    uint16_t wSectorShift;
    uint16_t wMiniSectorShift;
    unsigned char abReserved[6];
    uint32_t dwDirSectorCount;
    uint32_t dwFatSectorCount;
    uint32_t dwFirstDirSector;
    uint32_t dwTransactionSignature;
    uint32_t dwMiniStreamCutoff;
    uint32_t dwFirstMiniFatSector;
    uint32_t dwMiniFatSectorCount;
    uint32_t dwFirstDifatSector;
    uint32_t dwDifatSectorCount;
    uint32_t adwDifat[109];  // the first 109 allocation-table sector numbers
};
// Cabinet file header (CFHEADER) without its optional reserve fields.
struct CAB_FILE_HEADER {
    unsigned char abSignature[4];  // "MSCF"
    uint32_t dwReserved1;
    uint32_t dwCabinetBytes;
    uint32_t dwReserved2;
    uint32_t dwFirstFileOffset;
    uint32_t dwReserved3;
    unsigned char ucMinorVersion;
    unsigned char ucMajorVersion;
    uint16_t wFolderCount;
    uint16_t wFileCount;
    uint16_t wFlags;
    uint16_t wSetId;
    uint16_t wCabinetIndex;
};
// TrueType offset table and one table record (big-endian fields).
struct TTF_OFFSET_TABLE {
    uint32_t dwVersion;
    uint16_t wTableCount;
    uint16_t wSearchRange;
    uint16_t wEntrySelector;
    uint16_t wRangeShift;
};
struct TTF_TABLE_RECORD {
    unsigned char abTag[4];
    uint32_t dwCheckSum;
    uint32_t dwOffset;
    uint32_t dwLength;
};
// ZIP end-of-central-directory record; the archive comment follows it.
struct ZIP_END_OF_CENTRAL_DIR {
    unsigned char abSignature[4];
    uint16_t wDiskNumber;
    uint16_t wCentralDirDisk;
    uint16_t wDiskEntries;
    uint16_t wTotalEntries;
    uint32_t dwCentralDirBytes;
    uint32_t dwCentralDirOffset;
    uint16_t wCommentBytes;
};
#pragma pack(pop)

static_assert(sizeof(OLE_FILE_HEADER) == 512, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, abClassId) == 8, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, wMinorVersion) == 24, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, wMajorVersion) == 26, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, wByteOrder) == 28, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, wSectorShift) == 30, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, wMiniSectorShift) == 32, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, abReserved) == 34, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwDirSectorCount) == 40, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwFatSectorCount) == 44, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwFirstDirSector) == 48, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwTransactionSignature) == 52, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwMiniStreamCutoff) == 56, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwFirstMiniFatSector) == 60, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwMiniFatSectorCount) == 64, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwFirstDifatSector) == 68, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, dwDifatSectorCount) == 72, "OLE_FILE_HEADER layout");
static_assert(offsetof(OLE_FILE_HEADER, adwDifat) == 76, "OLE_FILE_HEADER layout");
static_assert(sizeof(CAB_FILE_HEADER) == 36, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, dwReserved1) == 4, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, dwCabinetBytes) == 8, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, dwReserved2) == 12, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, dwFirstFileOffset) == 16, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, dwReserved3) == 20, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, ucMinorVersion) == 24, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, ucMajorVersion) == 25, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, wFolderCount) == 26, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, wFileCount) == 28, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, wFlags) == 30, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, wSetId) == 32, "CAB_FILE_HEADER layout");
static_assert(offsetof(CAB_FILE_HEADER, wCabinetIndex) == 34, "CAB_FILE_HEADER layout");
static_assert(sizeof(TTF_OFFSET_TABLE) == 12, "TTF_OFFSET_TABLE layout");
static_assert(offsetof(TTF_OFFSET_TABLE, wTableCount) == 4, "TTF_OFFSET_TABLE layout");
static_assert(offsetof(TTF_OFFSET_TABLE, wSearchRange) == 6, "TTF_OFFSET_TABLE layout");
static_assert(offsetof(TTF_OFFSET_TABLE, wEntrySelector) == 8, "TTF_OFFSET_TABLE layout");
static_assert(offsetof(TTF_OFFSET_TABLE, wRangeShift) == 10, "TTF_OFFSET_TABLE layout");
static_assert(sizeof(TTF_TABLE_RECORD) == 16, "TTF_TABLE_RECORD layout");
static_assert(offsetof(TTF_TABLE_RECORD, dwCheckSum) == 4, "TTF_TABLE_RECORD layout");
static_assert(offsetof(TTF_TABLE_RECORD, dwOffset) == 8, "TTF_TABLE_RECORD layout");
static_assert(offsetof(TTF_TABLE_RECORD, dwLength) == 12, "TTF_TABLE_RECORD layout");
static_assert(sizeof(ZIP_END_OF_CENTRAL_DIR) == 22, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, wDiskNumber) == 4, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, wCentralDirDisk) == 6, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, wDiskEntries) == 8, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, wTotalEntries) == 10, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, dwCentralDirBytes) == 12, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, dwCentralDirOffset) == 16, "ZIP_END_OF_CENTRAL_DIR layout");
static_assert(offsetof(ZIP_END_OF_CENTRAL_DIR, wCommentBytes) == 20, "ZIP_END_OF_CENTRAL_DIR layout");

// --- small helpers ---------------------------------------------------------------------------

// The least answer of every rule: the head sector.
unsigned long long OneSector() {
    return J::m_nBytesPerSector > 0 ? static_cast<unsigned long long>(J::m_nBytesPerSector) : 0;
}

unsigned long long RoundUpToSector(unsigned long long u64Bytes) {
    const unsigned long long u64Sector = OneSector();
    if (u64Sector == 0) return u64Bytes;
    return (u64Bytes + u64Sector - 1) / u64Sector * u64Sector;
}

// Offset of the last occurrence lying wholly inside pBuf[0, nLen), or -1.
long long FindLast(const unsigned char* pBuf, int nLen, const unsigned char* pPattern, int nPattern) {
    if (pBuf == nullptr || nLen < nPattern) return -1;
    const unsigned char* pEnd = pBuf + nLen;
    const unsigned char* pHit = std::find_end(pBuf, pEnd, pPattern, pPattern + nPattern);
    return pHit == pEnd ? -1 : pHit - pBuf;
}

// --- closing records found searching backwards ---------------------------------------------------

// Bytes from a closing record's start to the end of the file, given the bytes that follow it
// in the buffer (fewer than the record needs when the buffer ends inside it).
typedef unsigned long long (*PFN_TAIL_BYTES)(const unsigned char* pRecord, long long llAvailable);

struct BACKWARD_MARKER {
    const unsigned char* pMarker;
    int nMarkerLen;
    PFN_TAIL_BYTES pfnTailBytes;
};

// The end-of-central-directory record and the archive comment it announces. When the comment
// length lies beyond the buffer, the record alone is counted.
unsigned long long ZipTailBytes(const unsigned char* pRecord, long long llAvailable) {
    if (llAvailable < static_cast<long long>(sizeof(ZIP_END_OF_CENTRAL_DIR)))
        return sizeof(ZIP_END_OF_CENTRAL_DIR);
    return sizeof(ZIP_END_OF_CENTRAL_DIR) +
           ReadLe16(pRecord + offsetof(ZIP_END_OF_CENTRAL_DIR, wCommentBytes));
}

// A 7z archive whose header is LZMA-packed ends with the packed header's folder record: after the
// marker come the dictionary size, the unpacked size (a 7z number of 1 to 9 bytes), usually
// a CRC record, and two end bytes. Parsing those gives the exact end; a record that does not
// parse, or runs past the buffer, is taken at its most common length.
constexpr unsigned long long SEVEN_ZIP_USUAL_TAIL = 27;
constexpr unsigned char SEVEN_ZIP_UNPACK_SIZE_ID = 0x0C;
constexpr unsigned char SEVEN_ZIP_CRC_ID = 0x0A;
constexpr int SEVEN_ZIP_DICTIONARY_BYTES = 4;
constexpr int SEVEN_ZIP_CRC_BYTES = 4;

unsigned long long SevenZipTailBytes(const unsigned char* pRecord, long long llAvailable) {
    long long i = static_cast<long long>(sizeof(sz7ZTail)) + SEVEN_ZIP_DICTIONARY_BYTES;
    if (i + 1 >= llAvailable || pRecord[i] != SEVEN_ZIP_UNPACK_SIZE_ID) return SEVEN_ZIP_USUAL_TAIL;
    ++i;
    // A 7z number's length is one byte more than the leading one bits of its first byte.
    int nNumberBytes = 1;
    for (unsigned char ucMask = 0x80; ucMask != 0 && (pRecord[i] & ucMask) != 0; ucMask >>= 1)
        ++nNumberBytes;
    i += std::min(nNumberBytes, 9);
    if (i < llAvailable && pRecord[i] == SEVEN_ZIP_CRC_ID) {
        // Only the "all defined" form has a fixed length.
        if (i + 1 >= llAvailable || pRecord[i + 1] != 0x01) return SEVEN_ZIP_USUAL_TAIL;
        i += 2 + SEVEN_ZIP_CRC_BYTES;
    }
    if (i + 2 > llAvailable || pRecord[i] != 0x00 || pRecord[i + 1] != 0x00)
        return SEVEN_ZIP_USUAL_TAIL;
    return static_cast<unsigned long long>(i + 2);
}


constexpr BACKWARD_MARKER ZIP_MARKERS[] = {
    {szZipEndOfCentralDir, sizeof(szZipEndOfCentralDir), ZipTailBytes}};
constexpr BACKWARD_MARKER SEVEN_ZIP_MARKERS[] = {{sz7ZTail, sizeof(sz7ZTail), SevenZipTailBytes}};

// The end the markers give in pBuf[0, nSearchLen) (the last occurrence of the first marker that
// occurs, counted from the buffer's start), or 0. nLen bounds what the tail may read.
template <size_t N>
unsigned long long LastMarkerEnd(const BACKWARD_MARKER (&markers)[N], const unsigned char* pBuf,
                                 int nLen, int nSearchLen) {
    for (const BACKWARD_MARKER& marker : markers) {
        long long llAt = FindLast(pBuf, nSearchLen, marker.pMarker, marker.nMarkerLen);
        if (llAt >= 0)
            return static_cast<unsigned long long>(llAt) + marker.pfnTailBytes(pBuf + llAt, nLen - llAt);
    }
    return 0;
}

// The walk of a rule whose file ends at the last closing record of the chunk that holds one.
//
// Where the end search stops the file at the head of the next file in the same chunk, a record
// before that head is preferred: otherwise several small files lying side by side would be
// taken as one, and the sweep would jump over all but the first. Only when nothing precedes
// that head (the end search stopped at content embedded in this file) does the last record of
// the whole chunk count. The head sector is searched after the first chunk's own bytes.
template <size_t N>
unsigned long long WalkToLastMarker(unsigned long long u64CapBytes,
                                    const BACKWARD_MARKER (&markers)[N],
                                    const unsigned char* pHead, int nHeadLen) {
    bool bSawChunk = false;
    auto CheckChunk = [&](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
        const bool bFirstChunk = !bSawChunk;
        bSawChunk = true;
        auto InChunk = [&](int nSearchLen) {
            unsigned long long u64At = LastMarkerEnd(markers, chunk.pData, chunk.nLen, nSearchLen);
            return u64At != 0 ? chunk.u64BytesBefore + u64At : 0;
        };
        auto InHead = [&]() {
            return bFirstChunk ? LastMarkerEnd(markers, pHead, nHeadLen, nHeadLen) : 0;
        };
        unsigned long long u64End = 0;
        if (chunk.bEndSearchFound) {
            unsigned long long u64NextHead = chunk.u64EndSearchSize - chunk.u64BytesBefore;
            u64End = InChunk(static_cast<int>(std::min<unsigned long long>(u64NextHead, chunk.nLen)));
            if (u64End == 0) u64End = InHead();
        }
        if (u64End == 0) u64End = InChunk(chunk.nLen);
        if (u64End == 0 && !chunk.bEndSearchFound) u64End = InHead();
        if (u64End == 0) return FORWARD_WALK_GO_ON;
        u64Size = std::min(u64End, u64CapBytes);
        return FORWARD_WALK_END_HERE;
    };
    unsigned long long u64Size = RunForwardWalk(u64CapBytes, J::IsEndOfFile, CheckChunk);
    if (!bSawChunk) {
        // Nothing could be read after the head: the head alone may still hold the end.
        unsigned long long u64HeadEnd = LastMarkerEnd(markers, pHead, nHeadLen, nHeadLen);
        if (u64HeadEnd != 0) return std::min(u64HeadEnd, u64CapBytes);
    }
    return u64Size;
}

// --- RAR: the first end-of-archive block that closes its sector ----------------------------

// End of the first end block in pBuf whose sector holds nothing after it, or 0.
unsigned long long FirstClosingRarEnd(const unsigned char* pBuf, int nLen) {
    unsigned long long u64End = 0;
    return FindMarkerEndOnSectorRest(pBuf, nLen, sm_ucWinrarTail, sizeof(sm_ucWinrarTail), false, u64End) ? u64End : 0;
}

// --- OLE compound files --------------------------------------------------------------------

constexpr uint32_t OLE_MAX_REGULAR_SECTOR = 0xFFFFFFFA;
constexpr uint32_t OLE_FREE_SECTOR = 0xFFFFFFFF;
constexpr uint32_t OLE_HEADER_DIFAT_ENTRIES = 109;
constexpr int OLE_COMPOBJ_HEAD_BYTES = 6;  // the CompObj stream's fixed start

// Reads compound sector u32Sector (counted from the sector after the header) of the file that
// starts at m_u64CurrentSector. Compound sectors are addressed by byte offset, so a compound
// file whose sector size differs from the device's is still read at the right place.
bool ReadCompoundSector(uint32_t u32Sector, unsigned int nCompoundBytes, std::vector<unsigned char>& vecOut) {
    const unsigned long long u64DeviceSector = OneSector();
    if (u64DeviceSector == 0) return false;
    const unsigned long long u64Offset = (static_cast<unsigned long long>(u32Sector) + 1) * nCompoundBytes;
    const unsigned long long u64Inner = u64Offset % u64DeviceSector;
    const unsigned long long u64Count = (u64Inner + nCompoundBytes + u64DeviceSector - 1) / u64DeviceSector;
    std::vector<unsigned char> vecRead(static_cast<size_t>(u64Count * u64DeviceSector));
    if (!J::ReadContextSectors(vecRead.data(), static_cast<int>(vecRead.size()),
                               J::m_u64CurrentSector + u64Offset / u64DeviceSector,
                               static_cast<int>(u64Count)))
        return false;
    vecOut.assign(vecRead.begin() + static_cast<long>(u64Inner),
                  vecRead.begin() + static_cast<long>(u64Inner + nCompoundBytes));
    return true;
}

// The size the compound file's allocation table gives: everything up to the last used sector
// covered by its last allocation-table sector. 0 when the header is inconsistent (the caller
// then walks instead).
unsigned long long GetOFFICE2003FileBytesSizeByFileHead(const unsigned char* pHead, int nLen) {
    if (pHead == nullptr || nLen < static_cast<int>(sizeof(OLE_FILE_HEADER))) return 0;
    const unsigned int nShift = ReadLe16(pHead + offsetof(OLE_FILE_HEADER, wSectorShift));
    if (nShift != 9 && nShift != 12) return 0;

    // Counts above what 32-bit sector numbers can address are damage.
    const unsigned int nEntryShift = nShift - 2;
    const unsigned long long u64MaxSectors = (0xFFFFFFFAULL >> nEntryShift) + 1;
    const uint32_t u32FatSectors = ReadLe32(pHead + offsetof(OLE_FILE_HEADER, dwFatSectorCount));
    const uint32_t u32MiniFatSectors = ReadLe32(pHead + offsetof(OLE_FILE_HEADER, dwMiniFatSectorCount));
    const uint32_t u32DifatSectors = ReadLe32(pHead + offsetof(OLE_FILE_HEADER, dwDifatSectorCount));
    if (u32FatSectors > u64MaxSectors || u32MiniFatSectors > u64MaxSectors ||
        u32DifatSectors > u64MaxSectors / ((1ULL << nEntryShift) - 1) + 1)
        return 0;
    // Every compound file has an allocation table; the header lists its first 109 sectors and
    // the DIFAT sectors list the rest, so DIFAT sectors exist exactly when there are more.
    if (u32FatSectors == 0) return 0;
    if ((u32DifatSectors == 0) != (u32FatSectors <= OLE_HEADER_DIFAT_ENTRIES)) return 0;

    const unsigned int nCompoundBytes = 1U << nShift;
    const uint32_t u32EntriesPerSector = nCompoundBytes / 4;
    const unsigned long long u64CoveredSectors =
        static_cast<unsigned long long>(u32EntriesPerSector) * u32FatSectors + 1;  // and the header
    const unsigned long long u64Fallback = std::min(u64CoveredSectors * nCompoundBytes, OFFICE_CAP_BYTES);

    // The number of the last allocation-table sector.
    uint32_t u32LastFat = 0;
    std::vector<unsigned char> vecSector;
    if (u32DifatSectors == 0) {
        u32LastFat = ReadLe32(pHead + offsetof(OLE_FILE_HEADER, adwDifat) + 4 * (u32FatSectors - 1));
    } else {
        // Each DIFAT sector holds entries-1 numbers and, last, the number of the next one.
        const uint32_t u32PerDifat = u32EntriesPerSector - 1;
        const uint32_t u32Index = u32FatSectors - 1 - OLE_HEADER_DIFAT_ENTRIES;
        const uint32_t u32Hops = u32Index / u32PerDifat;
        if (u32Hops >= u32DifatSectors) return 0;
        uint32_t u32Difat = ReadLe32(pHead + offsetof(OLE_FILE_HEADER, dwFirstDifatSector));
        for (uint32_t u32Hop = 0;; ++u32Hop) {
            if (u32Difat > OLE_MAX_REGULAR_SECTOR) return u64Fallback;  // the chain ends early
            if (!ReadCompoundSector(u32Difat, nCompoundBytes, vecSector)) return u64Fallback;
            if (u32Hop == u32Hops) break;
            u32Difat = ReadLe32(vecSector.data() + 4 * u32PerDifat);
        }
        u32LastFat = ReadLe32(vecSector.data() + 4 * (u32Index % u32PerDifat));
    }
    if (u32LastFat > OLE_MAX_REGULAR_SECTOR) return u64Fallback;
    if (!ReadCompoundSector(u32LastFat, nCompoundBytes, vecSector)) return u64Fallback;

    // Free entries at the end of the last table sector are sectors the file does not have.
    unsigned long long u64FreeAtEnd = 0;
    for (int i = static_cast<int>(u32EntriesPerSector) - 1;
         i >= 0 && ReadLe32(vecSector.data() + 4 * i) == OLE_FREE_SECTOR; --i)
        ++u64FreeAtEnd;
    return std::min((u64CoveredSectors - u64FreeAtEnd) * nCompoundBytes, OFFICE_CAP_BYTES);
}

}  // namespace

// --- the rules -------------------------------------------------------------------------------

unsigned long long GetOFFICE2003FileBytesSize(const unsigned char* pHead, int nLen) {
    unsigned long long u64Size = GetOFFICE2003FileBytesSizeByFileHead(pHead, nLen);
    if (u64Size != 0) return u64Size;
    // Without a usable table, a Word file ends at the sector holding the user-type name of its
    // CompObj stream, when a chunk holds one.
    return RunForwardWalk(OFFICE_CAP_BYTES, J::IsEndOfFile,
                          [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64End) {
                              if (FindMarker(chunk.pData, chunk.nLen, 0, ucDocTailHead,
                                            OLE_COMPOBJ_HEAD_BYTES) < 0)
                                  return FORWARD_WALK_GO_ON;
                              long long llAt = FindMarker(chunk.pData, chunk.nLen, 0, ucDocTail,
                                                         sizeof(ucDocTail));
                              if (llAt < 0) return FORWARD_WALK_GO_ON;
                              u64End = std::min(chunk.u64BytesBefore +
                                                    RoundUpToSector(static_cast<unsigned long long>(llAt) +
                                                                    sizeof(ucDocTail)),
                                                OFFICE_CAP_BYTES);
                              return FORWARD_WALK_END_HERE;
                          });
}

unsigned long long GetOFFICE2007FileBytesSize(const unsigned char* pHead, int nLen) {
    return WalkToLastMarker(OFFICE_CAP_BYTES, ZIP_MARKERS, pHead, nLen);
}

unsigned long long GetZIPFileBytesSize(const unsigned char* pHead, int nLen) {
    return WalkToLastMarker(ARCHIVE_CAP_BYTES, ZIP_MARKERS, pHead, nLen);
}

unsigned long long Get7ZFileBytesSize(const unsigned char* pHead, int nLen) {
    return WalkToLastMarker(ARCHIVE_CAP_BYTES, SEVEN_ZIP_MARKERS, pHead, nLen);
}

unsigned long long GetGZIPFileBytesSize(const unsigned char* pHead, int nLen) {
    return StructureEndOr(InflateGzipMember(ARCHIVE_CAP_BYTES), GetDefaultVedioFileBytesSize, pHead, nLen);
}

unsigned long long GetRARFileBytesSize(const unsigned char* pHead, int nLen) {
    unsigned long long u64HeadEnd = FirstClosingRarEnd(pHead, nLen);
    if (u64HeadEnd != 0) return u64HeadEnd;
    return RunForwardWalk(ARCHIVE_CAP_BYTES, J::IsEndOfFile,
                          [](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
                              unsigned long long u64End = FirstClosingRarEnd(chunk.pData, chunk.nLen);
                              if (u64End == 0) return FORWARD_WALK_GO_ON;
                              u64Size = std::min(chunk.u64BytesBefore + u64End, ARCHIVE_CAP_BYTES);
                              return FORWARD_WALK_END_HERE;
                          });
}

unsigned long long GetCABFileBytesSize(const unsigned char* pHead, int nLen) {
    if (!HasBytes(pHead, nLen, static_cast<int>(sizeof(CAB_FILE_HEADER)))) return OneSector();
    unsigned long long u64Stated = ReadLe32(pHead + offsetof(CAB_FILE_HEADER, dwCabinetBytes));
    if (u64Stated == 0) return OneSector();
    return std::min(u64Stated, CAB_CAP_BYTES);
}

unsigned long long GetDBFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(DB_CAP_BYTES, J::IsEndOfFile);
}

unsigned long long GetMailFileBytesSize(const unsigned char*, int) {
    return RunForwardWalk(MAIL_CAP_BYTES, J::IsEndOfFile);
}

unsigned long long GetTTFFileBytesSize(const unsigned char* pHead, int nLen) {
    if (!HasBytes(pHead, nLen, static_cast<int>(sizeof(TTF_OFFSET_TABLE)))) return OneSector();
    const unsigned int nTables = ReadBe16(pHead + offsetof(TTF_OFFSET_TABLE, wTableCount));
    if (nTables == 0) return OneSector();

    // A directory longer than the head sector is read from the device, at most one read buffer.
    const size_t nDirBytes = sizeof(TTF_OFFSET_TABLE) + sizeof(TTF_TABLE_RECORD) * nTables;
    const unsigned char* pDir = pHead;
    if (nDirBytes > static_cast<size_t>(nLen)) {
        const int nSector = J::m_nBytesPerSector;
        if (J::m_pReadBuf == nullptr || nSector <= 0 ||
            nDirBytes > static_cast<size_t>(FILE_TYPE_JUDGE_READ_BUF_BYTES))
            return OneSector();
        if (!J::ReadContextSectors(J::m_pReadBuf, FILE_TYPE_JUDGE_READ_BUF_BYTES, J::m_u64StartSector,
                                   FILE_TYPE_JUDGE_READ_BUF_BYTES / nSector))
            return OneSector();
        pDir = J::m_pReadBuf;
    }

    // Tables need not lie in directory order: the file ends where the furthest one ends.
    unsigned long long u64End = 0;
    for (unsigned int i = 0; i < nTables; ++i) {
        const unsigned char* pRecord = pDir + sizeof(TTF_OFFSET_TABLE) + sizeof(TTF_TABLE_RECORD) * i;
        unsigned long long u64TableEnd =
            static_cast<unsigned long long>(ReadBe32(pRecord + offsetof(TTF_TABLE_RECORD, dwOffset))) +
            ReadBe32(pRecord + offsetof(TTF_TABLE_RECORD, dwLength));
        u64End = std::max(u64End, u64TableEnd);
    }
    return u64End != 0 ? u64End : OneSector();
}
