#pragma once
// Whether writing into a folder could write to the storage a scan reads from, seen through
// partitions, device-mapper (LVM, dm-crypt), md RAID, loop devices, btrfs, overlay and FUSE.
// Reads /sys and /proc/self/mountinfo and uses stat, statfs and one btrfs ioctl: it never writes
// and never runs a program.
#include <sys/types.h>

#include <string>
#include <vector>

enum SAME_DEVICE_ANSWER { SAME_DEVICE_NO = 0, SAME_DEVICE_YES = 1, SAME_DEVICE_CANNOT_TELL = 2 };

struct SAME_DEVICE_VERDICT {
    SAME_DEVICE_ANSWER eAnswer;
    // One English sentence for the user saying why; empty for NO.
    std::string strReason;
};

// Whether writing files into strTargetDir (or, when it does not exist yet, its nearest existing
// parent) could write to the storage strSource lives on. strSource is a block device node or an
// image file. An image file is only its own bytes: writing other files beside it changes nothing,
// but a file system that lives inside that file (a loop device over it) is the same storage.
SAME_DEVICE_VERDICT CheckSameDevice(const std::string& strSource, const std::string& strTargetDir);

// The same question for a file system on block device devTarget, with sysfs read below
// strSysRoot ("/sys" on a live system; another root lets stacks the kernel here lacks be built).
SAME_DEVICE_VERDICT CheckSameBlockStorage(dev_t devSource, dev_t devTarget, const std::string& strSysRoot);

// One line of /proc/self/mountinfo, octal escapes (\040 for a space) undone.
struct MOUNT_INFO_ENTRY {
    unsigned int nMajor = 0;
    unsigned int nMinor = 0;
    std::string strMountPoint;
    std::string strFsType;  // "ext4", "fuse.sshfs"
    std::string strSource;  // "/dev/sda1", "host:/export", "none"
    // Left escaped: an escaped comma inside a value must not split it.
    std::string strSuperOptions;
};
// False for a line that does not have the fields mountinfo always has.
bool ParseMountInfoLine(const std::string& strLine, MOUNT_INFO_ENTRY& entry);

// The folders an overlay file system writes to (its upper and work folders), in the order its
// still-escaped super options name them. Its lower layers are only read, so they do not count.
std::vector<std::string> ParseOverlayLayers(const std::string& strSuperOptions);

// "MAJOR:MINOR" as sysfs writes a block device's "dev" file (one trailing newline allowed).
bool ParseDeviceNumber(const std::string& strText, dev_t& dev);

// The folder name of a btrfs file system under /sys/fs/btrfs/: its 16-byte fsid as a UUID.
std::string FormatBtrfsFsid(const unsigned char* pFsid);
