#include "device/volume_tests.h"

#include <cstdint>
#include <cstring>

#include "util/le.h"

namespace {

// Both FAT and NTFS take powers of two up to 64 sectors per cluster; 128 is refused by both.
bool IsAllowedSectorsPerCluster(unsigned char uSpc) {
    return uSpc != 0 && uSpc <= 64 && (uSpc & (uSpc - 1)) == 0;
}

bool HasBootSignature(const unsigned char* pBuf) {
    return pBuf[510] == 0x55 && pBuf[511] == 0xAA;
}

// What an encrypted volume leaves at offset 480 of its boot sector.
bool HasEncryptedTail(const unsigned char* pBuf) {
    const unsigned char* p = pBuf + 480;
    for (int i = 0; i < 8; ++i)
        if (p[i] != 0x78) return false;
    for (int i = 8; i < 27; ++i)
        if (p[i] != 0xFF) return false;
    return p[27] == 0x00 && p[28] == 0x1F && p[29] == 0x2C;
}

constexpr uint32_t FAT_MAX_CLUSTERS = 0x0FFFFFEF;

}  // namespace

bool IsBitlockerDBR(unsigned char* pBuf) {
    if (pBuf == nullptr) return false;
    return memcmp(pBuf + 3, "-FVE-FS-", 8) == 0 || HasEncryptedTail(pBuf);
}

bool IsFat(unsigned char* pBuf) {
    if (pBuf == nullptr) return false;
    // An encrypted volume keeps a FAT-looking header over ciphertext.
    if (IsBitlockerDBR(pBuf)) return false;

    const uint32_t u32BytesPerSector = ReadLe16(pBuf + 11);
    const uint32_t u32SectorsPerCluster = pBuf[13];
    const uint32_t u32Reserved = ReadLe16(pBuf + 14);
    const uint32_t u32FatCount = pBuf[16];
    const uint32_t u32RootEntries = ReadLe16(pBuf + 17);
    const uint32_t u32Total16 = ReadLe16(pBuf + 19);
    const uint32_t u32Fat16 = ReadLe16(pBuf + 22);
    const uint32_t u32Total32 = ReadLe32(pBuf + 32);
    const uint32_t u32Fat32 = ReadLe32(pBuf + 36);

    const uint32_t u32SectorsPerFat = u32Fat16 != 0 ? u32Fat16 : u32Fat32;
    const uint32_t u32TotalSectors = u32Total32 != 0 ? u32Total32 : u32Total16;

    if (u32BytesPerSector == 0 || u32BytesPerSector % 512 != 0 || u32SectorsPerCluster == 0)
        return false;

    const uint32_t u32RootSectors = (u32RootEntries * 32) / u32BytesPerSector;
    // Wraps on purpose: a volume smaller than its own metadata yields a huge count and is refused.
    const uint32_t u32Clusters =
        (u32TotalSectors - u32Reserved - u32SectorsPerFat * u32FatCount - u32RootSectors) /
        u32SectorsPerCluster;
    if (u32Clusters > FAT_MAX_CLUSTERS) return false;

    // Either layout is accepted whatever the cluster count; the engines pick the geometry.
    const bool bSpcAllowed = IsAllowedSectorsPerCluster(pBuf[13]);
    const bool bSignature = HasBootSignature(pBuf);
    const bool bFat1216 = u32FatCount != 0 && (u32Total16 != 0 || u32Total32 != 0) && bSpcAllowed &&
                          u32Fat16 != 0 && bSignature;
    const bool bFat32 = memcmp(pBuf + 82, "FAT32   ", 8) == 0 && u32FatCount != 0 && u32Total32 != 0 &&
                        bSpcAllowed && u32Fat32 != 0 && bSignature;
    return bFat1216 || bFat32;
}

bool IsNtfs(unsigned char* pBuf) {
    if (pBuf == nullptr) return false;
    if (memcmp(pBuf + 3, "NTFS    ", 8) != 0) return false;
    if (ReadLe16(pBuf + 11) % 512 != 0) return false;
    if (ReadLe16(pBuf + 14) != 0) return false;
    if (!IsAllowedSectorsPerCluster(pBuf[13])) return false;
    if (ReadLe64(pBuf + 40) == 0) return false;
    // Fields that only FAT uses must be zero; the media byte at 21 is left alone, since
    // formatters disagree on it.
    static const int s_nZeroOffsets[] = {16, 17, 18, 19, 20, 22, 23, 32, 33, 34, 35};
    for (int nOffset : s_nZeroOffsets)
        if (pBuf[nOffset] != 0) return false;
    return HasBootSignature(pBuf);
}

bool IsExt(unsigned char* pBuf) {
    if (pBuf == nullptr) return false;
    const unsigned char* pSb = pBuf + VOLUME_EXT_SUPERBLOCK_OFFSET;

    const uint32_t u32Inodes = ReadLe32(pSb + 0);
    const uint32_t u32Blocks = ReadLe32(pSb + 4);
    const uint32_t u32FirstDataBlock = ReadLe32(pSb + 20);
    const uint32_t u32LogBlockSize = pSb[24];
    const uint32_t u32BlocksPerGroup = ReadLe32(pSb + 32);
    const uint32_t u32InodesPerGroup = ReadLe32(pSb + 40);
    const uint32_t u32Magic = ReadLe16(pSb + 56);
    const uint32_t u32FirstInode = ReadLe32(pSb + 84);

    if (u32Magic != 0xEF53) return false;
    if (u32Blocks == 0 || u32Inodes == 0 || u32BlocksPerGroup == 0 || u32InodesPerGroup == 0)
        return false;
    if (u32FirstInode < 3) return false;
    // Inodes and blocks must describe the same number of block groups.
    if ((u32Inodes - 1) / u32InodesPerGroup != (u32Blocks - 1 - u32FirstDataBlock) / u32BlocksPerGroup)
        return false;
    // Only 1 KiB blocks leave block 0 to the boot area, so only they start data at block 1.
    const uint32_t u32BlockSize = 1024u << (u32LogBlockSize % 32);
    const uint32_t u32ExpectedFirst = u32BlockSize == 1024 ? 1 : 0;
    if (u32FirstDataBlock != u32ExpectedFirst) return false;
    return u32Inodes > u32FirstInode;
}
