// TIFF: from the header's first image file directory (IFD) along the chain of next-IFD offsets,
// into sub-IFDs and the EXIF, GPS and interoperability IFDs, the file ends where the furthest
// thing any of them points to ends: a directory itself, a value stored outside its entry, a
// strip or tile of image data, or an embedded JPEG stream. Both byte orders.
//
// Camera RAW files in TIFF containers take the same walk with their own header marks, the CR2
// header's pointer to the raw IFD, and the maker note's directories (whose offsets may count
// from the maker note, and whose byte order may be the note's own).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "carving/carved_file_bytes.h"
#include "carving/structure_walks.h"
#include "carving/tiff_first_directory.h"
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
constexpr size_t MAX_KEPT_EXTENTS = 1 << 20;
// A writer that appends each page as a whole TIFF of its own (header and all) starting on a
// 16-byte boundary, as Pillow does, pads the file's end to that boundary with zeros as well.
constexpr unsigned long long APPENDED_PAGE_ALIGNMENT = 16;

enum : uint16_t {
    TAG_STRIP_OFFSETS = 273, TAG_STRIP_BYTE_COUNTS = 279, TAG_TILE_OFFSETS = 324, TAG_TILE_BYTE_COUNTS = 325,
    TAG_SUB_IFDS = 330, TAG_JPEG_OFFSET = 513, TAG_JPEG_LENGTH = 514, TAG_EXIF_IFD = 34665,
    TAG_GPS_IFD = 34853, TAG_INTEROPERABILITY_IFD = 40965, TAG_MAKER_NOTE = 37500,
    TAG_COMPRESSION = 259, TAG_PHOTOMETRIC = 262, TAG_MAKE = 271, TAG_DNG_VERSION = 50706,
};
enum : uint16_t { TYPE_ASCII = 2, TYPE_SHORT = 3, TYPE_LONG = 4, TYPE_UNDEFINED = 7, TYPE_IFD = 13 };

// The second half of the header: 42 for TIFF; RAW writers put their own mark there.
enum : uint16_t { MAGIC_ORF = 0x4F52, MAGIC_ORF_SP = 0x5352, MAGIC_RW2 = 0x0055 };
bool IsRawMagic(uint16_t nMagic) {
    return nMagic == MAGIC_ORF || nMagic == MAGIC_ORF_SP || nMagic == MAGIC_RW2;
}

// CR2 extends the header: "CR", major version 2, minor version, the raw IFD's offset.
constexpr size_t CR2_HEADER_BYTES = 16;
constexpr size_t CR2_RAW_IFD_OFFSET = 12;

// Where a maker note keeps its directory. Offsets inside count from the file's header or from
// the note itself (bNoteBase), or from a TIFF header of its own (Nikon: bOwnTiffHeader). The
// byte order is the file's unless nOrderAt names two bytes "II"/"MM" in the note.
struct MAKER_NOTE_LAYOUT {
    const char* szPrefix;
    size_t nPrefix;
    size_t nIfdAt;
    bool bNoteBase;
    int nOrderAt;  // -1: the file's byte order
    bool bOwnTiffHeader;
};
// Published layouts of the makers; a note that matches none is tried as a directory at its own
// start with file offsets, as Canon writes it.
constexpr MAKER_NOTE_LAYOUT MAKER_NOTE_LAYOUTS[] = {
    {"Nikon\0", 6, 10, false, 10, true},
    {"OLYMPUS\0", 8, 12, true, 8, false},
    {"OLYMP\0", 6, 8, false, -1, false},
    {"PENTAX \0", 8, 10, true, 8, false},
    {"AOC\0", 4, 6, false, 4, false},
    {"SONY DSC \0\0\0", 12, 12, false, -1, false},
    {"Panasonic\0\0\0", 12, 12, false, -1, false},
};
constexpr size_t MAKER_NOTE_PROBE_BYTES = 18;
// Tags of maker-note directories that point to further directories: Nikon's preview IFD holds
// the standard JPEG tags; Olympus's equipment, camera, raw and image settings hold their own.
constexpr uint16_t TAG_NIKON_PREVIEW_IFD = 0x0011;
constexpr uint16_t TAG_OLYMPUS_FIRST_SUB_IFD = 0x2010, TAG_OLYMPUS_LAST_SUB_IFD = 0x5000;

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

