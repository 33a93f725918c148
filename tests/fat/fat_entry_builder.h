#pragma once
// Builds directory entries byte by byte for the FAT recognition tests.
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fat/fat_names.h"
#include "util/le.h"

using FatBytes = std::vector<unsigned char>;

inline uint16_t MakeFatDate(int nYear, int nMonth, int nDay) {
    return static_cast<uint16_t>(((nYear - 1980) << 9) | (nMonth << 5) | nDay);
}

struct FatEntryBytes {
    std::array<unsigned char, 32> ab{};

    // A live file "NAME.EXT" (11 bytes, space-padded), archive bit, dates of 2015-06-15.
    static FatEntryBytes File(const char* szName11, uint32_t u32Size = 100, uint16_t wCluster = 5) {
        FatEntryBytes e;
        memcpy(e.ab.data(), szName11, 11);
        e.ab[11] = 0x20;
        e.SetDates(MakeFatDate(2015, 6, 15));
        WriteLe16(&e.ab[26], wCluster);
        WriteLe32(&e.ab[28], u32Size);
        return e;
    }
    static FatEntryBytes Directory(const char* szName11, uint16_t wCluster = 7) {
        FatEntryBytes e = File(szName11, 0, wCluster);
        e.ab[11] = 0x10;
        return e;
    }
    // One long-name piece carrying nOrder (with 0x40 for the last piece) and a checksum.
    static FatEntryBytes LongName(unsigned char btOrder, unsigned char btCheckSum, char cFill = 'a') {
        FatEntryBytes e;
        e.ab[0] = btOrder;
        for (int nOffset : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) {
            e.ab[nOffset] = static_cast<unsigned char>(cFill);
            cFill = static_cast<char>(cFill + 1);
        }
        e.ab[11] = 0x0F;
        e.ab[13] = btCheckSum;
        return e;
    }

    FatEntryBytes& SetDates(uint16_t wDate) {
        for (int nOffset : {16, 18, 24}) WriteLe16(&ab[nOffset], wDate);
        return *this;
    }
    FatEntryBytes& SetAttr(unsigned char btAttr) {
        ab[11] = btAttr;
        return *this;
    }
    FatEntryBytes& SetByte(int nOffset, unsigned char b) {
        ab[nOffset] = b;
        return *this;
    }
    FatEntryBytes& Delete() { return SetByte(0, 0xE5); }
    unsigned char CheckSum() const { return GetShortNameCheckSum(ab.data()); }
};

// Entries back to back, then zero bytes up to nTotal (0: no padding).
inline FatBytes JoinEntries(const std::vector<FatEntryBytes>& vEntries, size_t nTotal = 0) {
    FatBytes v;
    for (const FatEntryBytes& e : vEntries) v.insert(v.end(), e.ab.begin(), e.ab.end());
    if (v.size() < nTotal) v.resize(nTotal, 0);
    return v;
}
