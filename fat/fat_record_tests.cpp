#include "fat/fat_record_tests.h"

#include <cstddef>
#include <cstring>

#include "engine/result_codes.h"
#include "fat/fat_dates.h"
#include "fat/fat_names.h"
#include "util/le.h"

namespace {

// Field offsets inside a 32-byte entry, read from the record layouts.
constexpr int OFF_ATTRIBUTE = offsetof(FAT32_Entry, btAttribute);
constexpr int OFF_LFN_CHECKSUM = offsetof(_FAT_LFN_ENTRY_, btCheckSum);
constexpr int OFF_CREATE_DATE = offsetof(FAT32_Entry, wCreateDate);
constexpr int OFF_ACCESS_DATE = offsetof(FAT32_Entry, wLastAccessDate);
constexpr int OFF_CLUSTER_HIGH = offsetof(FAT32_Entry, wFirstClusterHigh);
constexpr int OFF_WRITE_DATE = offsetof(FAT32_Entry, wLastWriteDate);
constexpr int OFF_CLUSTER_LOW = offsetof(FAT32_Entry, wFirstClusterLow);
constexpr int OFF_FILE_SIZE = offsetof(FAT32_Entry, dwFileSize);
constexpr int SHORT_NAME_TOTAL = FAT_SHORT_NAME_BYTES + FAT_SHORT_EXT_BYTES;
constexpr int DATE_OFFSETS[3] = {OFF_CREATE_DATE, OFF_ACCESS_DATE, OFF_WRITE_DATE};

// Bytes 1-14 against 17-30: a sector filled with a repeating 16-byte pattern matches.
constexpr size_t REPEAT_CHECK_BYTES = 14;

const unsigned char ZERO_ENTRY[FAT_DIR_ENTRY_BYTES] = {};

bool IsDirectoryAttr(unsigned char btAttr) { return (btAttr & FAT_ATTR_DIRECTORY) != 0; }

// A "." (bDotDot false) or ".." entry as it opens a directory: directory bit, size 0.
bool IsDotEntry(const unsigned char* pEntry, bool bDotDot) {
    if (pEntry[0] != FAT_ENTRY_DOT) return false;
    if (bDotDot && pEntry[1] != FAT_ENTRY_DOT) return false;
    return IsDirectoryAttr(pEntry[OFF_ATTRIBUTE]) && ReadLe32(pEntry + OFF_FILE_SIZE) == 0;
}

bool SameDecodedDate(uint16_t wFirst, uint16_t wSecond) {
    // Unequal words may still name the same day once carried over (day 0 of a month).
    return wFirst == wSecond || FatDateToUnixSeconds(wFirst) == FatDateToUnixSeconds(wSecond);
}

// Characters a FAT driver never stores in a short name.
bool IsForbiddenShortNameByte(unsigned char b) {
    if (b < 0x20 || (b >= 'a' && b <= 'z')) return true;
    switch (b) {
    case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|': case '.':
        return true;
    default:
        return false;
    }
}

// The checks of one entry that need only its own 32 bytes; the "." + ".." acceptance is done
// by the caller first. Cheap attribute checks come before the date arithmetic because every
// check here can only reject.
bool IsPlausibleEntryAlone(const unsigned char* pEntry) {
    const unsigned char btFirst = pEntry[0];
    const unsigned char btAttr = pEntry[OFF_ATTRIBUTE];
    const bool bDeleted = btFirst == FAT_ENTRY_DELETED;
    const bool bDirectory = IsDirectoryAttr(btAttr);
    const bool bLongName = btAttr == FAT_ATTR_LONG_NAME;
    const bool bVolumeLabel = btAttr == FAT_ATTR_VOLUME_LABEL;
    const uint32_t u32Size = ReadLe32(pEntry + OFF_FILE_SIZE);
    const uint16_t wClusterHigh = ReadLe16(pEntry + OFF_CLUSTER_HIGH);
    const uint16_t wClusterLow = ReadLe16(pEntry + OFF_CLUSTER_LOW);

    // An empty file owns no cluster.
    if (u32Size == 0 && !bDirectory && (wClusterHigh != 0 || wClusterLow != 0)) return false;
    if (!bLongName) {
        if (bVolumeLabel) {
            if (u32Size != 0 || wClusterHigh != 0 || wClusterLow != 0) return false;
        } else if ((btAttr & FAT_ATTR_VOLUME_LABEL) != 0) {
            return false;
        }
    }
    if ((btAttr & (FAT_ATTR_DIRECTORY | FAT_ATTR_READ_ONLY)) ==
        (FAT_ATTR_DIRECTORY | FAT_ATTR_READ_ONLY))
        return false;
    if ((btAttr & FAT_ATTR_UNUSED_BITS) != 0) return false;
    if (bLongName && !bDeleted &&
        (btFirst & static_cast<unsigned char>(~FAT_LFN_LAST_PIECE)) > FAT_LFN_MAX_PIECES)
        return false;
    if (!bDeleted && bDirectory && u32Size != 0) return false;
    if (bLongName && wClusterLow != 0) return false;
    if (!bLongName) {
        if (!bVolumeLabel) {
            for (int i = 0; i < SHORT_NAME_TOTAL; ++i)
                if (IsForbiddenShortNameByte(pEntry[i])) return false;
        }
        if (!bDeleted && !bDirectory) {
            for (int nOffset : DATE_OFFSETS)
                if (!IsFatDatePlausible(ReadLe16(pEntry + nOffset))) return false;
        }
    }
    if (bVolumeLabel || bLongName || bDirectory) return true;
    // A plain file without the archive bit is not something a driver leaves behind.
    return (btAttr & FAT_ATTR_ARCHIVE) != 0;
}

// The look at the entry after pEntry: beyond the given bytes it counts as zeros.
const unsigned char* FollowingEntry(const unsigned char* pEntry, int nBytesAvailable) {
    return nBytesAvailable >= FAT_DIR_START_BYTES ? pEntry + FAT_DIR_ENTRY_BYTES : ZERO_ENTRY;
}

bool IsDirectoryStart(const unsigned char* pDot, const unsigned char* pDotDot) {
    if (!IsDotEntry(pDot, false) || !IsDotEntry(pDotDot, true)) return false;
    for (int nOffset : DATE_OFFSETS)
        if (!SameDecodedDate(ReadLe16(pDot + nOffset), ReadLe16(pDotDot + nOffset))) return false;
    return true;
}

bool IsValidEntryAt(const unsigned char* pEntry, int nBytesAvailable) {
    if (IsDirectoryStart(pEntry, FollowingEntry(pEntry, nBytesAvailable))) return true;
    return IsPlausibleEntryAlone(pEntry);
}

bool AllZero(const unsigned char* p, const unsigned char* pEnd) {
    for (; p < pEnd; ++p)
        if (*p != 0) return false;
    return true;
}

// Name and extension each space-padded at the end only, no control bytes or dots. Bytes of 0x80
// and above are characters of the volume's code page: single ones (CP437/850, "É" is 0x90) as
// well as two-byte ones (GB2312, Shift-JIS), so they are not judged.
bool IsCleanShortName(const unsigned char* pEntry) {
    for (int i = 0; i < SHORT_NAME_TOTAL; ++i)
        if (pEntry[i] < 0x20 || pEntry[i] == FAT_ENTRY_DOT) return false;
    const int aFieldEnds[2][2] = {{0, FAT_SHORT_NAME_BYTES}, {FAT_SHORT_NAME_BYTES, SHORT_NAME_TOTAL}};
    for (const auto& field : aFieldEnds) {
        bool bPadding = false;
        for (int i = field[0]; i < field[1]; ++i) {
            if (pEntry[i] == ' ')
                bPadding = true;
            else if (bPadding)
                return false;
        }
    }
    return true;
}

enum class LongNameVerdict { Reject, NoVerdict };

// Follows a long-name piece at index nIndex through the pieces after it to the short entry they
// name, checking that every piece carries the same checksum and that it matches the short name.
LongNameVerdict CheckLongNameChain(const unsigned char* pBuf, int nLen, int nEntries, int nIndex) {
    const unsigned char btCheckSum = pBuf[nIndex * FAT_DIR_ENTRY_BYTES + OFF_LFN_CHECKSUM];
    const int nLast = nIndex + FAT_LFN_MAX_PIECES < nEntries - 1 ? nIndex + FAT_LFN_MAX_PIECES
                                                                 : nEntries - 1;
    for (int j = nIndex + 1; j <= nLast; ++j) {
        const int nOffset = j * FAT_DIR_ENTRY_BYTES;
        const unsigned char* pNext = pBuf + nOffset;
        if (!IsValidEntryAt(pNext, nLen - nOffset)) return LongNameVerdict::Reject;
        if (pNext[OFF_ATTRIBUTE] == FAT_ATTR_LONG_NAME) {
            if (pNext[OFF_LFN_CHECKSUM] != btCheckSum) return LongNameVerdict::Reject;
            continue;
        }
        if (pNext[0] != FAT_ENTRY_DELETED && GetShortNameCheckSum(pNext) != btCheckSum)
            return LongNameVerdict::Reject;
        break;
    }
    return LongNameVerdict::NoVerdict;
}

}  // namespace

