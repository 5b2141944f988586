#include "LayerListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>

#include "KCGroupLayer.h"
#include "KCLayerManager.h"
#include "LayerListModel.h"

namespace brevona {

LayerListView::LayerListView(LayerListModel &model, QWidget *parent)
    : QTreeView(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("layerList"));
    setAccessibleName(tr("Layers"));
    setAccessibleDescription(
        tr("The layers and groups of the keyboard, top first, and the background layers"));
    setModel(&m_model);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(false);
    setIconSize(QSize(64, 18));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &LayerListView::selectionEdit);
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex &index) { expansionEdit(index, true); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex &index) { expansionEdit(index, false); });
    // A reset model brings a new selection model along only when the model changes; the
    // connection above stays.
}

QStringList LayerListView::selectedIdentifiers() const
{
    QStringList identifiers;
    const auto visit = [&](const QModelIndex &index) {
        if (selectionModel()->isSelected(index)) {
            const QString identifier = m_model.identifierAt(index);
            if (!identifier.isEmpty())
                identifiers << identifier;
        }
    };
    for (int row = 0; row < m_model.rowCount(); ++row) {
        const QModelIndex top = m_model.index(row, 0);
        visit(top);
        for (int child = 0; child < m_model.rowCount(top); ++child)
            visit(m_model.index(child, 0, top));
    }
    return identifiers;
}

void LayerListView::selectionEdit()
{
    if (m_showing || !m_model.manager())
        return;
    m_model.manager()->setSelection(selectedIdentifiers());
    Q_EMIT selectionEdited();
}

void LayerListView::expansionEdit(const QModelIndex &index, bool expanded)
{
    KCLayerManager *manager = m_model.manager();
    if (m_showing || !manager)
        return;
    const auto group =
        std::dynamic_pointer_cast<KCGroupLayer>(manager->findLayerByID(m_model.identifierAt(index)));
    if (group && group->isExpanded() != expanded)
        manager->setExpanded(group->UUID(), expanded);
}

void LayerListView::showManagerState()
{
    KCLayerManager *manager = m_model.manager();
    m_showing = true;
    if (manager) {
        for (int row = 0; row < m_model.rowCount(); ++row) {
            const QModelIndex top = m_model.index(row, 0);
            const auto group =
                std::dynamic_pointer_cast<KCGroupLayer>(manager->findLayerByID(m_model.identifierAt(top)));
            if (group)
                setExpanded(top, group->isExpanded());
        }
        QItemSelection selection;
        QModelIndex last;
        for (const QString &identifier : manager->selection()) {
            const QModelIndex index = m_model.indexOf(identifier);
            if (index.isValid()) {
                selection.select(index, index);
                last = index;
            }
        }
        if (selectionModel()->selection() != selection)
            selectionModel()->select(selection,
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (last.isValid()) {
            selectionModel()->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
            scrollTo(last);
        } else if (m_model.isHeader(currentIndex())) {
            // A header is no place for the keyboard focus.
            selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        }
    }
    m_showing = false;
}

void LayerListView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_contextMenu)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && !selectionModel()->isSelected(index) &&
        (m_model.flags(index) & Qt::ItemIsSelectable))
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (index.isValid())
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_contextMenu->exec(event->globalPos());
}

} // namespace brevona
