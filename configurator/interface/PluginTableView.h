#pragma once

#include <QTreeView>

#include "KCDisplayActionTables.h"

namespace brevona {

class PluginTableModel;

// One plugin table: categories that open and close (as they were at the last run), plugins two
// to a row. A plugin is dragged onto a key with its large icon under the pointer, or put on the
// keys by a double-click or Return.
class PluginTableView : public QTreeView
{
    Q_OBJECT
public:
    explicit PluginTableView(KCDisplayActionTables::Side side, QWidget *parent = nullptr);
    ~PluginTableView() override;

    void setTables(KCDisplayActionTables *tables);
    PluginTableModel *tableModel() const { return m_model; }
    // The cell of a plugin; invalid when the table does not show it.
    QModelIndex indexOfPlugin(const QString &signature) const;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void restoreExpansion();
    void place(const QModelIndex &index);

    PluginTableModel *m_model = nullptr;
};

} // namespace brevona
