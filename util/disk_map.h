#pragma once
// Disk numbers (0..127) name whole raw disks. This is the one place that maps a number to the
// device node or image file behind it; everything that opens a disk goes through here.
#include <string>
#include <vector>

constexpr int KORVALO_MAX_DISKS = 128;

// The paths of disks 0, 1, ...: the programmatic list when one is set, else the colon-separated
// KORVALO_DISKS environment variable when set, else the whole disks of /sys/block sorted by name.
std::vector<std::string> rsb_getDiskList();

// Replaces the disk list for this process (the command line maps the path it is given).
// An empty list removes the override.
void rsb_setDiskList(const std::vector<std::string>& vecPaths);

// The node of disk nDiskNo; false when there is no such disk.
bool rsb_getDiskPath(int nDiskNo, std::string& strPath);

// Opens disk nDiskNo read-only. Returns the descriptor, or -1 with errno set
// (ENXIO when the number names no disk).
int rsb_openDisk(int nDiskNo);

// The /sys/block listing rule, exposed so it can be tested on a fake tree: the whole-disk
// entries of sysBlockDir, as "/dev/<name>" paths sorted by name.
std::vector<std::string> ListWholeDisks(const std::string& strSysBlockDir);
