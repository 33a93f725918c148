// The same-device check: its parsers on crafted text, device stacks laid out as sysfs trees, and
// real loop devices, device-mapper, tmpfs, overlay, btrfs and FUSE mounts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fixtures/block_stack.h"
#include "fixtures/ntfs3g_mount.h"
#include "fixtures/temp_dir.h"
#include "fixtures/volume_images.h"
#include "session/same_device.h"

namespace {

struct CASE {
    std::string strSource, strTarget;
    SAME_DEVICE_ANSWER eAnswer;
    std::string strReasonPart;
};

void ExpectVerdict(const SAME_DEVICE_VERDICT& verdict, SAME_DEVICE_ANSWER eAnswer, const std::string& strReasonPart) {
    EXPECT_EQ(verdict.eAnswer, eAnswer) << verdict.strReason;
    EXPECT_NE(verdict.strReason.find(strReasonPart), std::string::npos) << verdict.strReason;
}

void ExpectVerdicts(const std::vector<CASE>& cases) {
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.strSource + " -> " + c.strTarget);
        ExpectVerdict(CheckSameDevice(c.strSource, c.strTarget), c.eAnswer, c.strReasonPart);
    }
}

TEST(SameDeviceParsers, MountInfoOverlayOptionsAndBtrfsDevices) {
    const std::pair<const char*, const char*> lines[] = {
        {"36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n",
         "98:0|/mnt2|ext3|/dev/root|rw,errors=continue"},
        {"46 27 0:40 / /media/my\\040card\\134x rw - fuse.sshfs u@h:/a\\040b rw",
         "0:40|/media/my card\\x|fuse.sshfs|u@h:/a b|rw"},
        // An empty source is an empty field; super options stay escaped; "\08" is no escape.
        {"50 27 259:65536 / /a\\08 rw shared:5 master:2 - tmpfs  rw,x=a\\054b", "259:65536|/a\\08|tmpfs||rw,x=a\\054b"},
        {"36 35 98:0 / /mnt rw master:1 ext3 /dev/root rw", ""},
        {"36 35 98:0 / /mnt rw - ext4 /dev/sda rw extra", ""},
    };
    for (const auto& c : lines) {
        MOUNT_INFO_ENTRY e;
        bool bOk = ParseMountInfoLine(c.first, e);
        std::string strFields = std::to_string(e.nMajor) + ":" + std::to_string(e.nMinor) + "|" + e.strMountPoint +
                                "|" + e.strFsType + "|" + e.strSource + "|" + e.strSuperOptions;
        EXPECT_EQ(bOk ? strFields : "", c.second) << c.first;
    }
    const std::pair<const char*, std::vector<std::string>> overlays[] = {
        // Writes land in the upper and work folders; the lower layers are never written.
        {"rw,lowerdir=/l1:/l2,upperdir=/u,workdir=/w", {"/u", "/w"}},
        // As this kernel shows "lowerdir=/t/lo\:w er,upperdir=/m/u p": octal escapes undone.
        {"rw,lowerdir=/t/lo\\134:w\\040er,upperdir=/m/u\\040p,workdir=/m/w,uuid=on", {"/m/u p", "/m/w"}},
        {"lowerdir=/a::/data,redirect_dir=on", {}},
        {"lowerdir+=/a,lowerdir+=/b\\054c,datadir+=/d", {}},
        {"rw,xino=off", {}},
    };
    for (const auto& c : overlays) EXPECT_EQ(ParseOverlayLayers(c.first), c.second) << c.first;
    // What /sys/fs/btrfs/<fsid>/devices/<member>/dev may hold.
    const std::pair<const char*, dev_t> numbers[] = {{"7:0\n", makedev(7, 0)},
                                                     {"259:1048575", makedev(259, 1048575)},
                                                     {"8:", 0},
                                                     {":1", 0},
                                                     {"8:1x", 0},
                                                     {"8:1\n\n", 0},
                                                     {"4294967296:0", 0},
                                                     {"", 0}};
    for (const auto& c : numbers) {
        dev_t dev = 0;
        EXPECT_EQ(ParseDeviceNumber(c.first, dev) ? dev : 0, c.second) << c.first;
    }
    const unsigned char fsid[16] = {0x09, 0x20, 0xe8, 0x51, 0x87, 0x09, 0x4e, 0x83,
                                    0x95, 0x32, 0x7c, 0xd4, 0xa7, 0x31, 0xbe, 0xf4};
    EXPECT_EQ(FormatBtrfsFsid(fsid), "0920e851-8709-4e83-9532-7cd4a731bef4");
}

