#include "PluginTableModel.h"

#include <QFont>
#include <QMimeData>
#include <QPixmap>

#include "KCKeyClipboard.h"

namespace brevona {

namespace {

// A category row has no parent; a cell's internal id is its category's place plus one.
constexpr quintptr CategoryRow = 0;

} // namespace

PluginTableModel::PluginTableModel(KCDisplayActionTables::Side side, QObject *parent)
    : QAbstractItemModel(parent)
    , m_side(side)
{}

void PluginTableModel::setTables(KCDisplayActionTables *tables)
{
    if (m_tables)
        disconnect(m_tables, nullptr, this, nullptr);
    beginResetModel();
    m_tables = tables;
    endResetModel();
    if (m_tables)
        connect(m_tables, &KCDisplayActionTables::categoriesUpdated, this, &PluginTableModel::reset);
}

void PluginTableModel::reset()
{
    beginResetModel();
    endResetModel();
}

QString PluginTableModel::categoryIdentifier(const QModelIndex &index) const
{
    if (!m_tables || !index.isValid() || index.internalId() != CategoryRow)
        return {};
    return m_tables->categories(m_side).value(index.row()).identifier;
}

QString PluginTableModel::signature(const QModelIndex &index) const
{
    if (!m_tables || !index.isValid() || index.internalId() == CategoryRow)
        return {};
    return m_tables->pluginIdForRow(m_side, int(index.internalId() - 1), index.row(), index.column());
}

QModelIndex PluginTableModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column, parent.isValid() ? quintptr(parent.row() + 1) : CategoryRow);
}

QModelIndex PluginTableModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == CategoryRow)
        return {};
    return createIndex(int(child.internalId() - 1), 0, CategoryRow);
}

int PluginTableModel::rowCount(const QModelIndex &parent) const
{
    if (!m_tables || parent.column() > 0)
        return 0;
    if (!parent.isValid())
        return int(m_tables->categories(m_side).size());
    if (parent.internalId() != CategoryRow)
        return 0;
    return m_tables->numberOfRowsInCategory(m_side, parent.row());
}

int PluginTableModel::columnCount(const QModelIndex &) const
{
    return KCDisplayActionTables::Columns;
}

QVariant PluginTableModel::data(const QModelIndex &index, int role) const
{
    if (!m_tables || !index.isValid())
        return {};
    if (index.internalId() == CategoryRow) {
        if (index.column() != 0)
            return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return m_tables->categoryTitle(m_side, index.row());
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    const QString plugin = signature(index);
    if (plugin.isEmpty())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_tables->displayName(plugin);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return m_tables->description(plugin);
    case Qt::DecorationRole:
        return QPixmap::fromImage(m_tables->preparedIconForId(plugin));
    case SignatureRole:
        return plugin;
    default:
        return {};
    }
}

Qt::ItemFlags PluginTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.internalId() == CategoryRow)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (signature(index).isEmpty())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList PluginTableModel::mimeTypes() const
{
    return {KCKeyClipboard::ButtonsMimeType};
}

QMimeData *PluginTableModel::mimeData(const QModelIndexList &indexes) const
{
    for (const QModelIndex &index : indexes) {
        const QString plugin = signature(index);
        if (!plugin.isEmpty())
            return m_tables->writePluginId(plugin).release();
    }
    return nullptr;
}

Qt::DropActions PluginTableModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

} // namespace brevona
