#include "ntfs/ntfs_file_name.h"

#include "ntfs/ntfs_records.h"
#include "util/le.h"
#include "util/text.h"

namespace {
const uint32_t kOfsNameLength = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u8NameLength);
const wchar_t kReplacementChar = 0xFFFD;
const uint32_t kOfsCreationTime = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64CreationTime);
const uint32_t kOfsWriteTime = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64ModificationTime);
const uint32_t kOfsAccessTime = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64AccessTime);
const uint32_t kOfsNameRealSize = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64RealSize);

bool IsHighSurrogate(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void SetFileTime(_FILETIME& ft, uint64_t u64Time) {
    ft.dwLowDateTime = static_cast<uint32_t>(u64Time);
    ft.dwHighDateTime = static_cast<uint32_t>(u64Time >> 32);
}
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

bool FillNodeFromNtfsFileName(const unsigned char* pAttribute, uint32_t u32AttrLength, _FILE_NODE_& node) {
    std::wstring strName;
    if (!DecodeNtfsFileName(pAttribute, u32AttrLength, strName)) return false;
    SetFileTime(node.ftCreationTime, ReadLe64(pAttribute + kOfsCreationTime));
    SetFileTime(node.ftLastWriteTime, ReadLe64(pAttribute + kOfsWriteTime));
    SetFileTime(node.ftLastAccessTime, ReadLe64(pAttribute + kOfsAccessTime));
    node.u64FileSize = ReadLe64(pAttribute + kOfsNameRealSize);
    MakeNtfsNodeName(strName, node.szFileName, sizeof(node.szFileName));
    return true;
}
