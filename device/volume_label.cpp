#include "device/volume_label.h"

#include <unistd.h>

#include <vector>

#include "device/volume_tests.h"
#include "util/le.h"
#include "util/text.h"

namespace {
constexpr uint32_t FAT12_MAX_CLUSTERS = 4085;
constexpr unsigned char FAT_EXTENDED_BOOT_SIGNATURE = 0x29;
constexpr size_t FAT_LABEL_BYTES = 11;
constexpr size_t EXT_LABEL_OFFSET = VOLUME_EXT_SUPERBLOCK_OFFSET + 120;
constexpr size_t EXT_LABEL_BYTES = 16;
constexpr uint32_t EXT_COMPAT_JOURNAL = 0x4;
constexpr uint32_t EXT_INCOMPAT_EXT4 = 0x40 | 0x80 | 0x200;  // extents, 64-bit, flexible groups
constexpr uint32_t NTFS_VOLUME_RECORD = 3;
constexpr uint32_t NTFS_ATTR_VOLUME_NAME = 0x60;
constexpr uint32_t NTFS_ATTR_END = 0xFFFFFFFF;
constexpr size_t NTFS_FIXUP_STRIDE = 512;

std::string TrimmedLabel(const unsigned char* p, size_t nLen) {
    std::string strRaw(reinterpret_cast<const char*>(p), nLen);
    strRaw = strRaw.substr(0, strRaw.find('\0'));
    while (!strRaw.empty() && strRaw.back() == ' ') strRaw.pop_back();
    return strRaw;
}

void DescribeFat(const unsigned char* p, VOLUME_DESCRIPTION& out) {
    const uint32_t u32Bps = ReadLe16(p + 11), u32Spc = p[13], u32Reserved = ReadLe16(p + 14), u32Fats = p[16];
    const uint32_t u32FatSectors16 = ReadLe16(p + 22);
    size_t nLabelOffset = 0;
    if (u32FatSectors16 == 0) {
        out.strFileSystem = "FAT32";
        if (p[66] == FAT_EXTENDED_BOOT_SIGNATURE) nLabelOffset = 71;
    } else {
        const uint32_t u32Total = ReadLe16(p + 19) != 0 ? ReadLe16(p + 19) : ReadLe32(p + 32);
        const uint32_t u32RootSectors = u32Bps == 0 ? 0 : (ReadLe16(p + 17) * 32u + u32Bps - 1) / u32Bps;
        const uint64_t u64Data = u32Reserved + static_cast<uint64_t>(u32Fats) * u32FatSectors16 + u32RootSectors;
        const uint64_t u64Clusters = u32Spc == 0 || u32Total < u64Data ? 0 : (u32Total - u64Data) / u32Spc;
        out.strFileSystem = u64Clusters < FAT12_MAX_CLUSTERS ? "FAT12" : "FAT16";
        if (p[38] == FAT_EXTENDED_BOOT_SIGNATURE) nLabelOffset = 43;
    }
    if (nLabelOffset == 0) return;
    std::string strLabel = TrimmedLabel(p + nLabelOffset, FAT_LABEL_BYTES);
    // What formatting tools write when no label was asked for.
    if (strLabel == "NO NAME") return;
    // Labels are in the volume's 8-bit code page.
    out.strLabel = Unicode2Path(Ansi2Unicode(strLabel.c_str()).c_str());
}

void DescribeExt(const unsigned char* p, VOLUME_DESCRIPTION& out) {
    const unsigned char* pSuper = p + VOLUME_EXT_SUPERBLOCK_OFFSET;
    if ((ReadLe32(pSuper + 96) & EXT_INCOMPAT_EXT4) != 0)
        out.strFileSystem = "ext4";
    else
        out.strFileSystem = (ReadLe32(pSuper + 92) & EXT_COMPAT_JOURNAL) != 0 ? "ext3" : "ext2";
    out.strLabel = TrimmedLabel(p + EXT_LABEL_OFFSET, EXT_LABEL_BYTES);
}
}  // namespace

bool DescribeVolumeHead(const unsigned char* pHead, size_t nLen, VOLUME_DESCRIPTION& out) {
    out = VOLUME_DESCRIPTION();
    if (pHead == nullptr || nLen < VOLUME_BOOT_SECTOR_BYTES) return false;
    // The tests only read; they take non-const pointers for the engines' sake.
    unsigned char* p = const_cast<unsigned char*>(pHead);
    if (IsBitlockerDBR(p)) {
        out.strFileSystem = "BitLocker";
    } else if (IsNtfs(p)) {
        out.strFileSystem = "NTFS";
    } else if (IsFat(p)) {
        DescribeFat(pHead, out);
    } else if (nLen >= VOLUME_HEAD_BYTES && IsExt(p)) {
        DescribeExt(pHead, out);
    } else {
        return false;
    }
    return true;
}

