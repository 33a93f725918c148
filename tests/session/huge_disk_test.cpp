// A sparse 4 TiB disk whose GPT partitions start past 2^32 sectors: a FAT32 volume and an NTFS
// volume, each with deleted photos, and a photo to carve near the end of the disk. Only those
// areas are swept; every deleted photo comes back byte-exact under its name and from the right
// sectors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "fixtures/fat_image_walk.h"
#include "fixtures/media_samples.h"
#include "fixtures/ntfs3g_mount.h"
#include "fixtures/partition_images.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "session/recovery_session.h"

namespace {
constexpr int DISK_MIB = 4 << 20;                                  // 4 TiB
constexpr unsigned long long FAT_START = (1ull << 32) + 2048;       // just past 2 TiB
constexpr unsigned long long NTFS_START = 3ull << 31;               // 3 TiB
constexpr unsigned long long LOST_FAT_START = 7ull << 30;          // 3.5 TiB: the FAT copy without boot sectors
constexpr int VOLUME_MIB = 64;
constexpr unsigned long long VOLUME_SECTORS = VOLUME_MIB * 2048ull;
constexpr unsigned long long CARVED_AT = (4ull << 31) - 200000;    // 100 MB before the end

bool CopyInto(const std::string& strDisk, const std::string& strVolume, unsigned long long u64Sector) {
    const std::vector<unsigned char> vecBytes = ReadWholeFile(strVolume);
    const int hDisk = open(strDisk.c_str(), O_WRONLY);
    if (hDisk < 0 || vecBytes.empty()) return false;
    const bool bOk = pwrite(hDisk, vecBytes.data(), vecBytes.size(), static_cast<off_t>(u64Sector * 512)) ==
                     static_cast<ssize_t>(vecBytes.size());
    close(hDisk);
    return bOk;
}

// Scans an area, recovers every photo found and returns them by name with their bytes.
std::map<std::string, std::vector<unsigned char>> RecoverPhotos(const std::string& strDisk, const SESSION_AREA& area,
                                                                const std::string& strOut,
                                                                std::vector<__SEARCH_FILE_INFO__>& vecHits) {
    std::map<std::string, std::vector<unsigned char>> mapFiles;
    CRecoverySession session;
    if (session.OpenSource(strDisk) != SESSION_OK || session.ChooseArea(area) != SESSION_OK ||
        session.SetDestination(strOut, false) != SESSION_OK || session.Scan(SESSION_RESCAN) != SESSION_OK ||
        session.Search(FILE_CATEGORY_PHOTO, vecHits) != SESSION_OK || session.Recover(vecHits, false) != SESSION_OK)
        return mapFiles;
    for (const __SEARCH_FILE_INFO__& hit : vecHits)
        mapFiles[hit.szFileName] = ReadWholeFile(strOut + "/photo/" + hit.szFileName);
    return mapFiles;
}
}  // namespace

