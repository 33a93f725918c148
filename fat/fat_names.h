#pragma once
// Short-name helpers shared by both FAT engines. Lower-casing lives in util/text.h
// (Convert2Lowercase, GetCharLowerA).
#include <cstdint>

// The checksum a long-name chain carries of the 11 bytes of its short entry (name then
// extension): rotate the sum right by one bit, add the next byte, all modulo 256.
uint8_t GetShortNameCheckSum(const unsigned char* pShortName11);

// Turns the trailing spaces of the nLen bytes at sz into NULs, stopping at the first byte from
// the end that is not a space. Null or nLen <= 0 does nothing.
void EraseStringTailBlankChar(char* sz, int nLen);