// md and device-mapper are not in every kernel, so their stacks are laid out as sysfs shows them:
// a folder with a "dev" file found through dev/block/MAJOR:MINOR, partitions inside their disk,
// the parts of a stack linked under slaves/.
TEST(SameDeviceStacks, RaidLvmCyclesAndDepthInASysfsTree) {
    CTempDir sys;
    auto add = [&](const std::string& strPath, unsigned int nMajor, unsigned int nMinor, const char* szMore = "true") {
        std::string strDir = sys.File("devices/" + strPath);
        std::string strNumber = std::to_string(nMajor) + ":" + std::to_string(nMinor);
        EXPECT_TRUE(RunQuiet("mkdir -p " + strDir + "/slaves " + sys.File("dev/block") + " && cd " + strDir +
                             " && echo " + strNumber + " >dev && ln -s " + strDir + " " +
                             sys.File("dev/block/" + strNumber) + " && " + szMore));
        return makedev(nMajor, nMinor);
    };
    auto stack = [&](const std::string& strUpper, const std::string& strLower) {
        EXPECT_TRUE(
            RunQuiet("ln -s " + sys.File("devices/" + strLower) + " " + sys.File("devices/" + strUpper + "/slaves/")));
    };
    add("sda", 8, 0);
    dev_t sda1 = add("sda/sda1", 8, 1, "touch partition");
    dev_t sdb = add("sdb", 8, 16);
    add("sdb/sdb1", 8, 17, "touch partition");
    dev_t sdc = add("sdc", 8, 32);
    dev_t md0 = add("md0", 9, 0);
    dev_t dm0 = add("dm-0", 253, 0, "mkdir dm && echo vg-root >dm/name");
    stack("md0", "sda/sda1");
    stack("md0", "sdb/sdb1");
    stack("dm-0", "md0");
    dev_t dm1 = add("dm-1", 253, 1);
    add("dm-2", 253, 2);
    stack("dm-1", "dm-2");
    stack("dm-2", "dm-1");
    // A chain deeper than any real stack, with sdc at its bottom.
    for (int i = 100; i < 140; ++i) add("dm-" + std::to_string(i), 253, i);
    for (int i = 100; i < 139; ++i) stack("dm-" + std::to_string(i), "dm-" + std::to_string(i + 1));
    stack("dm-139", "sdc");

    ExpectVerdict(CheckSameBlockStorage(sdb, dm0, sys.Path()), SAME_DEVICE_YES,
                  "dm-0 (vg-root) over md0 over sdb1 on disk sdb, the device being read");
    ExpectVerdict(CheckSameBlockStorage(sda1, md0, sys.Path()), SAME_DEVICE_YES,
                  "and block device 8:1 is on sda1 on disk sda");
    ExpectVerdict(CheckSameBlockStorage(sdc, dm0, sys.Path()), SAME_DEVICE_NO, "");
    ExpectVerdict(CheckSameBlockStorage(sdc, dm1, sys.Path()), SAME_DEVICE_CANNOT_TELL, "is stacked on itself");
    ExpectVerdict(CheckSameBlockStorage(sdc, makedev(253, 100), sys.Path()), SAME_DEVICE_CANNOT_TELL,
                  "more than 32 levels deep");
    ExpectVerdict(CheckSameBlockStorage(makedev(8, 99), sdc, sys.Path()), SAME_DEVICE_CANNOT_TELL,
                  "no entry for block device 8:99");
}

std::string MountCommand(const std::string& strWhat, const std::string& strMountPoint) {
    return "mkdir -p " + strMountPoint + " && mount " + strWhat + " " + strMountPoint;
}

TEST(SameDeviceMounts, LoopDevicesTheirImagesMemoryAndOverlay) {
    if (geteuid() != 0 || !HaveTool("losetup") || !HaveTool("/usr/sbin/mkfs.ext4"))
        GTEST_SKIP() << "needs root, losetup and mkfs.ext4";
    CTempDir dir;
    std::string strImage = dir.File("card.img"), strMnt = dir.File("mnt");
    ASSERT_TRUE(MakeExtImage(strImage, "ext4", 32));
    CScopedSetup loop("losetup -f --show " + strImage, "losetup -d ");
    CScopedSetup mount(MountCommand(loop.Output(), strMnt), "umount " + strMnt);
    if (!mount.Done()) GTEST_SKIP() << "could not mount an ext4 image through a loop device here";
    // A second loop device over an image inside the first one's file system.
    std::string strInner = dir.File("mnt/inner.img"), strIn = dir.File("mnt/in");
    ASSERT_TRUE(MakeExtImage(strInner, "ext4", 8));
    CScopedSetup innerLoop("losetup -f --show " + strInner, "losetup -d ");
    CScopedSetup innerMount(MountCommand(innerLoop.Output(), strIn), "umount " + strIn);
    CScopedSetup ram(MountCommand("-t tmpfs tmpfs", dir.File("ram")), "umount " + dir.File("ram"));
    CScopedSetup overlay("mkdir " + dir.File("lower") + " " + dir.File("mnt/up") + " " + dir.File("mnt/work") + " && " +
                             MountCommand("-t overlay overlay -o lowerdir=" + dir.File("lower") +
                                              ",upperdir=" + dir.File("mnt/up") + ",workdir=" + dir.File("mnt/work"),
                                          dir.File("ov")),
                         "umount " + dir.File("ov"));
    ASSERT_TRUE(innerMount.Done() && ram.Done() && overlay.Done());

    std::string strLoopName = loop.Output().substr(5);
    std::vector<CASE> cases = {
        {loop.Output(), dir.File("mnt/out/not/yet"), SAME_DEVICE_YES, strLoopName + ", the device being read"},
        {strImage, strMnt, SAME_DEVICE_YES, "over the file " + strImage + ", the image being read"},
        {strImage, dir.File("mnt/in/out"), SAME_DEVICE_YES, "over the file " + strInner + " on " + strLoopName},
        {innerLoop.Output(), strIn, SAME_DEVICE_YES, "the device being read"},
        {loop.Output(), dir.File("ov/out"), SAME_DEVICE_YES,
         "overlay folder " + dir.File("mnt/up") + " on " + strLoopName},
        // Files written beside an image do not change it; memory is no disk.
        {strImage, dir.Path(), SAME_DEVICE_NO, ""},
        {loop.Output(), dir.File("out"), SAME_DEVICE_NO, ""},
        {loop.Output(), dir.File("ram/out"), SAME_DEVICE_NO, ""},
    };
    // The disk holding the images is written through both loop devices' file systems.
    struct stat st;
    ASSERT_EQ(stat(dir.Path().c_str(), &st), 0);
    std::string strSysfs =
        "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    if (access(strSysfs.c_str(), F_OK) == 0 && mknod(dir.File("disk").c_str(), S_IFBLK | 0600, st.st_dev) == 0) {
        cases.push_back({dir.File("disk"), strIn, SAME_DEVICE_YES, "over the file " + strImage + " on "});
        cases.push_back({dir.File("disk"), dir.File("ram"), SAME_DEVICE_NO, ""});
    }
    ExpectVerdicts(cases);
}