// A directory to read: its offset counts from u64Base, its values are in its byte order. A
// maker note's directories are read for the extents of their values only: their tags are the
// maker's, not TIFF's.
struct DIRECTORY {
    uint32_t nOffset = 0;
    unsigned long long u64Base = 0;
    bool bBigEndian = false;
    bool bMakerNote = false;
};

class CTiffWalk {
public:
    CTiffWalk(CCarvedFileBytes& bytes, const unsigned char* pHeader, unsigned long long u64Cap,
              std::vector<TIFF_FILE_EXTENT>* pExtents)
        : m_bytes(bytes), m_bFileBigEndian(pHeader[0] == 'M'), m_u64Cap(u64Cap), m_pExtents(pExtents) {
        std::copy(pHeader, pHeader + sizeof(m_ucByteOrderMark), m_ucByteOrderMark);
    }

    // The file's end, or 0 when the first directory or anything it points to is not sound.
    // vecFirst: the header's directory first, then any other the header points to. Maker notes
    // are followed only when the walk collects extents (the RAW walk).
    unsigned long long Walk(const std::vector<uint32_t>& vecFirst) {
        std::vector<DIRECTORY> vecPending;
        for (auto it = vecFirst.rbegin(); it != vecFirst.rend(); ++it)
            vecPending.push_back(DIRECTORY{*it, 0, m_bFileBigEndian, false});
        std::set<unsigned long long> setSeen;
        bool bFirst = true;
        while (!vecPending.empty() && setSeen.size() < MAX_IFDS) {
            const DIRECTORY dir = vecPending.back();
            vecPending.pop_back();
            if (!setSeen.insert(dir.u64Base + dir.nOffset).second) continue;
            // A later directory that is not sound is left out; the first one must be.
            const bool bSound = Directory(dir, vecPending);
            if (!bSound && bFirst) return 0;
            if (bSound && !bFirst && dir.u64Base == 0 && StartsAppendedPage(dir.nOffset)) m_bAppendedPages = true;
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
    // A file offset from an offset of the directory being read.
    unsigned long long At(uint32_t nOffset) const { return m_u64Base + nOffset; }

    // A byte range of the file; false when it starts in the header or passes the cap. A RAW
    // walk keeps it until its directory proves sound.
    bool Extent(unsigned long long u64At, unsigned long long u64Bytes, unsigned long long& u64End,
                bool bHoldsOwnHeads = false) {
        if (u64At < TIFF_HEADER_BYTES || u64Bytes > m_u64Cap || u64At > m_u64Cap - u64Bytes) return false;
        u64End = std::max(u64End, u64At + u64Bytes);
        if (m_pExtents != nullptr && u64Bytes != 0) m_vecDirectoryExtents.push_back({u64At, u64At + u64Bytes, bHoldsOwnHeads});
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
            p = m_bytes.Peek(At(U32(entry.ucValue)) + static_cast<unsigned long long>(i) * nBytes, nBytes);
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
            if (nBytes != 0 && !Extent(At(nOffset), nBytes, u64End)) return false;
        }
        m_bImageData = true;
        return true;
    }

    // The maker note's own directory, when the note is long enough to hold one.
    void MakerNote(const ENTRY& entry, std::vector<DIRECTORY>& vecChildren) {
        if (entry.nType != TYPE_UNDEFINED || entry.nCount < MAKER_NOTE_PROBE_BYTES) return;
        const unsigned long long u64Note = At(U32(entry.ucValue));
        const unsigned char* p = m_bytes.Peek(u64Note, MAKER_NOTE_PROBE_BYTES);
        if (p == nullptr) return;
        DIRECTORY dir{0, 0, m_bBigEndian, true};
        for (const MAKER_NOTE_LAYOUT& layout : MAKER_NOTE_LAYOUTS) {
            if (memcmp(p, layout.szPrefix, layout.nPrefix) != 0) continue;
            if (layout.nOrderAt >= 0 && (memcmp(p + layout.nOrderAt, "II", 2) == 0 || memcmp(p + layout.nOrderAt, "MM", 2) == 0))
                dir.bBigEndian = p[layout.nOrderAt] == 'M';
            if (layout.bOwnTiffHeader) {
                dir.u64Base = u64Note + layout.nIfdAt;
                const unsigned char* pFirst = p + layout.nIfdAt + offsetof(TIFF_HEADER, abFirstIfd);
                dir.nOffset = dir.bBigEndian ? ReadBe32(pFirst) : ReadLe32(pFirst);
            } else {
                dir.u64Base = layout.bNoteBase ? u64Note : 0;
                const unsigned long long u64Offset = u64Note + layout.nIfdAt - dir.u64Base;
                if (u64Offset > UINT32_MAX) return;
                dir.nOffset = static_cast<uint32_t>(u64Offset);
            }
            vecChildren.push_back(dir);
            return;
        }
        if (u64Note <= UINT32_MAX) vecChildren.push_back(DIRECTORY{static_cast<uint32_t>(u64Note), 0, m_bBigEndian, true});
    }

    // A directory a maker-note entry points to, or false.
    bool MakerNoteChild(const ENTRY& entry, DIRECTORY& child) const {
        const bool bNikonPreview = entry.nTag == TAG_NIKON_PREVIEW_IFD;
        const bool bSubIfd = entry.nType == TYPE_IFD ||
                             (entry.nTag >= TAG_OLYMPUS_FIRST_SUB_IFD && entry.nTag <= TAG_OLYMPUS_LAST_SUB_IFD);
        if ((!bNikonPreview && !bSubIfd) || entry.nCount != 1 || (entry.nType != TYPE_LONG && entry.nType != TYPE_IFD))
            return false;
        child = DIRECTORY{U32(entry.ucValue), m_u64Base, m_bBigEndian, !bNikonPreview};
        return true;
    }

    // Reads the directory, adds the directories it points to to vecPending and, when everything
    // in it is sound, its extents to the file's end.
    bool Directory(const DIRECTORY& dir, std::vector<DIRECTORY>& vecPending) {
        m_u64Base = dir.u64Base;
        m_bBigEndian = dir.bBigEndian;
        m_vecDirectoryExtents.clear();
        const unsigned long long u64Ifd = At(dir.nOffset);
        const unsigned char* pCount = m_bytes.Peek(u64Ifd, 2);
        if (pCount == nullptr) return false;
        const unsigned int nEntries = U16(pCount);
        if (nEntries == 0 || nEntries > MAX_IFD_ENTRIES) return false;
        const size_t nDirBytes = 2 + IFD_ENTRY_BYTES * nEntries + 4;
        unsigned long long u64End = 0;
        if (!Extent(u64Ifd, nDirBytes, u64End)) return false;
        const unsigned char* pDir = m_bytes.Peek(u64Ifd, nDirBytes);
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
        std::vector<DIRECTORY> vecChildren;
        for (const ENTRY& entry : vecEntries) {
            const unsigned long long u64Bytes = static_cast<unsigned long long>(entry.nCount) * TypeBytes(entry.nType);
            // An undefined value is a blob of the file's own (a maker note, a preview): what
            // looks like a file's head inside it belongs to it.
            if (u64Bytes > sizeof(entry.ucValue) &&
                !Extent(At(U32(entry.ucValue)), u64Bytes, u64End, entry.nType == TYPE_UNDEFINED))
                return false;
            if (dir.bMakerNote) {
                // A note that is no directory at all rarely holds only known field types.
                if (TypeBytes(entry.nType) == 0) return false;
                DIRECTORY child;
                if (MakerNoteChild(entry, child) && vecChildren.size() < MAX_IFDS) vecChildren.push_back(child);
                continue;
            }
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
                    vecChildren.push_back(DIRECTORY{nChild, m_u64Base, m_bBigEndian, false});
                }
                break;
            case TAG_MAKER_NOTE:
                if (m_pExtents != nullptr) MakerNote(entry, vecChildren);
                break;
            default: break;
            }
        }
        if (!DataExtents(stripOffsets, stripCounts, u64End) || !DataExtents(tileOffsets, tileCounts, u64End) ||
            !DataExtents(jpegOffset, jpegLength, u64End))
            return false;

