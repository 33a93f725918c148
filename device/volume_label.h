#pragma once
// What a volume says about itself: the kind of file system and the label it was given, as
// `mkfs -n`, `mkntfs -L` or `mkfs.ext4 -L` wrote it. Shown beside partitions so a user can tell
// the card from the disk; nothing here decides how a volume is scanned.
#include <cstddef>
#include <cstdint>
#include <string>

// Bytes of a volume's start that DescribeVolumeHead looks at (boot sector and ext superblock).
constexpr size_t VOLUME_HEAD_BYTES = 4096;
// Bytes of the NTFS $Volume record read for its name.
constexpr size_t VOLUME_NTFS_RECORD_BYTES = 1024;

struct VOLUME_DESCRIPTION {
    std::string strFileSystem;  // "FAT12", "FAT16", "FAT32", "NTFS", "ext2", "ext3", "ext4", "BitLocker"
    std::string strLabel;       // UTF-8, trailing blanks removed; empty when none was given
};

// From the first nLen bytes of a volume (at least VOLUME_HEAD_BYTES for an ext volume). False
// when they hold no volume this program knows. An NTFS label lives in the $Volume record: see
// NtfsVolumeRecordOffset and ReadNtfsVolumeName.
bool DescribeVolumeHead(const unsigned char* pHead, size_t nLen, VOLUME_DESCRIPTION& out);
// Byte offset of the NTFS $Volume record (MFT record 3) from the volume start, by the boot sector
// in pHead; false when it cannot tell.
bool NtfsVolumeRecordOffset(const unsigned char* pHead, size_t nLen, uint64_t& u64Offset);
// The volume name held by a $Volume record of nLen bytes (fixed up here, on a copy). False when
// the record holds none.
bool ReadNtfsVolumeName(const unsigned char* pRecord, size_t nLen, std::string& strName);

// Reads the head of the volume at byte u64Offset of the open disk or image hDisk (and its $Volume
// record for NTFS). False when nothing known is there or it cannot be read.
bool DescribeVolumeAt(int hDisk, uint64_t u64Offset, VOLUME_DESCRIPTION& out);
// "FAT32 CARD", or the file system alone without a label.
std::string VolumeDisplayName(const VOLUME_DESCRIPTION& volume);
