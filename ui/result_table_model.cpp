#include "ui/result_table_model.h"

#include <cstring>
#include <string>

#include "util/format.h"
#include "util/text.h"

namespace {
enum TABLE_COLUMN { NAME_COLUMN, SIZE_COLUMN, TABLE_COLUMNS };
}  // namespace

void RegisterFileNodeType() {
    qRegisterMetaType<_FILE_NODE_>(FILE_NODE_TYPE_NAME);
}

QString FindName(const __SEARCH_FILE_INFO__& hit) {
    // A record's name is NUL-terminated, but a damaged one may fill its field.
    const std::string strName(hit.szFileName, strnlen(hit.szFileName, sizeof(hit.szFileName)));
    return QString::fromStdWString(Ansi2Unicode(strName.c_str()));
}

CResultTableModel::CResultTableModel(const std::vector<__SEARCH_FILE_INFO__>& vecHits,
                                     CRecoverySelection& selection, QObject* pParent)
    : QAbstractTableModel(pParent), m_vecHits(vecHits), m_selection(selection) {}

void CResultTableModel::ShowRows(const HIT_POSITIONS* pRows, const QIcon& icon) {
    beginResetModel();
    m_pRows = pRows;
    m_icon = icon;
    endResetModel();
}

void CResultTableModel::RefreshTicks() {
    if (rowCount() > 0) emit dataChanged(index(0, NAME_COLUMN), index(rowCount() - 1, NAME_COLUMN), {Qt::CheckStateRole});
}

long long CResultTableModel::HitOfRow(int nRow) const {
    if (m_pRows == nullptr || nRow < 0 || static_cast<size_t>(nRow) >= m_pRows->size()) return -1;
    return (*m_pRows)[static_cast<size_t>(nRow)];
}

int CResultTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || m_pRows == nullptr ? 0 : static_cast<int>(m_pRows->size());
}

int CResultTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TABLE_COLUMNS;
}

QVariant CResultTableModel::data(const QModelIndex& index, int nRole) const {
    const long long nHit = index.isValid() ? HitOfRow(index.row()) : -1;
    if (nHit < 0) return QVariant();
    const __SEARCH_FILE_INFO__& hit = m_vecHits[static_cast<size_t>(nHit)];
    const bool bName = index.column() == NAME_COLUMN;
    switch (nRole) {
        case Qt::DisplayRole:
            return bName ? FindName(hit)
                         : QString::fromStdString(GetFileSizeString(static_cast<long long>(hit.u64FileSize)));
        case Qt::DecorationRole:
            return bName ? QVariant(m_icon) : QVariant();
        case Qt::CheckStateRole:
            return bName ? QVariant(m_selection.IsTicked(static_cast<uint32_t>(nHit)) ? Qt::Checked : Qt::Unchecked)
                         : QVariant();
        case Qt::ToolTipRole: {
            const QString strFolder = bName && m_folderOf ? m_folderOf(hit) : QString();
            return strFolder.isEmpty() ? QVariant() : QVariant(strFolder + FindName(hit));
        }
        case FILE_NODE_ROLE:
            return QVariant::fromValue(static_cast<const _FILE_NODE_&>(hit));
        default:
            return QVariant();
    }
}

bool CResultTableModel::setData(const QModelIndex& index, const QVariant& value, int nRole) {
    const long long nHit = index.isValid() ? HitOfRow(index.row()) : -1;
    if (nHit < 0 || index.column() != NAME_COLUMN || nRole != Qt::CheckStateRole) return false;
    m_selection.Set(static_cast<uint32_t>(nHit), value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit TicksChanged();
    return true;
}

QVariant CResultTableModel::headerData(int nSection, Qt::Orientation eOrientation, int nRole) const {
    if (eOrientation != Qt::Horizontal) return QVariant();
    if (nRole == Qt::TextAlignmentRole) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (nRole != Qt::DisplayRole) return QVariant();
    return nSection == NAME_COLUMN ? QString("Name") : QString("Size");
}

Qt::ItemFlags CResultTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == NAME_COLUMN) flags |= Qt::ItemIsUserCheckable;
    return flags;
}
