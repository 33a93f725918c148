#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/debug_capture.h"
#include "fixtures/disk_list.h"
#include "fixtures/temp_dir.h"
#include "util/app_folder.h"
#include "util/disk_map.h"
#include "util/le.h"
#include "util/rsb.h"

namespace {

TEST(FileAttr, SizeHalvesOfALargeFile) {
    CTempDir dir;
    int fd = open(dir.File("big.bin").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const off_t llSize = (5LL << 30) + 3;  // sparse; both halves carry something
    ASSERT_EQ(0, ftruncate(fd, llSize));
    STRUCT_RSB_FILE_ATTR attr;
    memset(&attr, 0xAB, sizeof(attr));
    ASSERT_EQ(0, rsb_statH(fd, &attr));
    struct stat st;
    ASSERT_EQ(0, fstat(fd, &st));
    EXPECT_EQ(0u, attr.u32Reserved1 | attr.u32Reserved2);
    EXPECT_EQ(1u, attr.u32SizeHigh);
    EXPECT_EQ(0x40000003u, attr.u32SizeLow);
    EXPECT_TRUE(S_ISREG(attr.u32Mode));
    EXPECT_EQ(static_cast<uint64_t>(st.st_ino), attr.u64Inode);
    int nLow = 0, nHigh = 0;
    ASSERT_EQ(0, rsb_getFileSizeH(fd, &nLow, &nHigh));
    EXPECT_EQ(llSize, (static_cast<long long>(nHigh) << 32) + static_cast<uint32_t>(nLow));
    EXPECT_EQ(-1, rsb_getFileSizeH(fd, nullptr, &nHigh));
    close(fd);
    EXPECT_EQ(-1, rsb_statH(fd, nullptr));
    EXPECT_EQ(-1, rsb_getFileSizeH(fd, &nLow, nullptr));
}

TEST(FreeSpace, MissingPathFallsBackToExistingParent) {
    CTempDir dir;
    std::string strDeep = dir.Path() + "/no/such/folder/file.jpg";
    // Free space moves while other processes write, so compare only when it held still.
    for (int nTry = 0; nTry < 5; ++nTry) {
        std::vector<char> vecPath(strDeep.c_str(), strDeep.c_str() + strDeep.size() + 1);
        struct statvfs svBefore, svAfter;
        ASSERT_EQ(0, statvfs(dir.Path().c_str(), &svBefore));
        unsigned int nHigh = 1, nLow = 1;
        ASSERT_EQ(0, rsb_getFreeSpace(vecPath.data(), 0, &nHigh, &nLow));
        ASSERT_EQ(0, statvfs(dir.Path().c_str(), &svAfter));
        EXPECT_EQ(dir.Path(), vecPath.data());  // shortened in place to the first existing level
        if (svBefore.f_bavail != svAfter.f_bavail) continue;
        EXPECT_EQ(static_cast<unsigned long long>(svBefore.f_bavail) * svBefore.f_frsize,
                  (static_cast<unsigned long long>(nHigh) << 32) | nLow);
        return;
    }
    GTEST_SKIP() << "free space kept changing";
}

TEST(FreeSpace, RootFallbackAndRelativePath) {
    char szTop[] = "/korvalo-no-such-top-level";
    unsigned int nHigh = 7, nLow = 7;
    EXPECT_EQ(0, rsb_getFreeSpace(szTop, 0, &nHigh, &nLow));
    EXPECT_STREQ("/", szTop);
    char szRelative[] = "relative/path";
    EXPECT_EQ(0, rsb_getFreeSpace(szRelative, 0, &nHigh, &nLow));
    EXPECT_EQ(0u, nHigh | nLow);
    EXPECT_EQ(87, rsb_getFreeSpace(nullptr, 0, &nHigh, &nLow));
}

TEST(DiskMap, OverrideThenEnvironment) {
    CTempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("card.img"), "abcd", 4));
    CScopedEnv env("KORVALO_DISKS", "/img/a.img::/dev/sdz:");
    EXPECT_EQ((std::vector<std::string>{"/img/a.img", "/dev/sdz"}), rsb_getDiskList());
    {
        CScopedDiskList list({dir.File("card.img")});
        int fd = rsb_openDisk(0);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(-1, write(fd, "x", 1));  // read-only
        close(fd);
        errno = 0;
        EXPECT_EQ(-1, rsb_openDisk(1));
        EXPECT_EQ(ENXIO, errno);
        std::string strPath;
        EXPECT_FALSE(rsb_getDiskPath(-1, strPath));
    }
    EXPECT_EQ(2u, rsb_getDiskList().size());  // the override is gone
}

