// TIFF: from the header's first image file directory (IFD) along the chain of next-IFD offsets,
// into sub-IFDs and the EXIF, GPS and interoperability IFDs, the file ends where the furthest
// thing any of them points to ends: a directory itself, a value stored outside its entry, a
// strip or tile of image data, or an embedded JPEG stream. Both byte orders.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "carving/carved_file_bytes.h"
#include "carving/structure_walks.h"
#include "util/le.h"

namespace {

#pragma pack(push, 1)
// Fields are in the byte order the header's first two bytes name.
struct TIFF_HEADER {
    char abByteOrder[2];  // "II" little-endian, "MM" big-endian
    unsigned char abMagic[2];  // 42
    unsigned char abFirstIfd[4];
};
struct TIFF_IFD_ENTRY {
    unsigned char abTag[2];
    unsigned char abType[2];
    unsigned char abCount[4];
    unsigned char abValue[4];  // the values when they fit, else their offset
};
#pragma pack(pop)
static_assert(sizeof(TIFF_HEADER) == 8, "TIFF_HEADER layout");
static_assert(offsetof(TIFF_HEADER, abFirstIfd) == 4, "TIFF_HEADER layout");
static_assert(sizeof(TIFF_IFD_ENTRY) == 12, "TIFF_IFD_ENTRY layout");
static_assert(offsetof(TIFF_IFD_ENTRY, abType) == 2, "TIFF_IFD_ENTRY layout");
static_assert(offsetof(TIFF_IFD_ENTRY, abCount) == 4, "TIFF_IFD_ENTRY layout");
static_assert(offsetof(TIFF_IFD_ENTRY, abValue) == 8, "TIFF_IFD_ENTRY layout");

constexpr size_t TIFF_HEADER_BYTES = sizeof(TIFF_HEADER);
constexpr uint16_t TIFF_MAGIC = 42;
constexpr size_t IFD_ENTRY_BYTES = sizeof(TIFF_IFD_ENTRY);
constexpr unsigned int MAX_IFD_ENTRIES = 4096;  // a directory of real files holds a few dozen
constexpr size_t MAX_IFDS = 1024;
constexpr unsigned long long MAX_ARRAY_VALUES = 1ULL << 20;  // strip and tile numbers read in all
// A writer that appends each page as a whole TIFF of its own (header and all) starting on a
// 16-byte boundary, as Pillow does, pads the file's end to that boundary with zeros as well.
constexpr unsigned long long APPENDED_PAGE_ALIGNMENT = 16;

enum : uint16_t {
    TAG_STRIP_OFFSETS = 273, TAG_STRIP_BYTE_COUNTS = 279, TAG_TILE_OFFSETS = 324, TAG_TILE_BYTE_COUNTS = 325,
    TAG_SUB_IFDS = 330, TAG_JPEG_OFFSET = 513, TAG_JPEG_LENGTH = 514, TAG_EXIF_IFD = 34665,
    TAG_GPS_IFD = 34853, TAG_INTEROPERABILITY_IFD = 40965,
};
enum : uint16_t { TYPE_SHORT = 3, TYPE_LONG = 4, TYPE_IFD = 13 };

// Bytes of one value of a field type, 0 for types this walk does not know (their entries are
// skipped, as readers are told to do).
unsigned int TypeBytes(uint16_t nType) {
    static constexpr unsigned char BYTES[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return nType < sizeof(BYTES) ? BYTES[nType] : 0;
}

// One directory entry; its value field holds the values when they fit in four bytes.
struct ENTRY {
    uint16_t nTag = 0;
    uint16_t nType = 0;
    uint32_t nCount = 0;
    unsigned char ucValue[4] = {};
    bool Present() const { return nCount != 0; }
};

class CTiffWalk {
public:
    CTiffWalk(CCarvedFileBytes& bytes, const unsigned char* pHeader, unsigned long long u64Cap)
        : m_bytes(bytes), m_bBigEndian(pHeader[0] == 'M'), m_u64Cap(u64Cap) {
        std::copy(pHeader, pHeader + sizeof(m_ucByteOrderMark), m_ucByteOrderMark);
    }

    // The file's end, or 0 when the first directory or anything it points to is not sound.
    unsigned long long Walk(uint32_t nFirstIfd) {
        std::vector<uint32_t> vecPending{nFirstIfd};
        std::set<uint32_t> setSeen;
        bool bFirst = true;
        while (!vecPending.empty() && setSeen.size() < MAX_IFDS) {
            const uint32_t nIfd = vecPending.back();
            vecPending.pop_back();
            if (!setSeen.insert(nIfd).second) continue;
            // A later directory that is not sound is left out; the first one must be.
            const bool bSound = Directory(nIfd, vecPending);
            if (!bSound && bFirst) return 0;
            if (bSound && !bFirst && StartsAppendedPage(nIfd)) m_bAppendedPages = true;
            bFirst = false;
        }
        if (!m_bImageData) return 0;
        const unsigned long long u64Pad = (APPENDED_PAGE_ALIGNMENT - m_u64End % APPENDED_PAGE_ALIGNMENT) % APPENDED_PAGE_ALIGNMENT;
        if (m_bAppendedPages && u64Pad != 0 && m_u64End + u64Pad <= m_u64Cap) {
            const unsigned char* pPad = m_bytes.Peek(m_u64End, u64Pad);
            if (pPad != nullptr && std::all_of(pPad, pPad + u64Pad, [](unsigned char uc) { return uc == 0; }))
                return m_u64End + u64Pad;
        }
        return m_u64End;
    }

private:
    // True when the directory at nIfd is that of a page appended as a whole TIFF: the file's own
    // header stands right before it, on an alignment boundary.
    bool StartsAppendedPage(uint32_t nIfd) {
        if (nIfd < TIFF_HEADER_BYTES || (nIfd - TIFF_HEADER_BYTES) % APPENDED_PAGE_ALIGNMENT != 0) return false;
        const unsigned char* p = m_bytes.Peek(nIfd - TIFF_HEADER_BYTES, sizeof(m_ucByteOrderMark));
        return p != nullptr && std::equal(p, p + sizeof(m_ucByteOrderMark), m_ucByteOrderMark);
    }

    uint16_t U16(const unsigned char* p) const { return m_bBigEndian ? ReadBe16(p) : ReadLe16(p); }
    uint32_t U32(const unsigned char* p) const { return m_bBigEndian ? ReadBe32(p) : ReadLe32(p); }

    // A byte range of the file; false when it starts in the header or passes the cap.
    bool Extent(unsigned long long u64At, unsigned long long u64Bytes, unsigned long long& u64End) const {
        if (u64At < TIFF_HEADER_BYTES || u64Bytes > m_u64Cap || u64At > m_u64Cap - u64Bytes) return false;
        u64End = std::max(u64End, u64At + u64Bytes);
        return true;
    }

    // Value i of an entry of SHORT, LONG or IFD values; false when it cannot be read.
    bool Value(const ENTRY& entry, uint32_t i, uint32_t& nValue) {
        const unsigned int nBytes = TypeBytes(entry.nType);
        if ((entry.nType != TYPE_SHORT && entry.nType != TYPE_LONG && entry.nType != TYPE_IFD) || i >= entry.nCount)
            return false;
        const unsigned char* p = nullptr;
        if (static_cast<unsigned long long>(entry.nCount) * nBytes <= sizeof(entry.ucValue)) {
            p = entry.ucValue + i * nBytes;
        } else {
            if (++m_u64ValuesRead > MAX_ARRAY_VALUES) return false;
            p = m_bytes.Peek(U32(entry.ucValue) + static_cast<unsigned long long>(i) * nBytes, nBytes);
            if (p == nullptr) return false;
        }
        nValue = nBytes == 2 ? U16(p) : U32(p);
        return true;
    }

    // Image data given as offsets in one entry and byte counts in another.
    bool DataExtents(const ENTRY& offsets, const ENTRY& counts, unsigned long long& u64End) {
        if (!offsets.Present() && !counts.Present()) return true;
        if (offsets.nCount != counts.nCount) return false;
        for (uint32_t i = 0; i < offsets.nCount; ++i) {
            uint32_t nOffset = 0, nBytes = 0;
            if (!Value(offsets, i, nOffset) || !Value(counts, i, nBytes)) return false;
            if (nBytes != 0 && !Extent(nOffset, nBytes, u64End)) return false;
        }
        m_bImageData = true;
        return true;
    }

    // Reads the directory at nIfd, adds the directories it points to to vecPending and, when
    // everything in it is sound, its extents to the file's end.
    bool Directory(uint32_t nIfd, std::vector<uint32_t>& vecPending) {
        const unsigned char* pCount = m_bytes.Peek(nIfd, 2);
        if (pCount == nullptr) return false;
        const unsigned int nEntries = U16(pCount);
        if (nEntries == 0 || nEntries > MAX_IFD_ENTRIES) return false;
        const size_t nDirBytes = 2 + IFD_ENTRY_BYTES * nEntries + 4;
        unsigned long long u64End = 0;
        if (!Extent(nIfd, nDirBytes, u64End)) return false;
        const unsigned char* pDir = m_bytes.Peek(nIfd, nDirBytes);
        if (pDir == nullptr) return false;
        // The window moves while arrays are read: keep the entries.
        std::vector<ENTRY> vecEntries(nEntries);
        for (unsigned int i = 0; i < nEntries; ++i) {
            const unsigned char* p = pDir + 2 + IFD_ENTRY_BYTES * i;
            vecEntries[i].nTag = U16(p + offsetof(TIFF_IFD_ENTRY, abTag));
            vecEntries[i].nType = U16(p + offsetof(TIFF_IFD_ENTRY, abType));
            vecEntries[i].nCount = U32(p + offsetof(TIFF_IFD_ENTRY, abCount));
            const unsigned char* pValue = p + offsetof(TIFF_IFD_ENTRY, abValue);
            std::copy(pValue, pValue + sizeof(vecEntries[i].ucValue), vecEntries[i].ucValue);
        }
        const uint32_t nNextIfd = U32(pDir + 2 + IFD_ENTRY_BYTES * nEntries);

        ENTRY stripOffsets, stripCounts, tileOffsets, tileCounts, jpegOffset, jpegLength;
        std::vector<uint32_t> vecChildren;
        for (const ENTRY& entry : vecEntries) {
            const unsigned long long u64Bytes = static_cast<unsigned long long>(entry.nCount) * TypeBytes(entry.nType);
            if (u64Bytes > sizeof(entry.ucValue) && !Extent(U32(entry.ucValue), u64Bytes, u64End)) return false;
            switch (entry.nTag) {
            case TAG_STRIP_OFFSETS: stripOffsets = entry; break;
            case TAG_STRIP_BYTE_COUNTS: stripCounts = entry; break;
            case TAG_TILE_OFFSETS: tileOffsets = entry; break;
            case TAG_TILE_BYTE_COUNTS: tileCounts = entry; break;
            case TAG_JPEG_OFFSET: jpegOffset = entry; break;
            case TAG_JPEG_LENGTH: jpegLength = entry; break;
            case TAG_SUB_IFDS: case TAG_EXIF_IFD: case TAG_GPS_IFD: case TAG_INTEROPERABILITY_IFD:
                for (uint32_t i = 0; i < entry.nCount && vecChildren.size() < MAX_IFDS; ++i) {
                    uint32_t nChild = 0;
                    if (!Value(entry, i, nChild)) return false;
                    vecChildren.push_back(nChild);
                }
                break;
            default: break;
            }
        }
        if (!DataExtents(stripOffsets, stripCounts, u64End) || !DataExtents(tileOffsets, tileCounts, u64End) ||
            !DataExtents(jpegOffset, jpegLength, u64End))
            return false;

        m_u64End = std::max(m_u64End, u64End);
        if (nNextIfd != 0) vecPending.push_back(nNextIfd);
        vecPending.insert(vecPending.end(), vecChildren.begin(), vecChildren.end());
        return true;
    }

    CCarvedFileBytes& m_bytes;
    const bool m_bBigEndian;
    unsigned char m_ucByteOrderMark[4] = {};  // "II*\0" or "MM\0*"
    bool m_bAppendedPages = false;
    const unsigned long long m_u64Cap;
    unsigned long long m_u64End = 0;
    unsigned long long m_u64ValuesRead = 0;
    bool m_bImageData = false;
};

}  // namespace

unsigned long long WalkTiffDirectories(unsigned long long u64CapBytes) {
    CCarvedFileBytes bytes;
    const unsigned char* pHeader = bytes.Peek(0, sizeof(TIFF_HEADER));
    if (pHeader == nullptr) return 0;
    const unsigned char* pMagic = pHeader + offsetof(TIFF_HEADER, abMagic);
    const bool bIntel = memcmp(pHeader, "II", 2) == 0 && ReadLe16(pMagic) == TIFF_MAGIC;
    const bool bMotorola = memcmp(pHeader, "MM", 2) == 0 && ReadBe16(pMagic) == TIFF_MAGIC;
    if (!bIntel && !bMotorola) return 0;
    const unsigned char* pFirst = pHeader + offsetof(TIFF_HEADER, abFirstIfd);
    const uint32_t nFirstIfd = bMotorola ? ReadBe32(pFirst) : ReadLe32(pFirst);
    CTiffWalk walk(bytes, pHeader, u64CapBytes);
    unsigned long long u64End = walk.Walk(nFirstIfd);
    return bytes.Stopped() ? 0 : u64End;
}