        m_u64End = std::max(m_u64End, u64End);
        if (m_pExtents != nullptr && m_pExtents->size() < MAX_KEPT_EXTENTS)
            m_pExtents->insert(m_pExtents->end(), m_vecDirectoryExtents.begin(), m_vecDirectoryExtents.end());
        if (nNextIfd != 0) vecPending.push_back(DIRECTORY{nNextIfd, m_u64Base, m_bBigEndian, dir.bMakerNote});
        vecPending.insert(vecPending.end(), vecChildren.begin(), vecChildren.end());
        return true;
    }

    CCarvedFileBytes& m_bytes;
    const bool m_bFileBigEndian;
    bool m_bBigEndian = false;            // of the directory being read
    unsigned long long m_u64Base = 0;     // its offsets count from here
    unsigned char m_ucByteOrderMark[4] = {};  // "II*\0" or "MM\0*"
    bool m_bAppendedPages = false;
    const unsigned long long m_u64Cap;
    std::vector<TIFF_FILE_EXTENT>* m_pExtents;              // null: a plain TIFF walk
    std::vector<TIFF_FILE_EXTENT> m_vecDirectoryExtents;    // of the directory being read
    unsigned long long m_u64End = 0;
    unsigned long long m_u64ValuesRead = 0;
    bool m_bImageData = false;
};

}  // namespace

