#include "PluginTableView.h"

#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

#include "InterfaceLogging.h"
#include "PluginTableModel.h"

namespace brevona {

PluginTableView::PluginTableView(KCDisplayActionTables::Side side, QWidget *parent)
    : QTreeView(parent)
    , m_model(new PluginTableModel(side, this))
{
    setModel(m_model);
    setHeaderHidden(true);
    header()->setSectionResizeMode(QHeaderView::Stretch);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setIconSize(QSize(KCDisplayActionTables::SmallIconSide, KCDisplayActionTables::SmallIconSide));
    // Category titles are a line of text; plugin rows are as tall as their icons.
    setUniformRowHeights(false);
    setIndentation(12);
    setTextElideMode(Qt::ElideRight);
    connect(m_model, &QAbstractItemModel::modelReset, this, &PluginTableView::restoreExpansion);
    const auto remember = [this](const QModelIndex &index, bool expanded) {
        const QString category = m_model->categoryIdentifier(index);
        if (m_model->tables() && !category.isEmpty())
            m_model->tables()->setCategoryExpanded(m_model->side(), category, expanded);
    };
    connect(this, &QTreeView::expanded, this,
            [remember](const QModelIndex &index) { remember(index, true); });
    connect(this, &QTreeView::collapsed, this,
            [remember](const QModelIndex &index) { remember(index, false); });
    connect(this, &QAbstractItemView::doubleClicked, this, &PluginTableView::place);
}

PluginTableView::~PluginTableView() = default;

void PluginTableView::setTables(KCDisplayActionTables *tables)
{
    m_model->setTables(tables);
}

QModelIndex PluginTableView::indexOfPlugin(const QString &signature) const
{
    for (int category = 0; category < m_model->rowCount(); ++category) {
        const QModelIndex parent = m_model->index(category, 0);
        for (int row = 0; row < m_model->rowCount(parent); ++row) {
            for (int column = 0; column < m_model->columnCount(parent); ++column) {
                const QModelIndex cell = m_model->index(row, column, parent);
                if (m_model->signature(cell) == signature)
                    return cell;
            }
        }
    }
    return {};
}

void PluginTableView::restoreExpansion()
{
    KCDisplayActionTables *tables = m_model->tables();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex category = m_model->index(row, 0);
        // The title reads across both columns.
        setFirstColumnSpanned(row, QModelIndex(), true);
        setExpanded(category, tables && tables->isCategoryExpanded(m_model->side(),
                                                                   m_model->categoryIdentifier(category)));
    }
}

void PluginTableView::place(const QModelIndex &index)
{
    const QString signature = m_model->signature(index);
    if (!signature.isEmpty() && m_model->tables())
        m_model->tables()->fakeDragForPlugin(signature);
}

void PluginTableView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !m_model->signature(currentIndex()).isEmpty()) {
        place(currentIndex());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void PluginTableView::startDrag(Qt::DropActions)
{
    const QString signature = m_model->signature(currentIndex());
    KCDisplayActionTables *tables = m_model->tables();
    if (signature.isEmpty() || !tables)
        return;
    std::unique_ptr<QMimeData> data = tables->writePluginId(signature);
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data.release());
    const QPixmap pixmap = QPixmap::fromImage(tables->bigIconForPlugin(signature));
    drag->setPixmap(pixmap);
    drag->setHotSpot(QPoint(pixmap.width() / 2, pixmap.height() / 2));
    qCDebug(lcInterface).noquote() << "Dragging plugin" << signature;
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace brevona
