#pragma once

#include <QAbstractItemModel>
#include <QPointer>

#include "KCDisplayActionTables.h"

namespace brevona {

// One plugin table as an item model: a top-level row per category, under it the category's
// plugins two to a row. A plugin's cell shows its small icon and name, tells its description as
// tool tip, and drags as the tables write it; an empty cell and a category row do not drag.
class PluginTableModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // The signature of a plugin's cell.
    static constexpr int SignatureRole = Qt::UserRole + 1;

    PluginTableModel(KCDisplayActionTables::Side side, QObject *parent = nullptr);

    // Null while there is no catalogue: the table is empty.
    void setTables(KCDisplayActionTables *tables);
    KCDisplayActionTables *tables() const { return m_tables; }
    KCDisplayActionTables::Side side() const { return m_side; }

    // The category a top-level row stands for; empty for any other index.
    QString categoryIdentifier(const QModelIndex &index) const;
    // The plugin of a cell; empty for any other index.
    QString signature(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    void reset();

    KCDisplayActionTables::Side m_side;
    QPointer<KCDisplayActionTables> m_tables;
};

} // namespace brevona