namespace {

// The walk from the header at the head of the carved file; bCameraRaw accepts the RAW marks,
// follows the CR2 raw IFD and maker notes, and keeps the extents.
unsigned long long WalkFromHeader(unsigned long long u64CapBytes, std::vector<TIFF_FILE_EXTENT>* pExtents) {
    CCarvedFileBytes bytes;
    const unsigned char* pHeader = bytes.Peek(0, CR2_HEADER_BYTES);
    if (pHeader == nullptr) return 0;
    const unsigned char* pMagic = pHeader + offsetof(TIFF_HEADER, abMagic);
    const bool bIntel = memcmp(pHeader, "II", 2) == 0;
    const bool bMotorola = memcmp(pHeader, "MM", 2) == 0;
    const uint16_t nMagic = bMotorola ? ReadBe16(pMagic) : ReadLe16(pMagic);
    if ((!bIntel && !bMotorola) || (nMagic != TIFF_MAGIC && (pExtents == nullptr || !IsRawMagic(nMagic)))) return 0;
    auto U32 = [bMotorola](const unsigned char* p) { return bMotorola ? ReadBe32(p) : ReadLe32(p); };
    std::vector<uint32_t> vecFirst{U32(pHeader + offsetof(TIFF_HEADER, abFirstIfd))};
    if (pExtents != nullptr && nMagic == TIFF_MAGIC && memcmp(pHeader + TIFF_HEADER_BYTES, "CR\x02", 3) == 0) {
        const uint32_t nRawIfd = U32(pHeader + CR2_RAW_IFD_OFFSET);
        if (nRawIfd != 0) vecFirst.push_back(nRawIfd);
    }
    CTiffWalk walk(bytes, pHeader, u64CapBytes, pExtents);
    unsigned long long u64End = walk.Walk(vecFirst);
    return bytes.Stopped() ? 0 : u64End;
}

}  // namespace

unsigned long long WalkTiffDirectories(unsigned long long u64CapBytes) {
    return WalkFromHeader(u64CapBytes, nullptr);
}

