#include "ntfs/ntfs_file_name.h"

#include "ntfs/ntfs_records.h"
#include "util/le.h"
#include "util/text.h"

namespace {
const uint32_t kOfsNameLength = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u8NameLength);
const wchar_t kReplacementChar = 0xFFFD;

bool IsHighSurrogate(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
}  // namespace

bool DecodeNtfsFileName(const unsigned char* pAttribute, uint32_t u32AttrLength, std::wstring& strName) {
    if (pAttribute == nullptr || u32AttrLength < NTFS_FILE_NAME_TEXT_OFFSET) return false;
    const uint32_t u32Units = pAttribute[kOfsNameLength];
    if (NTFS_FILE_NAME_TEXT_OFFSET + 2 * u32Units > u32AttrLength) return false;
    const unsigned char* pText = pAttribute + NTFS_FILE_NAME_TEXT_OFFSET;
    std::wstring strOut;
    strOut.reserve(u32Units);
    for (uint32_t i = 0; i < u32Units; ++i) {
        const uint16_t u = ReadLe16(pText + 2 * i);
        if (IsHighSurrogate(u) && i + 1 < u32Units && IsLowSurrogate(ReadLe16(pText + 2 * (i + 1)))) {
            const uint16_t uLow = ReadLe16(pText + 2 * (i + 1));
            strOut += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (uLow - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            strOut += kReplacementChar;
        } else {
            strOut += static_cast<wchar_t>(u);
        }
    }
    strName.swap(strOut);
    return true;
}

void MakeNtfsNodeName(const std::wstring& strName, char* szOut, int nCapacity) {
    if (szOut == nullptr || nCapacity <= 0) return;
    std::wstring strSafe = strName;
    for (wchar_t& wc : strSafe)
        if (wc == L'/' || wc == 0) wc = L'_';
    if (strSafe == L"." || strSafe == L"..") strSafe = L"_";
    Unicode2Ansi(strSafe.c_str(), szOut, nCapacity);
}
