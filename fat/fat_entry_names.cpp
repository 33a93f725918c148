#include "fat/fat_entry_names.h"

#include <cstring>
#include <string>

#include "fat/fat_names.h"
#include "util/le.h"
#include "util/text.h"

void BuildFatShortName(const FAT32_Entry& entry, char* szOut) {
    char szName[FAT_SHORT_NAME_BYTES + 1] = {};
    char szExt[FAT_SHORT_EXT_BYTES + 1] = {};
    memcpy(szName, entry.szName, FAT_SHORT_NAME_BYTES);
    memcpy(szExt, entry.szExtName, FAT_SHORT_EXT_BYTES);
    EraseStringTailBlankChar(szName, FAT_SHORT_NAME_BYTES);
    EraseStringTailBlankChar(szExt, FAT_SHORT_EXT_BYTES);
    // Short names are stored upper-case; the volume marks the parts shown in lower case.
    if (entry.btNTReserved & FAT_CASE_LOWER_BASE) Convert2Lowercase(szName);
    if (entry.btNTReserved & FAT_CASE_LOWER_EXT) Convert2Lowercase(szExt);
    // Name bytes may be NUL inside damaged entries: the copies above stop the name there.
    strcpy(szOut, szName);
    if (entry.szExtName[0] != ' ') {
        strcat(szOut, ".");
        strcat(szOut, szExt);
    }
}

bool IsFatDotName(const char* szName) {
    return strcmp(szName, ".") == 0 || strcmp(szName, "..") == 0;
}

bool CFatLongNameCollector::AddPiece(const unsigned char* pEntry) {
    if (m_nPos - FAT_LFN_UNITS_PER_ENTRY < 1) return false;
    m_nPos -= FAT_LFN_UNITS_PER_ENTRY;
    static const int s_anUnitOffsets[FAT_LFN_UNITS_PER_ENTRY] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int i = 0; i < FAT_LFN_UNITS_PER_ENTRY; ++i) m_awName[m_nPos + i] = ReadLe16(pEntry + s_anUnitOffsets[i]);
    m_btCheckSum = pEntry[13];
    return true;
}

void CFatLongNameCollector::GetName(char* szOut, int nCapacity) const {
    if (szOut == nullptr || nCapacity <= 0) return;
    std::wstring wstrName;
    for (int i = m_nPos; i < FAT_LONG_NAME_UNITS && m_awName[i] != 0; ++i) {
        const uint32_t u32Unit = m_awName[i];
        if (u32Unit >= 0xD800 && u32Unit < 0xDC00 && i + 1 < FAT_LONG_NAME_UNITS && m_awName[i + 1] >= 0xDC00 &&
            m_awName[i + 1] < 0xE000) {
            wstrName += static_cast<wchar_t>(0x10000 + ((u32Unit - 0xD800) << 10) + (m_awName[i + 1] - 0xDC00));
            ++i;
        } else if (u32Unit >= 0xD800 && u32Unit < 0xE000) {
            wstrName += static_cast<wchar_t>(0xFFFD);
        } else {
            wstrName += static_cast<wchar_t>(u32Unit);
        }
    }
    Unicode2Ansi(wstrName.c_str(), szOut, nCapacity);
}