unsigned long long WalkCameraRawDirectories(unsigned long long u64CapBytes, std::vector<TIFF_FILE_EXTENT>& vecExtents) {
    vecExtents.clear();
    return WalkFromHeader(u64CapBytes, &vecExtents);
}

TIFF_FIRST_DIRECTORY_ANSWER ReadTiffFirstDirectory(const unsigned char* pBuf, size_t nLen, TIFF_FIRST_DIRECTORY& dir,
                                                  size_t& nNeeded) {
    dir = TIFF_FIRST_DIRECTORY();
    nNeeded = 0;
    if (pBuf == nullptr || nLen < TIFF_HEADER_BYTES) return TIFF_NOT_READ;
    const bool bMotorola = pBuf[0] == 'M';
    if (memcmp(pBuf, bMotorola ? "MM" : "II", 2) != 0) return TIFF_NOT_READ;
    auto U16 = [bMotorola](const unsigned char* p) { return bMotorola ? ReadBe16(p) : ReadLe16(p); };
    auto U32 = [bMotorola](const unsigned char* p) { return bMotorola ? ReadBe32(p) : ReadLe32(p); };
    const uint16_t nMagic = U16(pBuf + offsetof(TIFF_HEADER, abMagic));
    if (nMagic != TIFF_MAGIC && !IsRawMagic(nMagic)) return TIFF_NOT_READ;
    const unsigned long long u64Ifd = U32(pBuf + offsetof(TIFF_HEADER, abFirstIfd));
    if (u64Ifd < TIFF_HEADER_BYTES) return TIFF_NOT_READ;
    // Everything asked for must lie in the buffer; otherwise say how much would do.
    auto Need = [&](unsigned long long u64End) {
        if (u64End <= nLen) return false;
        nNeeded = static_cast<size_t>(std::min<unsigned long long>(u64End, SIZE_MAX));
        return true;
    };
    if (Need(u64Ifd + 2)) return TIFF_NEEDS_MORE;
    const unsigned int nEntries = U16(pBuf + u64Ifd);
    if (nEntries == 0 || nEntries > MAX_IFD_ENTRIES) return TIFF_NOT_READ;
    if (Need(u64Ifd + 2 + IFD_ENTRY_BYTES * nEntries)) return TIFF_NEEDS_MORE;
    for (unsigned int i = 0; i < nEntries; ++i) {
        const unsigned char* p = pBuf + u64Ifd + 2 + IFD_ENTRY_BYTES * i;
        const uint16_t nTag = U16(p + offsetof(TIFF_IFD_ENTRY, abTag));
        const uint16_t nType = U16(p + offsetof(TIFF_IFD_ENTRY, abType));
        const uint32_t nCount = U32(p + offsetof(TIFF_IFD_ENTRY, abCount));
        const unsigned char* pValue = p + offsetof(TIFF_IFD_ENTRY, abValue);
        const uint32_t nShortOrLong = nType == TYPE_SHORT ? U16(pValue) : U32(pValue);
        switch (nTag) {
        case TAG_DNG_VERSION: dir.bDngVersion = true; break;
        case TAG_SUB_IFDS: dir.bSubIfds = nCount != 0; break;
        case TAG_COMPRESSION: dir.nCompression = nShortOrLong; break;
        case TAG_PHOTOMETRIC: dir.nPhotometric = nShortOrLong; break;
        case TAG_MAKE: {
            if (nType != TYPE_ASCII || nCount == 0) break;
            const size_t nCopy = std::min<size_t>(nCount, sizeof(dir.szMake) - 1);
            const unsigned long long u64At = nCount <= sizeof(TIFF_IFD_ENTRY::abValue) ? pValue - pBuf : U32(pValue);
            if (Need(u64At + nCopy)) return TIFF_NEEDS_MORE;
            memcpy(dir.szMake, pBuf + u64At, nCopy);
            dir.szMake[nCopy] = '\0';
            break;
        }
        default: break;
        }
    }
    return TIFF_READ;
}