int IsFatFileRecord(const unsigned char* pBuf, int nLen) {
    if (pBuf == nullptr || nLen < FAT_DIR_START_BYTES) return 0;
    return IsDirectoryStart(pBuf, pBuf + FAT_DIR_ENTRY_BYTES) ? 1 : 0;
}

int IsFatEntyValid(const unsigned char* pEntry, int nBytesAvailable) {
    if (pEntry == nullptr || nBytesAvailable < FAT_DIR_ENTRY_BYTES) return 0;
    return IsValidEntryAt(pEntry, nBytesAvailable) ? 1 : 0;
}

int IsFatEntyValid(const FAT32_Entry* pEntry, int nEntries) {
    if (pEntry == nullptr || nEntries < 1) return 0;
    // Records of a packed array lie back to back, exactly as in the sector they came from.
    const int nBytes = nEntries > 2 ? FAT_DIR_START_BYTES : nEntries * FAT_DIR_ENTRY_BYTES;
    return IsFatEntyValid(reinterpret_cast<const unsigned char*>(pEntry), nBytes);
}

int IsFatFDTRecord(const unsigned char* pBuf, int nLen) {
    // No entry at all is no directory sector.
    if (pBuf == nullptr || nLen < FAT_DIR_ENTRY_BYTES) return 0;
    const int nEntries = nLen / FAT_DIR_ENTRY_BYTES;
    for (int i = 0; i < nEntries; ++i) {
        const int nOffset = i * FAT_DIR_ENTRY_BYTES;
        const unsigned char* pEntry = pBuf + nOffset;
        if (pEntry[0] == FAT_ENTRY_END_OF_DIR) {
            // A table never starts with its end, and nothing follows the end but zeros.
            if (i == 0) return 0;
            return AllZero(pEntry, pBuf + nLen) ? 1 : 0;
        }
        if (!IsValidEntryAt(pEntry, nLen - nOffset)) return 0;
        // Two halves repeating each other are a fill pattern, not an entry.
        if (memcmp(pEntry + 1, pEntry + 17, REPEAT_CHECK_BYTES) == 0) return 0;
        if (pEntry[OFF_ATTRIBUTE] == FAT_ATTR_LONG_NAME) {
            if (CheckLongNameChain(pBuf, nLen, nEntries, i) == LongNameVerdict::Reject) return 0;
        } else if (!IsCleanShortName(pEntry)) {
            return 0;
        }
    }
    return 1;
}

bool IsFatDirectorySector(const unsigned char* pSector, int nLen) {
    return IsFatFDTRecord(pSector, nLen) != 0 || IsFatFileRecord(pSector, nLen) != 0;
}

int CopyFatDirWithSlack(unsigned char* pDst, int nDstCapacity, const unsigned char* pSrc, int nLen) {
    if (pDst == nullptr || pSrc == nullptr || nLen < 0 || nDstCapacity < FAT_DIR_SLACK_BYTES ||
        nDstCapacity - FAT_DIR_SLACK_BYTES < nLen)
        return KR_ERROR_INVALID_PARAMETER;
    memmove(pDst, pSrc, static_cast<size_t>(nLen));
    memset(pDst + nLen, 0, FAT_DIR_SLACK_BYTES);
    return KR_SUCCESS;
}
