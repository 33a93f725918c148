#include "ui/disk_tree.h"

#include <QFont>
#include <QIcon>
#include <QTreeWidget>

#include "device/partition_manager.h"
#include "util/debug_log.h"
#include "util/format.h"

namespace {
QFont RowFont() {
    return QFont("Arial", 14, QFont::Bold);
}
}  // namespace

void RegisterPartitionItemType() {
    qRegisterMetaType<_PARTITION_ITEM_>(PARTITION_ITEM_TYPE_NAME);
}

QString PartitionRowText(const _PARTITION_ITEM_& item, const VOLUME_DESCRIPTION& volume) {
    const QString strName = QString::fromStdWString(GetPartitionName(item));
    if (volume.strFileSystem.empty()) return strName;
    const QString strVolume = QString::fromStdString(VolumeDisplayName(volume));
    if (strVolume == strName) return strName;
    return strName + " (" + strVolume + ")";
}

QString PartitionSizeText(const _PARTITION_ITEM_& item) {
    const unsigned long long u64Sectors = item.u64EndSector + 1 - item.u64StartSector;
    const long long llBytes = static_cast<long long>(u64Sectors * PARTITION_SECTOR_BYTES);
    return QString::fromStdString(GetFileSizeString(llBytes));
}

_PARTITION_ITEM_ PartitionOfRow(const QTreeWidgetItem* pRow) {
    _PARTITION_ITEM_ item{};
    if (pRow == nullptr) return item;
    const QVariant value = pRow->data(0, Qt::UserRole);
    if (value.canConvert<_PARTITION_ITEM_>()) item = value.value<_PARTITION_ITEM_>();
    return item;
}

void FillDiskTree(QTreeWidget* pTree, const std::vector<SESSION_DISK>& vecDisks) {
    int nDiskRow = 1;
    QTreeWidgetItem* pLastPartitionRow = nullptr;
    for (const SESSION_DISK& disk : vecDisks) {
        if (disk.vecPartitions.empty()) continue;
        auto* pDiskRow = new QTreeWidgetItem(QStringList{QString("Physical Driver %1").arg(nDiskRow)});
        pDiskRow->setIcon(0, QIcon(":/image/physical_drive.png"));
        pDiskRow->setFont(0, RowFont());
        for (size_t i = 0; i < disk.vecPartitions.size(); ++i) {
            const _PARTITION_ITEM_& item = disk.vecPartitions[i];
            const VOLUME_DESCRIPTION volume = i < disk.vecVolumes.size() ? disk.vecVolumes[i] : VOLUME_DESCRIPTION();
            const QString strSize = PartitionSizeText(item);
            auto* pRow = new QTreeWidgetItem(pDiskRow, QStringList{PartitionRowText(item, volume), strSize});
            pRow->setIcon(0, QIcon(":/image/drive.png"));
            pRow->setFont(0, RowFont());
            pRow->setFont(1, RowFont());
            pRow->setData(0, Qt::UserRole, QVariant::fromValue(item));
            pLastPartitionRow = pRow;
            DebugLog("(*iterVec).szDiskName = %s u64Bytes = %s\n", item.szDiskName, strSize.toUtf8().constData());
        }
        pTree->addTopLevelItem(pDiskRow);
        pDiskRow->setExpanded(true);
        ++nDiskRow;
    }
    // Made current only now: a row is not part of the tree before its disk row is.
    if (pLastPartitionRow != nullptr) pTree->setCurrentItem(pLastPartitionRow);
}
