#pragma once
// The results browser's file table: the finds of one extension, read from the search's finds
// only for the rows on screen, so an extension with a million finds fills at once; a find's
// whole record only for its tooltip and role 32. Column 0
// holds the name, its icon, its tick and the find itself (role 32); column 1 the size.
#include <QAbstractTableModel>
#include <QIcon>
#include <QMetaType>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/file_node.h"
#include "ui/found_files.h"
#include "ui/recovery_selection.h"
#include "ui/result_groups.h"

Q_DECLARE_METATYPE(_FILE_NODE_)

// The variant type name finds travel under in the table's cells.
constexpr const char* FILE_NODE_TYPE_NAME = "FILE_NODE";
// The role of the find kept in a cell.
constexpr int FILE_NODE_ROLE = Qt::UserRole;
// Registers _FILE_NODE_ under that name (repeating is harmless).
void RegisterFileNodeType();

// The name of a find as the window shows it (its 8-bit name decoded).
QString FindName(std::string_view name);

class CResultTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The folder a find was found in, for its tooltip ("" when none is known).
    using FOLDER_OF = std::function<QString(const __SEARCH_FILE_INFO__&)>;

    CResultTableModel(std::shared_ptr<const IFoundFiles> pFinds, CRecoverySelection& selection,
                      QObject* pParent = nullptr);

    void SetFolderOf(FOLDER_OF folderOf) { m_folderOf = std::move(folderOf); }
    // Shows these finds (null: none) with this icon; the positions must outlive the rows.
    void ShowRows(const HIT_POSITIONS* pRows, const QIcon& icon);
    // The ticks changed elsewhere (a tree row): redraw them.
    void RefreshTicks();
    const HIT_POSITIONS* Rows() const { return m_pRows; }
    // The find of a row (its position in the search), or -1.
    long long HitOfRow(int nRow) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int nRole = Qt::EditRole) override;
    QVariant headerData(int nSection, Qt::Orientation eOrientation, int nRole = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // A row's tick was changed in the table.
    void TicksChanged();

private:
    std::shared_ptr<const IFoundFiles> m_pFinds;
    CRecoverySelection& m_selection;
    const HIT_POSITIONS* m_pRows = nullptr;
    QIcon m_icon;
    FOLDER_OF m_folderOf;
};
