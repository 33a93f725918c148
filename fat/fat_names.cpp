#include "fat/fat_names.h"

#include "fat/fat_records.h"

uint8_t GetShortNameCheckSum(const unsigned char* pShortName11) {
    uint8_t u8Sum = 0;
    if (pShortName11 == nullptr) return u8Sum;
    for (int i = 0; i < FAT_SHORT_NAME_BYTES + FAT_SHORT_EXT_BYTES; ++i)
        u8Sum = static_cast<uint8_t>(((u8Sum & 1) << 7) + (u8Sum >> 1) + pShortName11[i]);
    return u8Sum;
}

void EraseStringTailBlankChar(char* sz, int nLen) {
    if (sz == nullptr) return;
    for (int i = nLen - 1; i >= 0 && sz[i] == ' '; --i) sz[i] = '\0';
}
