#pragma once

#include <QStringList>
#include <QTreeView>

class QMenu;

namespace brevona {

class LayerListModel;

// The layer list: a tree of one column whose selection, expansion and edits are the layer
// manager's. Rows are renamed in place (F2 or a double click), switched by their check box and
// moved by dragging; the right button opens the list's menu on the row under it.
class LayerListView : public QTreeView
{
    Q_OBJECT
public:
    explicit LayerListView(LayerListModel &model, QWidget *parent = nullptr);

    void setContextMenu(QMenu *menu) { m_contextMenu = menu; }
    // The selected rows' identifiers, in the order the list shows them.
    QStringList selectedIdentifiers() const;
    // Shows the manager's expansion and selection after the model showed its tree again.
    void showManagerState();

Q_SIGNALS:
    // The user changed the selection; the manager already holds it.
    void selectionEdited();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void selectionEdit();
    void expansionEdit(const QModelIndex &index, bool expanded);

    LayerListModel &m_model;
    QMenu *m_contextMenu = nullptr;
    bool m_showing = false;
};

} // namespace brevona
