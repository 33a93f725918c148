#include "device/volume_label.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/partition_manager.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "util/text.h"

namespace {
struct LABELLED_VOLUME {
    const char* szFormat;  // command run on the image; %s is its path
    const char* szFileSystem;
    const char* szLabel;
};

std::string Format(const char* szCommand, const std::string& strImage) {
    std::string strOut = szCommand;
    return strOut.replace(strOut.find("%s"), 2, "'" + strImage + "'");
}
}  // namespace

// A stick formatted without a partition table is one volume from sector 0: the disk shows one
// partition over all of it, named after its file system and label, never rows read from boot code.
TEST(VolumeLabel, WholeDiskVolumesAreOnePartitionNamedAfterTheirFileSystemAndLabel) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("/usr/sbin/mkntfs") || !HaveTool("/usr/sbin/mkfs.ext4"))
        GTEST_SKIP() << "dosfstools, ntfs-3g or e2fsprogs missing";
    const LABELLED_VOLUME volumes[] = {
        {"/usr/sbin/mkfs.fat -F 12 -n FLOPPY %s", "FAT12", "FLOPPY"},
        {"/usr/sbin/mkfs.fat -F 16 -n 'MY CARD' %s", "FAT16", "MY CARD"},
        {"/usr/sbin/mkfs.fat -F 32 %s", "FAT32", ""},  // "NO NAME": no label given
        {"/usr/sbin/mkntfs -q -F -f -L 'Fotos Ä' %s", "NTFS", "Fotos Ä"},
        {"/usr/sbin/mkfs.ext4 -q -F -L home %s", "ext4", "home"},
        {"/usr/sbin/mkfs.ext2 -q -F %s", "ext2", ""},
    };
    CTempDir dir;
    for (const LABELLED_VOLUME& v : volumes) {
        SCOPED_TRACE(v.szFormat);
        const std::string strImage = dir.File("stick.img");
        unlink(strImage.c_str());
        ASSERT_TRUE(MakeZeroImage(strImage, 40LL << 20));
        ASSERT_TRUE(RunQuiet(Format(v.szFormat, strImage)));
        const int hDisk = open(strImage.c_str(), O_RDONLY);
        ASSERT_GE(hDisk, 0);
        VOLUME_DESCRIPTION volume;
        EXPECT_TRUE(DescribeVolumeAt(hDisk, 0, volume));
        EXPECT_EQ(volume.strFileSystem, v.szFileSystem);
        EXPECT_EQ(volume.strLabel, v.szLabel);
        std::vector<_PARTITION_ITEM_> vecItems;
        CPartitionManager().GetDiskPartitionItems(hDisk, 0, strImage.c_str(), vecItems);
        close(hDisk);
        ASSERT_EQ(vecItems.size(), 1u);
        EXPECT_EQ(vecItems[0].u64StartSector, 0u);
        EXPECT_EQ(vecItems[0].u64EndSector, (40ull << 20) / 512 - 1);
        EXPECT_EQ(Unicode2Path(GetPartitionName(vecItems[0]).c_str()), VolumeDisplayName(volume));
    }
}

TEST(VolumeLabel, DamagedNtfsNameRecordsGiveNoName) {
    std::vector<unsigned char> vecRecord(1024, 0);
    memcpy(vecRecord.data(), "FILE", 4);
    vecRecord[20] = 56;  // first attribute
    std::string strName = "kept";
    // An attribute whose length runs past the record, and one too short to hold its header.
    for (uint32_t u32Length : {2000u, 8u, 0u}) {
        vecRecord[56] = 0x60;
        vecRecord[60] = static_cast<unsigned char>(u32Length);
        vecRecord[61] = static_cast<unsigned char>(u32Length >> 8);
        EXPECT_FALSE(ReadNtfsVolumeName(vecRecord.data(), vecRecord.size(), strName)) << u32Length;
    }
    EXPECT_EQ(strName, "kept");
    EXPECT_FALSE(ReadNtfsVolumeName(vecRecord.data(), 40, strName));
}
