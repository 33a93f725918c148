#pragma once
// The device tree of the main window: one row per disk that holds partitions, one child row per
// partition with its size, the partition record kept in the row for the scan.
#include <QMetaType>
#include <QString>
#include <vector>

#include "device/partition_records.h"
#include "session/recovery_session.h"

class QTreeWidget;
class QTreeWidgetItem;

Q_DECLARE_METATYPE(_PARTITION_ITEM_)

// The variant type name partition records travel under.
constexpr const char* PARTITION_ITEM_TYPE_NAME = "PARTITION_ITEM";
// Registers _PARTITION_ITEM_ under that name (once is enough; repeating is harmless).
void RegisterPartitionItemType();

// "Partition 1 (FAT32 CARD)": the partition's name, and what its volume says of itself when that
// adds anything (a disk without a table is already named after its volume).
QString PartitionRowText(const _PARTITION_ITEM_& item, const VOLUME_DESCRIPTION& volume);
// The size column of a partition row.
QString PartitionSizeText(const _PARTITION_ITEM_& item);

// The partition kept in a row; the all-zero record for a disk row or no row.
_PARTITION_ITEM_ PartitionOfRow(const QTreeWidgetItem* pRow);

// Fills pTree (two columns, already made) from the disks; disks without partitions get no row.
// The last partition row becomes the current row.
void FillDiskTree(QTreeWidget* pTree, const std::vector<SESSION_DISK>& vecDisks);