TEST(DiskMap, ListsWholeDisksOfASysBlockTree) {
    CTempDir dir;
    for (const char* szName : {"sdb", "sda", "sdaa", "sda1", "nvme0n1", "nvme0n1p1", "mmcblk0", "mmcblk0p1", "loop0",
                               "loop2", "loop10", "ram0", "zram0", "vda", "xvda", "dm-0", "sr0"})
        ASSERT_EQ(0, mkdir(dir.File(szName).c_str(), 0755));
    for (const char* szLoop : {"loop2", "loop10"}) {  // loop0 has no backing file: detached
        ASSERT_EQ(0, mkdir((dir.File(szLoop) + "/loop").c_str(), 0755));
        ASSERT_TRUE(WriteWholeFile(dir.File(szLoop) + "/loop/backing_file", "/x.img\n", 7));
    }
    std::vector<std::string> vecExpected = {"/dev/loop2", "/dev/loop10", "/dev/mmcblk0", "/dev/nvme0n1", "/dev/sda",
                                            "/dev/sdb",   "/dev/sdaa",   "/dev/vda",     "/dev/xvda"};
    EXPECT_EQ(vecExpected, ListWholeDisks(dir.Path()));
}

TEST(AppFolder, HomeVariableRootDefaultUserStateAndOverride) {
    {
        CScopedEnv env("KORVALO_HOME", "/srv/korvalo");
        EXPECT_EQ("/srv/korvalo/", rsb_getAppFolder());
        EXPECT_EQ("/srv/korvalo/ScanLog/", rsb_getScanLogFolder());
        rsb_setAppFolderOverride("/run/elsewhere");
        EXPECT_EQ("/run/elsewhere/ScanLog/", rsb_getScanLogFolder());
        EXPECT_EQ("/srv/korvalo/", rsb_getConfiguredAppFolder());
        rsb_setAppFolderOverride("");
        EXPECT_EQ("/srv/korvalo/", rsb_getAppFolder());
    }
    CScopedEnv env("KORVALO_HOME", nullptr);
    CScopedEnv state("XDG_STATE_HOME", "/home/anna/.state");
    CScopedEnv home("HOME", "/home/anna");
    // Root keeps its scans in /var/lib; anyone else in the XDG state folder, else below HOME.
    EXPECT_EQ(geteuid() == 0 ? std::string("/var/lib/korvalo/") : "/home/anna/.state/korvalo/", rsb_getAppFolder());
    if (geteuid() != 0) {
        CScopedEnv relative("XDG_STATE_HOME", "relative/state");
        EXPECT_EQ("/home/anna/.local/state/korvalo/", rsb_getAppFolder());
    }
}

TEST(AppFolder, CreatedWithParentsAndMode0755) {
    CTempDir dir;
    CScopedEnv env("KORVALO_HOME", (dir.Path() + "/deep/app home").c_str());
    mode_t nOldMask = umask(0);  // so a 0777 request would show
    int nResult = rsb_createAppFolders();
    umask(nOldMask);
    ASSERT_EQ(0, nResult);
    for (const std::string& strFolder : {rsb_getAppFolder(), rsb_getScanLogFolder()}) {
        struct stat st;
        ASSERT_EQ(0, stat(strFolder.c_str(), &st)) << strFolder;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(0755u, st.st_mode & 07777) << strFolder;
    }
    EXPECT_EQ(0, rsb_createAppFolders());  // existing folders are fine
    ASSERT_TRUE(WriteWholeFile(dir.File("plain"), "x", 1));
    EXPECT_EQ(ENOTDIR, rsb_makeDirs(dir.File("plain"), 0755));
}

TEST(DebugLog, LongLinesReachTheSinkWhole) {
    CDebugCapture capture;
    DebugLog("lseek failed %lld\n", 42LL);
    std::string strLong(2000, 'z');
    DebugLog("%s|\n", strLong.c_str());  // longer than the formatter's stack buffer
    EXPECT_EQ((std::vector<std::string>{"lseek failed 42\n", strLong + "|\n"}), capture.Lines());
}

TEST(LittleEndian, UnalignedFieldsWithHighBitsSet) {
    unsigned char buf[16] = {};
    WriteLe16(buf + 1, 0xFEDC);
    WriteLe32(buf + 3, 0x89ABCDEFu);
    WriteLe64(buf + 7, 0xF0E1D2C3B4A59687ull);
    const unsigned char kExpected[16] = {0,    0xDC, 0xFE, 0xEF, 0xCD, 0xAB, 0x89, 0x87,
                                         0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0, 0};
    EXPECT_EQ(0, memcmp(kExpected, buf, sizeof(buf)));
    EXPECT_EQ(0xFEDC, ReadLe16(buf + 1));
    EXPECT_EQ(0x89ABCDEFu, ReadLe32(buf + 3));
    EXPECT_EQ(0xF0E1D2C3B4A59687ull, ReadLe64(buf + 7));
}

}  // namespace
