#pragma once
// One folder of a result store's folder-info file: which node holds the folder and its name.
// The file is a plain run of these records, so the layout is a file format.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/le.h"

#pragma pack(push, 1)
struct _DIR_FILE_INFO_ {
    uint32_t nDirIndex;     // the folder's identity in the file system (FAT cluster, MFT record)
    uint32_t nFileIndex;    // the folder's node number in the node file
    char szFileName[256];   // NUL-terminated 8-bit name
};
#pragma pack(pop)

static_assert(sizeof(_DIR_FILE_INFO_) == 264, "_DIR_FILE_INFO_ is a 264-byte file record");
static_assert(offsetof(_DIR_FILE_INFO_, nDirIndex) == 0, "_DIR_FILE_INFO_ layout");
static_assert(offsetof(_DIR_FILE_INFO_, nFileIndex) == 4, "_DIR_FILE_INFO_ layout");
static_assert(offsetof(_DIR_FILE_INFO_, szFileName) == 8, "_DIR_FILE_INFO_ layout");

constexpr size_t DIR_FILE_INFO_SIZE = sizeof(_DIR_FILE_INFO_);

// Decodes one record from DIR_FILE_INFO_SIZE file bytes. The name is always NUL-terminated
// afterwards, even when the bytes were not.
inline _DIR_FILE_INFO_ DecodeDirFileInfo(const unsigned char* pBytes) {
    _DIR_FILE_INFO_ info;
    info.nDirIndex = ReadLe32(pBytes + offsetof(_DIR_FILE_INFO_, nDirIndex));
    info.nFileIndex = ReadLe32(pBytes + offsetof(_DIR_FILE_INFO_, nFileIndex));
    memcpy(info.szFileName, pBytes + offsetof(_DIR_FILE_INFO_, szFileName), sizeof(info.szFileName));
    info.szFileName[sizeof(info.szFileName) - 1] = '\0';
    return info;
}

// Encodes one record into DIR_FILE_INFO_SIZE bytes.
inline void EncodeDirFileInfo(const _DIR_FILE_INFO_& info, unsigned char* pBytes) {
    WriteLe32(pBytes + offsetof(_DIR_FILE_INFO_, nDirIndex), info.nDirIndex);
    WriteLe32(pBytes + offsetof(_DIR_FILE_INFO_, nFileIndex), info.nFileIndex);
    memcpy(pBytes + offsetof(_DIR_FILE_INFO_, szFileName), info.szFileName, sizeof(info.szFileName));
}
