#include "device/volume_tests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "fixtures/temp_dir.h"

namespace {

// Buffers are exactly as long as a test reads, so the sanitizer build catches any overread.
using Bytes = std::vector<unsigned char>;
struct Field {
    int nOffset;
    int nSize;
    uint64_t u64Value;  // little-endian
};

Bytes Put(Bytes v, std::initializer_list<Field> fields) {
    for (const Field& f : fields)
        for (int i = 0; i < f.nSize; ++i) v.at(f.nOffset + i) = static_cast<unsigned char>(f.u64Value >> (8 * i));
    return v;
}
Bytes Text(Bytes v, int nOffset, const char* sz) {
    memcpy(&v.at(nOffset), sz, strlen(sz));
    return v;
}
constexpr int SB = VOLUME_EXT_SUPERBLOCK_OFFSET;

const Bytes FAT16 = Put(Text(Bytes(VOLUME_BOOT_SECTOR_BYTES), 54, "FAT16   "),
                        {{11, 2, 512}, {13, 1, 4}, {14, 2, 4}, {16, 1, 2}, {17, 2, 512}, {19, 2, 20000},
                         {21, 1, 0xF8}, {22, 2, 20}, {510, 2, 0xAA55}});
const Bytes FAT32 = Put(Text(FAT16, 82, "FAT32   "),
                        {{14, 2, 32}, {17, 2, 0}, {19, 2, 0}, {22, 2, 0}, {32, 4, 1000000}, {36, 4, 1000}});
// Formatters leave 0x00800080 where FAT32 keeps its sectors per FAT.
const Bytes NTFS = Put(Text(Bytes(VOLUME_BOOT_SECTOR_BYTES), 3, "NTFS    "),
                       {{11, 2, 512}, {13, 1, 8}, {21, 1, 0xF8}, {36, 4, 0x800080}, {40, 8, 1000000}, {510, 2, 0xAA55}});
// 4 KiB blocks, three groups of 32768 blocks and 8192 inodes.
const Bytes EXT4K = Put(Bytes(VOLUME_EXT_TEST_BYTES), {{SB + 0, 4, 24576}, {SB + 4, 4, 98304}, {SB + 24, 1, 2},
                                                      {SB + 32, 4, 32768}, {SB + 40, 4, 8192}, {SB + 56, 2, 0xEF53},
                                                      {SB + 84, 4, 11}});
// 1 KiB blocks: one group of 8192 blocks, data from block 1.
const Bytes EXT1K = Put(EXT4K, {{SB + 0, 4, 2048}, {SB + 4, 4, 8192}, {SB + 20, 4, 1}, {SB + 24, 1, 0},
                                {SB + 32, 4, 8192}, {SB + 40, 4, 2048}});
const Bytes ENCRYPTED_TAIL = Put(Text(Text(FAT16, 480, "xxxxxxxx"), 488, std::string(19, '\xFF').c_str()),
                                 {{507, 3, 0x2C1F00}});

TEST(VolumeTests, BaselinesAndNull) {
    EXPECT_TRUE(IsFat(Bytes(FAT16).data()));
    EXPECT_TRUE(IsFat(Bytes(FAT32).data()));
    EXPECT_TRUE(IsNtfs(Bytes(NTFS).data()));
    EXPECT_FALSE(IsFat(Bytes(NTFS).data()));
    EXPECT_TRUE(IsExt(Bytes(EXT4K).data()));
    EXPECT_TRUE(IsExt(Bytes(EXT1K).data()));
    EXPECT_FALSE(IsNtfs(nullptr) || IsFat(nullptr) || IsExt(nullptr) || IsBitlockerDBR(nullptr));
}

TEST(FatTest, BytesPerSectorMustBeANonZeroMultipleOf512) {
    for (uint64_t u : {512, 1024, 2048, 4096}) EXPECT_TRUE(IsFat(Put(FAT16, {{11, 2, u}}).data())) << u;
    for (uint64_t u : {0, 256, 520, 1000}) EXPECT_FALSE(IsFat(Put(FAT16, {{11, 2, u}}).data())) << u;
}

TEST(FatTest, SectorsPerClusterIsAPowerOfTwoUpTo64) {
    for (uint64_t n = 0; n <= 255; ++n) {
        bool bAllowed = n != 0 && n <= 64 && (n & (n - 1)) == 0;
        EXPECT_EQ(bAllowed, IsFat(Put(FAT16, {{13, 1, n}}).data())) << n;
        EXPECT_EQ(bAllowed, IsFat(Put(FAT32, {{13, 1, n}}).data())) << n;
    }
}

TEST(FatTest, EachFormNeedsItsOwnFields) {
    Bytes vNoLabel = Text(FAT32, 82, "FAT16   ");
    EXPECT_FALSE(IsFat(vNoLabel.data()));                         // no label, no 16-bit sectors per FAT
    EXPECT_TRUE(IsFat(Put(vNoLabel, {{22, 2, 1000}}).data()));    // but then the FAT12/16 form holds
    EXPECT_FALSE(IsFat(Put(FAT32, {{32, 4, 0}, {19, 2, 60000}}).data()));  // FAT32 wants the 32-bit total
    for (int nOffset : {16, 510, 511}) {  // no FATs, no signature
        EXPECT_FALSE(IsFat(Put(FAT16, {{nOffset, 1, 0}}).data())) << nOffset;
        EXPECT_FALSE(IsFat(Put(FAT32, {{nOffset, 1, 0}}).data())) << nOffset;
    }
}

TEST(FatTest, ClusterCountLimitAndWrap) {
    // One sector per cluster and one FAT: the count is total - 32 - 1000.
    Bytes v = Put(FAT32, {{13, 1, 1}, {16, 1, 1}});
    EXPECT_TRUE(IsFat(Put(v, {{32, 4, 0x0FFFFFEFu + 1032}}).data()));
    EXPECT_FALSE(IsFat(Put(v, {{32, 4, 0x0FFFFFF0u + 1032}}).data()));
    EXPECT_FALSE(IsFat(Put(FAT16, {{19, 2, 40}}).data()));  // below reserved + FATs: wraps
}

TEST(FatTest, EncryptedBootSectorsAreNotFat) {
    for (const Bytes& v : {ENCRYPTED_TAIL, Text(FAT32, 3, "-FVE-FS-")}) {
        EXPECT_TRUE(IsBitlockerDBR(Bytes(v).data()));
        EXPECT_FALSE(IsFat(Bytes(v).data()));
    }
    // Any byte of the pattern changed: an ordinary FAT sector again.
    for (int nOffset : {480, 487, 488, 506, 507, 508, 509}) {
        Bytes v = ENCRYPTED_TAIL;
        v[nOffset] ^= 0x01;
        EXPECT_FALSE(IsBitlockerDBR(v.data())) << nOffset;
        EXPECT_TRUE(IsFat(v.data())) << nOffset;
    }
}

TEST(NtfsTest, BootSectorRules) {
    // The media byte is ignored, bytes per sector 0 passes, and the total is read as 64 bits.
    for (Field f : {Field{21, 1, 0}, {21, 1, 0x12}, {11, 2, 0}, {11, 2, 4096}, {40, 8, 1ull << 32}})
        EXPECT_TRUE(IsNtfs(Put(NTFS, {f}).data())) << f.nOffset << "=" << f.u64Value;
    for (Field f : {Field{13, 1, 128}, {13, 1, 3}, {11, 2, 520}, {14, 2, 1}, {40, 8, 0}, {10, 1, 'X'}, {511, 1, 0}})
        EXPECT_FALSE(IsNtfs(Put(NTFS, {f}).data())) << f.nOffset << "=" << f.u64Value;
    for (int nOffset : {16, 17, 18, 19, 20, 22, 23, 32, 33, 34, 35})
        EXPECT_FALSE(IsNtfs(Put(NTFS, {{nOffset, 1, 1}}).data())) << nOffset;
}

TEST(ExtTest, FirstDataBlockFollowsTheBlockSize) {
    // Only 1 KiB blocks (exponent 0, taken modulo 32) start data at block 1.
    for (uint64_t u : {0, 32}) {
        EXPECT_TRUE(IsExt(Put(EXT1K, {{SB + 24, 1, u}}).data())) << u;
        EXPECT_FALSE(IsExt(Put(EXT1K, {{SB + 24, 1, u}, {SB + 20, 4, 0}}).data())) << u;
    }
    for (uint64_t u : {1, 2, 6, 16}) {
        EXPECT_TRUE(IsExt(Put(EXT4K, {{SB + 24, 1, u}}).data())) << u;
        EXPECT_FALSE(IsExt(Put(EXT4K, {{SB + 24, 1, u}, {SB + 20, 4, 1}}).data())) << u;
    }
}

TEST(ExtTest, CountsMustBeConsistent) {
    // Magic, each zero count, first inode too small or not below the inode count, and inode or
    // block counts describing another number of groups.
    for (Field f : {Field{SB + 56, 2, 0xEF54}, {SB + 0, 4, 0}, {SB + 4, 4, 0}, {SB + 32, 4, 0}, {SB + 40, 4, 0},
                    {SB + 84, 4, 2}, {SB + 84, 4, 24576}, {SB + 0, 4, 16384}, {SB + 4, 4, 131072}})
        EXPECT_FALSE(IsExt(Put(EXT4K, {f}).data())) << f.nOffset << "=" << f.u64Value;
    EXPECT_TRUE(IsExt(Put(EXT4K, {{SB + 84, 4, 3}}).data()));
}

// Real volumes from the real formatters; every "%s" is the image path.
struct Image {
    const char* szName;
    const char* szTool;
    const char* szMake;
    char cKind;  // 'F' FAT, 'N' NTFS, 'E' ext
};
class RealImageTest : public ::testing::TestWithParam<Image> {};

TEST_P(RealImageTest, OnlyTheRightTestAccepts) {
    const Image& img = GetParam();
    if (!HaveTool(img.szTool)) GTEST_SKIP() << img.szTool << " is not installed";
    CTempDir dir;
    std::string strPath = dir.File("volume.img"), strCommand = img.szMake;
    for (size_t nAt; (nAt = strCommand.find("%s")) != std::string::npos;) strCommand.replace(nAt, 2, strPath);
    ASSERT_TRUE(RunQuiet(strCommand)) << strCommand;
    Bytes v(16384);
    std::ifstream file(strPath, std::ios::binary);
    ASSERT_TRUE(file.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(v.size())));
    EXPECT_EQ(img.cKind == 'F', IsFat(v.data()));
    EXPECT_EQ(img.cKind == 'N', IsNtfs(v.data()));
    EXPECT_EQ(img.cKind == 'E', IsExt(v.data()));
    EXPECT_FALSE(IsBitlockerDBR(v.data()));
    if (img.cKind == 'F') {
        EXPECT_EQ(strstr(img.szName, "32") != nullptr, memcmp(&v[82], "FAT32   ", 8) == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formatters, RealImageTest,
    ::testing::Values(
        Image{"fat12", "/usr/sbin/mkfs.vfat", "/usr/sbin/mkfs.vfat -F 12 -C %s 4096", 'F'},
        Image{"fat16", "/usr/sbin/mkfs.vfat", "/usr/sbin/mkfs.vfat -F 16 -C %s 32768", 'F'},
        Image{"fat32", "/usr/sbin/mkfs.vfat", "/usr/sbin/mkfs.vfat -F 32 -C %s 65536", 'F'},
        Image{"fat16_4k", "/usr/sbin/mkfs.vfat", "/usr/sbin/mkfs.vfat -F 16 -S 4096 -C %s 65536", 'F'},
        Image{"ntfs", "/usr/sbin/mkntfs", "truncate -s 16M %s && /usr/sbin/mkntfs -F -Q -q %s", 'N'},
        Image{"ext4", "/usr/sbin/mkfs.ext4", "truncate -s 64M %s && /usr/sbin/mkfs.ext4 -F -q %s", 'E'},
        Image{"ext2_1k", "/usr/sbin/mkfs.ext2", "truncate -s 8M %s && /usr/sbin/mkfs.ext2 -F -q -b 1024 %s", 'E'}),
    [](const ::testing::TestParamInfo<Image>& info) { return std::string(info.param.szName); });

}  // namespace
