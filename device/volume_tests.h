#pragma once
// Pure tests of what kind of volume starts in a buffer. They read only the bytes named below,
// keep no state and never write to the buffer; a null pointer is never a volume.

// IsNtfs, IsFat and IsBitlockerDBR read the first 512 bytes (the boot sector).
constexpr int VOLUME_BOOT_SECTOR_BYTES = 512;
// IsExt reads the superblock at byte 1024 up to its first-inode field: 1112 bytes in all.
constexpr int VOLUME_EXT_SUPERBLOCK_OFFSET = 1024;
constexpr int VOLUME_EXT_TEST_BYTES = 1112;

bool IsNtfs(unsigned char* pBuf);
bool IsFat(unsigned char* pBuf);
bool IsExt(unsigned char* pBuf);
bool IsBitlockerDBR(unsigned char* pBuf);