bool NtfsVolumeRecordOffset(const unsigned char* pHead, size_t nLen, uint64_t& u64Offset) {
    if (pHead == nullptr || nLen < VOLUME_BOOT_SECTOR_BYTES || !IsNtfs(const_cast<unsigned char*>(pHead))) return false;
    const uint64_t u64ClusterBytes = static_cast<uint64_t>(ReadLe16(pHead + 11)) * pHead[13];
    const int8_t nRecordField = static_cast<int8_t>(pHead[64]);
    // A positive field counts clusters, a negative one is a power of two in bytes.
    const uint64_t u64RecordBytes = nRecordField > 0 ? nRecordField * u64ClusterBytes
                                    : (nRecordField < 0 && nRecordField > -32) ? (1ull << -nRecordField) : 0;
    const uint64_t u64MftCluster = ReadLe64(pHead + 48);
    if (u64ClusterBytes == 0 || u64RecordBytes == 0 || u64MftCluster > (UINT64_MAX / 2) / u64ClusterBytes) return false;
    u64Offset = u64MftCluster * u64ClusterBytes + NTFS_VOLUME_RECORD * u64RecordBytes;
    return true;
}

bool ReadNtfsVolumeName(const unsigned char* pRecord, size_t nLen, std::string& strName) {
    if (pRecord == nullptr || nLen < 48 || ReadLe32(pRecord) != 0x454C4946) return false;  // "FILE"
    std::vector<unsigned char> vecRecord(pRecord, pRecord + nLen);
    unsigned char* p = vecRecord.data();
    // Undo the update sequence: the last word of each sector was swapped for its number.
    const size_t nUsaOffset = ReadLe16(p + 4), nUsaCount = ReadLe16(p + 6);
    for (size_t i = 1; i < nUsaCount; ++i) {
        const size_t nSaved = nUsaOffset + 2 * i, nTarget = i * NTFS_FIXUP_STRIDE - 2;
        if (nSaved + 2 > nLen || nTarget + 2 > nLen) break;
        p[nTarget] = p[nSaved];
        p[nTarget + 1] = p[nSaved + 1];
    }
    for (size_t nOffset = ReadLe16(p + 20); nOffset + 24 <= nLen;) {
        const uint32_t u32Type = ReadLe32(p + nOffset), u32Length = ReadLe32(p + nOffset + 4);
        if (u32Type == NTFS_ATTR_END || u32Length < 24 || u32Length > nLen - nOffset) return false;
        if (u32Type == NTFS_ATTR_VOLUME_NAME && p[nOffset + 8] == 0) {
            const uint32_t u32ValueLength = ReadLe32(p + nOffset + 16), u32ValueOffset = ReadLe16(p + nOffset + 20);
            if (u32ValueOffset > u32Length || u32ValueLength > u32Length - u32ValueOffset) return false;
            strName = Unicode2Path(DecodeUtf16Le(p + nOffset + u32ValueOffset, u32ValueLength / 2).c_str());
            return true;
        }
        nOffset += u32Length;
    }
    return false;
}

bool DescribeVolumeAt(int hDisk, uint64_t u64Offset, VOLUME_DESCRIPTION& out) {
    std::vector<unsigned char> vecHead(VOLUME_HEAD_BYTES, 0);
    const ssize_t nGot = pread(hDisk, vecHead.data(), vecHead.size(), static_cast<off_t>(u64Offset));
    if (nGot <= 0 || !DescribeVolumeHead(vecHead.data(), static_cast<size_t>(nGot), out)) return false;
    uint64_t u64Record = 0;
    if (out.strFileSystem == "NTFS" && NtfsVolumeRecordOffset(vecHead.data(), vecHead.size(), u64Record)) {
        std::vector<unsigned char> vecRecord(VOLUME_NTFS_RECORD_BYTES, 0);
        const ssize_t nRecord =
            pread(hDisk, vecRecord.data(), vecRecord.size(), static_cast<off_t>(u64Offset + u64Record));
        if (nRecord > 0) ReadNtfsVolumeName(vecRecord.data(), static_cast<size_t>(nRecord), out.strLabel);
    }
    return true;
}

std::string VolumeDisplayName(const VOLUME_DESCRIPTION& volume) {
    return volume.strLabel.empty() ? volume.strFileSystem : volume.strFileSystem + " " + volume.strLabel;
}