TEST(SameDeviceMounts, DeviceMapperOverALoopDevice) {
    if (geteuid() != 0 || !HaveTool("losetup") || !HaveTool("dmsetup"))
        GTEST_SKIP() << "needs root, losetup and dmsetup";
    CTempDir dir;
    std::string strImage = dir.File("lv.img"), strName = "korvalo-test-" + std::to_string(getpid());
    ASSERT_TRUE(MakeExtImage(strImage, "ext4", 32));
    CScopedSetup loop("losetup -f --show " + strImage, "losetup -d ");
    ASSERT_TRUE(loop.Done());
    std::string strDevice = loop.Output();
    CScopedSetup linear(
        "dmsetup create " + strName + " --table \"0 $(blockdev --getsz " + strDevice + ") linear " + strDevice + " 0\"",
        "dmsetup remove " + strName);
    if (!linear.Done()) GTEST_SKIP() << "the kernel's device-mapper is missing here";
    CScopedSetup mount(MountCommand("/dev/mapper/" + strName, dir.File("mnt")), "umount " + dir.File("mnt"));
    ASSERT_TRUE(mount.Done());
    ExpectVerdicts(
        {{strDevice, dir.File("mnt"), SAME_DEVICE_YES, " over " + strDevice.substr(5) + ", the device being read"},
         {strImage, dir.File("mnt"), SAME_DEVICE_YES, "the image being read"}});
}

TEST(SameDeviceMounts, BtrfsSubvolumeOverALoopDevice) {
    if (geteuid() != 0 || !HaveTool("losetup") || !HaveTool("mkfs.btrfs"))
        GTEST_SKIP() << "needs root, losetup and mkfs.btrfs";
    CTempDir dir;
    std::string strImage = dir.File("pool.img");
    ASSERT_TRUE(MakeZeroImage(strImage, 128LL << 20) && RunQuiet("mkfs.btrfs -q " + strImage));
    CScopedSetup loop("losetup -f --show " + strImage, "losetup -d ");
    CScopedSetup mount(MountCommand(loop.Output(), dir.File("mnt")), "umount " + dir.File("mnt"));
    if (!mount.Done()) GTEST_SKIP() << "btrfs cannot be mounted here";
    // A subvolume has a device number of its own that nothing else knows.
    ASSERT_TRUE(RunQuiet("btrfs subvolume create " + dir.File("mnt/sub")));
    ExpectVerdicts({{loop.Output(), dir.File("mnt/sub/out"), SAME_DEVICE_YES, "btrfs over " + loop.Output().substr(5)},
                    {strImage, dir.File("mnt"), SAME_DEVICE_YES, "the image being read"}});
}

TEST(SameDeviceMounts, FuseOverAnImageFile) {
    CTempDir dir;
    std::string strImage = dir.File("ntfs.img");
    if (!MakeNtfsImage(strImage, 16)) GTEST_SKIP() << "needs mkntfs";
    CNtfs3gMount mount(strImage, dir.File("mnt"));
    if (!mount.Mounted()) GTEST_SKIP() << "needs root, ntfs-3g and FUSE";
    ExpectVerdicts(
        {{strImage, dir.File("mnt/out"), SAME_DEVICE_YES, "fuse over the file " + strImage + ", the image"}});
}

}  // namespace