TEST(HugeDisk, VolumesPastTwoTebibytesAndACarvedFileNearTheEnd) {
    if (!HaveTool("/usr/sbin/mkfs.fat") || !HaveTool("mcopy") || !HaveTool("/usr/sbin/mkntfs") ||
        !HaveTool("/usr/sbin/sgdisk"))
        GTEST_SKIP() << "dosfstools, mtools, ntfs-3g or gdisk missing";
    CScopedAppHome home;
    CTempDir dir;
    const std::string strDisk = dir.File("disk.img");
    ASSERT_TRUE(MakeSgdiskImage(strDisk, DISK_MIB,
                                "-n 1:" + std::to_string(FAT_START) + ":+64M -t 1:0700 -n 2:" +
                                    std::to_string(NTFS_START) + ":+64M -t 2:0700 -n 3:" +
                                    std::to_string(LOST_FAT_START) + ":+64M -t 3:0700"));
    std::vector<MEDIA_BYTES> vecPhotos;
    for (uint32_t i = 0; i < 4; ++i) vecPhotos.push_back(MakeJpegFile(30000 + 7000 * i, 400 + i));

    // FAT32: two photos stay, two are deleted, in folders (which a lost boot sector's geometry
    // is inferred from).
    const std::string strFat = dir.File("fat.img");
    ASSERT_TRUE(MakeFatImage(strFat, 32, VOLUME_MIB));
    ASSERT_TRUE(RunMtools({"mmd", "-i", strFat, "::/DCIM", "::/DCIM/Trip"}));
    for (size_t i = 0; i < vecPhotos.size(); ++i) {
        // Long names: a deleted short name loses its first letter.
        const std::string strPhoto = dir.File("Holiday " + std::to_string(i) + ".jpg");
        ASSERT_TRUE(WriteWholeFile(strPhoto, vecPhotos[i].data(), vecPhotos[i].size()));
        ASSERT_TRUE(RunMtools({"mcopy", "-i", strFat, strPhoto, "::/DCIM/Trip/"}));
    }
    ASSERT_TRUE(RunMtools({"mdel", "-i", strFat, "::/DCIM/Trip/Holiday 1.jpg", "::/DCIM/Trip/Holiday 3.jpg"}));
    ASSERT_TRUE(CopyInto(strDisk, strFat, FAT_START));
    // The same volume again with its boot sector and backup wiped: its geometry must be inferred
    // from its folders, more than 2^32 sectors into the disk.
    ASSERT_TRUE(CopyInto(strDisk, strFat, LOST_FAT_START));
    const std::vector<unsigned char> vecZero(512, 0);
    ASSERT_TRUE(WriteWholeFile(dir.File("zero.bin"), vecZero.data(), vecZero.size()));
    ASSERT_TRUE(CopyInto(strDisk, dir.File("zero.bin"), LOST_FAT_START));
    ASSERT_TRUE(CopyInto(strDisk, dir.File("zero.bin"), LOST_FAT_START + 6));

    // NTFS: the same photos under other names, two deleted through a real mount.
    const std::string strNtfs = dir.File("ntfs.img");
    ASSERT_TRUE(MakeNtfsImage(strNtfs, VOLUME_MIB));
    {
        CNtfs3gMount mount(strNtfs, dir.File("mnt"));
        if (!mount.Mounted()) GTEST_SKIP() << "no ntfs-3g mount here (needs root and FUSE)";
        for (size_t i = 0; i < vecPhotos.size(); ++i)
            ASSERT_TRUE(WriteWholeFile(dir.File("mnt/Photo " + std::to_string(i) + ".jpg"), vecPhotos[i].data(),
                                       vecPhotos[i].size()));
        ASSERT_EQ(0, unlink(dir.File("mnt/Photo 0.jpg").c_str()));
        ASSERT_EQ(0, unlink(dir.File("mnt/Photo 2.jpg").c_str()));
        ASSERT_TRUE(mount.Unmount());
    }
    ASSERT_TRUE(CopyInto(strDisk, strNtfs, NTFS_START));
    ASSERT_TRUE(WriteWholeFile(dir.File("carved.jpg"), vecPhotos[2].data(), vecPhotos[2].size()));
    ASSERT_TRUE(CopyInto(strDisk, dir.File("carved.jpg"), CARVED_AT));

    // The partitions are found where the table puts them.
    CRecoverySession probe;
    ASSERT_EQ(SESSION_OK, probe.OpenSource(strDisk));
    ASSERT_EQ(3u, probe.Partitions().size());
    EXPECT_EQ(FAT_START, probe.Partitions()[0].u64StartSector);
    EXPECT_EQ(NTFS_START + VOLUME_SECTORS - 1, probe.Partitions()[1].u64EndSector);

    struct CASE {
        int nPartition;
        std::map<std::string, size_t> mapDeleted;  // name -> photo
        unsigned long long u64Start;
    } cases[] = {{1, {{"Holiday 1.jpg", 1}, {"Holiday 3.jpg", 3}}, FAT_START},
                 {2, {{"Photo 0.jpg", 0}, {"Photo 2.jpg", 2}}, NTFS_START},
                 {3, {{"Holiday 1.jpg", 1}, {"Holiday 3.jpg", 3}}, LOST_FAT_START}};
    for (const CASE& c : cases) {
        SESSION_AREA area;
        area.eKind = SESSION_AREA::PARTITION;
        area.nPartition = c.nPartition;
        std::vector<__SEARCH_FILE_INFO__> vecHits;
        const auto mapFiles = RecoverPhotos(strDisk, area, dir.File("out" + std::to_string(c.nPartition)), vecHits);
        for (const auto& deleted : c.mapDeleted) {
            ASSERT_EQ(1u, mapFiles.count(deleted.first)) << "partition " << c.nPartition << ": " << deleted.first;
            EXPECT_TRUE(mapFiles.at(deleted.first) == vecPhotos[deleted.second]) << deleted.first;
        }
        for (const __SEARCH_FILE_INFO__& hit : vecHits) {
            if (c.mapDeleted.count(hit.szFileName) == 0) continue;
            EXPECT_GE(hit.u64RecordSector, c.u64Start) << hit.szFileName;
            EXPECT_LT(hit.u64RecordSector, c.u64Start + VOLUME_SECTORS) << hit.szFileName;
        }
    }

    // The photo near the end of the disk, carved from a range swept on its own.
    SESSION_AREA tail;
    tail.eKind = SESSION_AREA::SECTOR_RANGE;
    tail.u64Start = CARVED_AT - 4096;
    tail.u64Sectors = 16384;
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    const auto mapCarved = RecoverPhotos(strDisk, tail, dir.File("out-tail"), vecHits);
    ASSERT_EQ(1u, vecHits.size());
    EXPECT_EQ(CARVED_AT, vecHits[0].u64RecordSector);
    EXPECT_TRUE(mapCarved.at(vecHits[0].szFileName) == vecPhotos[2]);
}
