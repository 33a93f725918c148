#include "ui/result_table_model.h"

#include <string>

#include "util/format.h"
#include "util/text.h"

namespace {
enum TABLE_COLUMN { NAME_COLUMN, SIZE_COLUMN, TABLE_COLUMNS };
}  // namespace

void RegisterFileNodeType() {
    qRegisterMetaType<_FILE_NODE_>(FILE_NODE_TYPE_NAME);
}

QString FindName(std::string_view name) {
    return QString::fromStdWString(Ansi2Unicode(std::string(name).c_str()));
}

CResultTableModel::CResultTableModel(std::shared_ptr<const IFoundFiles> pFinds, CRecoverySelection& selection,
                                     QObject* pParent)
    : QAbstractTableModel(pParent), m_pFinds(std::move(pFinds)), m_selection(selection) {}

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
    const size_t nPos = static_cast<size_t>(nHit);
    const bool bName = index.column() == NAME_COLUMN;
    __SEARCH_FILE_INFO__ hit;
    switch (nRole) {
        case Qt::DisplayRole:
            return bName ? FindName(m_pFinds->Name(nPos))
                         : QString::fromStdString(GetFileSizeString(static_cast<long long>(m_pFinds->Size(nPos))));
        case Qt::DecorationRole:
            return bName ? QVariant(m_icon) : QVariant();
        case Qt::CheckStateRole:
            return bName ? QVariant(m_selection.IsTicked(static_cast<uint32_t>(nHit)) ? Qt::Checked : Qt::Unchecked)
                         : QVariant();
        case Qt::ToolTipRole: {
            if (!bName || !m_folderOf || !m_pFinds->Record(nPos, hit)) return QVariant();
            const QString strFolder = m_folderOf(hit);
            return strFolder.isEmpty() ? QVariant() : QVariant(strFolder + FindName(m_pFinds->Name(nPos)));
        }
        case FILE_NODE_ROLE:
            return m_pFinds->Record(nPos, hit) ? QVariant::fromValue(static_cast<const _FILE_NODE_&>(hit)) : QVariant();
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
