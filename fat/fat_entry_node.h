#pragma once
// The node a FAT directory entry makes: what every FAT engine fills the same way from the entry
// (name, size, times, record sector). Geometry fields are the engine's to add.
#include <cstdint>

#include "engine/file_node.h"
#include "fat/fat_records.h"

_FILE_NODE_ MakeFatEntryNode(const FAT32_Entry& entry, const char* szName, int bIsDir, uint64_t u64RecordSector,
                             wchar_t wcDrive, int nSourceType);
