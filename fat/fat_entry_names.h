#pragma once
// Names of directory entries as both FAT engines build them: the short name of an entry, and a
// long name gathered from the long-name pieces in front of it.
#include <cstdint>

#include "fat/fat_records.h"

// Capacity of the names the engines build (that of _FILE_NODE_::szFileName).
constexpr int FAT_ENTRY_NAME_BYTES = 256;

// The short name: the 8 name bytes without trailing spaces, then "." and the extension without
// trailing spaces when the extension does not begin with a space. Each part is lower-cased
// (ASCII only) when the entry's case byte says so, and kept as stored otherwise.
// szOut must hold at least 13 bytes.
void BuildFatShortName(const FAT32_Entry& entry, char* szOut);

// True for the names of the "." and ".." entries.
bool IsFatDotName(const char* szName);

// Gathers long-name pieces from the last stored (nearest the end of the name) backwards into a
// 257-unit array, the way they appear in a directory: each piece goes in front of the ones
// before it. At most FAT_LONG_NAME_MAX_PIECES pieces fit.
constexpr int FAT_LONG_NAME_UNITS = 257;
constexpr int FAT_LONG_NAME_MAX_PIECES = (FAT_LONG_NAME_UNITS - 2) / FAT_LFN_UNITS_PER_ENTRY;  // 19

class CFatLongNameCollector {
public:
    void Reset() { m_nPos = FAT_LONG_NAME_UNITS - 1; }
    bool IsCollecting() const { return m_nPos != FAT_LONG_NAME_UNITS - 1; }
    // Adds the piece held by the 32 bytes at pEntry. False, adding nothing, when the name already
    // holds FAT_LONG_NAME_MAX_PIECES pieces.
    bool AddPiece(const unsigned char* pEntry);
    // btCheckSum of the piece added last.
    uint8_t CheckSum() const { return m_btCheckSum; }
    // The name read from the first unit of the first piece to the first 0 unit, as 8-bit text
    // (GB18030) of at most nCapacity - 1 bytes plus NUL. UTF-16 surrogate pairs are joined; a
    // lone surrogate becomes U+FFFD.
    void GetName(char* szOut, int nCapacity) const;

private:
    uint16_t m_awName[FAT_LONG_NAME_UNITS] = {};
    int m_nPos = FAT_LONG_NAME_UNITS - 1;
    uint8_t m_btCheckSum = 0;
};
