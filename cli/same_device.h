#pragma once
// Whether writing into a folder would write to the device a scan reads from.
#include <string>

// True when strSource is a block device and strTargetDir (or its nearest existing parent) lies
// on a file system of the same whole disk. An image file never counts: writing other files next
// to it does not change its bytes.
bool IsTargetOnSourceDevice(const std::string& strSource, const std::string& strTargetDir);

// The whole-disk name ("sda", "nvme0n1", "loop3") of a block device number, or empty.
std::string WholeDiskOfDevice(unsigned int nMajor, unsigned int nMinor);
