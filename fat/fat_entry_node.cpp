#include "fat/fat_entry_node.h"

#include <cstring>

#include "fat/fat_dates.h"

_FILE_NODE_ MakeFatEntryNode(const FAT32_Entry& entry, const char* szName, int bIsDir, uint64_t u64RecordSector,
                             wchar_t wcDrive, int nSourceType) {
    _FILE_NODE_ node;
    memset(&node, 0, sizeof(node));
    node.wcDrive = wcDrive;
    node.nSourceType = nSourceType;
    node.bIsDir = bIsDir;
    node.bIsHealth = 1;
    Fat32GetFileCreateTime(&entry, &node.ftCreationTime);
    Fat32GetFileLastAccessTime(&entry, &node.ftLastAccessTime);
    Fat32GetFileLastChangeTime(&entry, &node.ftLastWriteTime);
    node.u64FileSize = bIsDir ? 0 : entry.dwFileSize;
    node.u64RecordSector = u64RecordSector;
    strncpy(node.szFileName, szName, sizeof(node.szFileName) - 1);
    return node;
}
