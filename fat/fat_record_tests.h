#pragma once
// Recognition of FAT directory sectors in raw bytes: the first sector of a directory ("." then
// ".."), one plausible entry, and a sector of a directory table. Pure functions: they read only
// the bytes they are given, keep no state and never write.
//
// Bounds: every test takes the number of readable bytes and never looks past them. Judging an
// entry includes a look at the entry after it (a "." entry followed by ".." is valid whatever
// else it holds); when that entry lies beyond the given bytes it counts as 32 zero bytes, which
// is exactly what a buffer with FAT_DIR_SLACK_BYTES of zeroed slack would show. So a caller may
// pass a bare sector, or a sector copied with CopyFatDirWithSlack: the answers are the same.
#include "fat/fat_records.h"

// Zeroed bytes kept after a directory buffer by callers that hand whole buffers around.
constexpr int FAT_DIR_SLACK_BYTES = FAT_DIR_ENTRY_BYTES;
// Bytes IsFatFileRecord judges: the "." and ".." entries.
constexpr int FAT_DIR_START_BYTES = 2 * FAT_DIR_ENTRY_BYTES;

// 1 when pBuf starts with a "." directory entry followed by a ".." directory entry, both of size
// 0 and with equal dates. nLen counts the readable bytes; fewer than FAT_DIR_START_BYTES, or a
// null pointer, give 0.
int IsFatFileRecord(const unsigned char* pBuf, int nLen);

// 1 when the 32 bytes at pEntry look like a directory entry a FAT driver could have written.
// nBytesAvailable counts the readable bytes from pEntry on (the entry itself and what follows
// it in its buffer); fewer than FAT_DIR_ENTRY_BYTES, or a null pointer, give 0.
int IsFatEntyValid(const unsigned char* pEntry, int nBytesAvailable);
// The same for entries held as records: nEntries counts pEntry and the records after it in the
// same array (1 for a lone record, whose follower then counts as zero bytes).
int IsFatEntyValid(const FAT32_Entry* pEntry, int nEntries = 1);

// 1 when the nLen bytes at pBuf (nLen / 32 entries; one sector in practice) read as a sector of
// a directory table holding ordinary entries: valid entries, consistent long-name chains, clean
// short names, and after an end-of-directory entry nothing but zeros. A "." or ".." entry makes
// it 0, as does an end marker in the first entry. Null, or nLen < 32, give 0.
int IsFatFDTRecord(const unsigned char* pBuf, int nLen);

// Either kind of directory sector: a directory's first sector or any other of its table. This is
// the test a carved file's walk stops at (CFileTypeJudge::SetDirectorySectorTest).
bool IsFatDirectorySector(const unsigned char* pSector, int nLen);

// Copies nLen bytes of pSrc into pDst and zeroes the FAT_DIR_SLACK_BYTES after them, for callers
// that keep directory buffers with slack. pDst must hold nDstCapacity >= nLen +
// FAT_DIR_SLACK_BYTES bytes. Returns 0, or 87 (KR_ERROR_INVALID_PARAMETER) for null pointers, a
// negative length or too small a destination (nothing is written then).
int CopyFatDirWithSlack(unsigned char* pDst, int nDstCapacity, const unsigned char* pSrc, int nLen);
