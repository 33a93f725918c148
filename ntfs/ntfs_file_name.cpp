#include "ntfs/ntfs_file_name.h"

#include "ntfs/ntfs_records.h"
#include "util/le.h"
#include "util/text.h"

namespace {
const uint32_t kOfsNameLength = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u8NameLength);
const uint32_t kOfsCreationTime = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64CreationTime);
const uint32_t kOfsWriteTime = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64ModificationTime);
const uint32_t kOfsAccessTime = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64AccessTime);
const uint32_t kOfsNameRealSize = NTFS_FILE_NAME_VALUE_OFFSET + offsetof(NTFS_FILE_NAME_VALUE, u64RealSize);

void SetFileTime(_FILETIME& ft, uint64_t u64Time) {
    ft.dwLowDateTime = static_cast<uint32_t>(u64Time);
    ft.dwHighDateTime = static_cast<uint32_t>(u64Time >> 32);
}
}  // namespace

bool DecodeNtfsFileName(const unsigned char* pAttribute, uint32_t u32AttrLength, std::wstring& strName) {
    if (pAttribute == nullptr || u32AttrLength < NTFS_FILE_NAME_TEXT_OFFSET) return false;
    const uint32_t u32Units = pAttribute[kOfsNameLength];
    if (NTFS_FILE_NAME_TEXT_OFFSET + 2 * u32Units > u32AttrLength) return false;
    std::wstring strOut = DecodeUtf16Le(pAttribute + NTFS_FILE_NAME_TEXT_OFFSET, u32Units);
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
