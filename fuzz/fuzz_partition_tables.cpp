// Runs partition discovery over arbitrary bytes taken as a whole disk. The bytes go into one
// image file in /dev/shm (memory-backed), which the disk map names as disk 0.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "device/partition_manager.h"
#include "util/disk_map.h"

namespace {

// Largest list one disk can yield: an MBR walk reads at most 128 tables of four entries, a GPT
// array is capped, an Apple map has at most 128 entries.
constexpr size_t MAX_ITEMS = PARTITION_MAX_GPT_ARRAY_BYTES / GPT_MIN_ENTRY_BYTES;

std::string g_strImage;

void RemoveImage() {
    if (!g_strImage.empty()) unlink(g_strImage.c_str());
}

const std::string& ImagePath() {
    if (g_strImage.empty()) {
        g_strImage = "/dev/shm/korvalo-fuzz-partitions-" + std::to_string(getpid()) + ".img";
        rsb_setDiskList({g_strImage});
        atexit(RemoveImage);
    }
    return g_strImage;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string& strImage = ImagePath();
    int hFile = open(strImage.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (hFile < 0) abort();
    if (nSize > 0 && write(hFile, pData, nSize) != static_cast<ssize_t>(nSize)) abort();
    close(hFile);

    CPartitionManager manager;
    std::map<int, std::vector<_PARTITION_ITEM_>> mapItems;
    if (manager.GetPartitionItems(mapItems) != 1) abort();
    if (mapItems.size() > 1 || (mapItems.size() == 1 && mapItems.begin()->first != 0)) abort();
    for (const auto& disk : mapItems) {
        if (disk.second.empty() || disk.second.size() > MAX_ITEMS) abort();
        for (const _PARTITION_ITEM_& item : disk.second) {
            // Every listed partition has at least one sector and names the disk it lies on.
            if (item.u64EndSector < item.u64StartSector || item.nDiskNumber != 0) abort();
            if (item.szDiskName[PARTITION_DISK_NAME_BYTES - 1] != 0) abort();
            if (GetPartitionName(item).size() > static_cast<size_t>(PARTITION_NAME_UNITS)) abort();
        }
    }
    return 0;
}
