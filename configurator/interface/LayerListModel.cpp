#include "LayerListModel.h"

#include <algorithm>

#include <QBrush>
#include <QDataStream>
#include <QFont>
#include <QIODevice>
#include <QMimeData>
#include <QPalette>

#include "InterfaceLogging.h"
#include "KCGroupLayer.h"
#include "KCKeyboardDefaultLayer.h"
#include "KCLanguageLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"

namespace brevona {

namespace {

// Top-level rows carry 0; a group's rows carry the group's top-level row plus one.
constexpr quintptr TopLevel = 0;
constexpr int IconHeight = 18;
// More identifiers than any store holds: a malformed drag is not read further.
constexpr int MaxDraggedRows = 100000;

} // namespace

LayerListModel::LayerListModel(QObject *parent)
    : QAbstractItemModel(parent)
{}

LayerListModel::~LayerListModel() = default;

void LayerListModel::setManager(KCLayerManager *manager)
{
    beginResetModel();
    m_manager = manager;
    m_rows = snapshot();
    m_icons.clear();
    endResetModel();
}

void LayerListModel::setShowIdentifiers(bool show)
{
    m_showIdentifiers = show;
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0));
}

std::vector<LayerListModel::Row> LayerListModel::snapshot() const
{
    std::vector<Row> rows;
    if (!m_manager || !m_manager->rootGroup())
        return rows;
    rows.push_back({LayersHeader, nullptr, {}});
    for (const auto &child : m_manager->rootGroup()->layers()) {
        Row row{QString(), child, {}};
        if (child->isGroup()) {
            const auto &layers = static_cast<const KCGroupLayer &>(*child).layers();
            row.children.assign(layers.begin(), layers.end());
        }
        rows.push_back(std::move(row));
    }
    rows.push_back({BackgroundsHeader, nullptr, {}});
    for (const auto &language : m_manager->languageLayers())
        rows.push_back({QString(), language, {}});
    if (const auto controls = m_manager->keyboardDefaultLayer())
        rows.push_back({QString(), controls, {}});
    return rows;
}

bool LayerListModel::sameRows(const std::vector<Row> &a, const std::vector<Row> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].header != b[i].header || a[i].item != b[i].item || a[i].children != b[i].children)
            return false;
    }
    return true;
}

void LayerListModel::setAutonamer(Autonamer name, AutoIcon icon)
{
    m_autoname = std::move(name);
    m_autoIcon = std::move(icon);
    refresh();
}

bool LayerListModel::refresh()
{
    auto rows = snapshot();
    m_icons.clear();
    if (sameRows(rows, m_rows)) {
        m_rows = std::move(rows);
        for (int row = 0; row < rowCount(); ++row) {
            const QModelIndex top = index(row, 0);
            if (const int children = rowCount(top))
                Q_EMIT dataChanged(index(0, 0, top), index(children - 1, 0, top));
        }
        if (!m_rows.empty())
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0));
        return false;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
    return true;
}

QModelIndex LayerListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(m_rows.size()) ? createIndex(row, 0, TopLevel) : QModelIndex();
    if (parent.internalId() != TopLevel || parent.row() >= static_cast<int>(m_rows.size()))
        return {};
    const Row &group = m_rows[static_cast<size_t>(parent.row())];
    if (row >= static_cast<int>(group.children.size()))
        return {};
    return createIndex(row, 0, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex LayerListModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == TopLevel)
        return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, TopLevel);
}

int LayerListModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_rows.size());
    if (parent.internalId() != TopLevel || parent.row() >= static_cast<int>(m_rows.size()))
        return 0;
    return static_cast<int>(m_rows[static_cast<size_t>(parent.row())].children.size());
}

int LayerListModel::columnCount(const QModelIndex &) const
{
    return 1;
}

KCLayer *LayerListModel::itemAt(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    if (index.internalId() == TopLevel)
        return index.row() < static_cast<int>(m_rows.size())
                   ? m_rows[static_cast<size_t>(index.row())].item.get()
                   : nullptr;
    const size_t group = index.internalId() - 1;
    if (group >= m_rows.size() || index.row() >= static_cast<int>(m_rows[group].children.size()))
        return nullptr;
    return m_rows[group].children[static_cast<size_t>(index.row())].get();
}

bool LayerListModel::isHeader(const QModelIndex &index) const
{
    return index.isValid() && index.internalId() == TopLevel &&
           index.row() < static_cast<int>(m_rows.size()) &&
           !m_rows[static_cast<size_t>(index.row())].header.isEmpty();
}

QString LayerListModel::identifierAt(const QModelIndex &index) const
{
    const KCLayer *item = itemAt(index);
    return item ? item->UUID() : QString();
}

QModelIndex LayerListModel::indexOf(const QString &identifier) const
{
    for (size_t row = 0; row < m_rows.size(); ++row) {
        const QModelIndex top = index(static_cast<int>(row), 0);
        if (m_rows[row].item && m_rows[row].item->UUID() == identifier)
            return top;
        for (size_t child = 0; child < m_rows[row].children.size(); ++child) {
            if (m_rows[row].children[child]->UUID() == identifier)
                return index(static_cast<int>(child), 0, top);
        }
    }
    return {};
}

bool LayerListModel::editable(const KCLayer *item) const
{
    return item && !item->staticLayer() && m_manager && m_manager->relativePathForLayer(item).has_value();
}

QPixmap LayerListModel::iconFor(const KCLayer &item) const
{
    const auto cached = m_icons.constFind(&item);
    if (cached != m_icons.cend())
        return *cached;
    QImage image = item.icon();
    if (item.title().isEmpty() && m_autoIcon) {
        const QImage automatic = m_autoIcon(item);
        if (!automatic.isNull())
            image = automatic;
    }
    const QPixmap pixmap =
        image.isNull() ? QPixmap()
                       : QPixmap::fromImage(image.scaledToHeight(IconHeight, Qt::SmoothTransformation));
    m_icons.insert(&item, pixmap);
    return pixmap;
}

QVariant LayerListModel::data(const QModelIndex &index, int role) const
{
    if (isHeader(index)) {
        const QString &header = m_rows[static_cast<size_t>(index.row())].header;
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return header;
        case Qt::FontRole: {
            QFont font;
            font.setBold(true);
            font.setPointSizeF(font.pointSizeF() * 0.85);
            return font;
        }
        case Qt::ForegroundRole:
            return QPalette().brush(QPalette::Disabled, QPalette::Text);
        default:
            return {};
        }
    }
    const KCLayer *item = itemAt(index);
    if (!item)
        return {};
    const bool untitled = item->title().isEmpty();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        QString text = untitled && m_autoname ? m_autoname(*item) : item->title();
        if (text.isEmpty())
            text = item->isGroup() ? tr("Untitled Group") : tr("Untitled Layer");
        if (m_showIdentifiers)
            text += QStringLiteral(" (%1)").arg(item->UUID().left(5));
        return text;
    }
    case Qt::EditRole:
        return item->title();
    case Qt::FontRole:
        if (untitled) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::ForegroundRole:
        if (untitled || !item->enabled())
            return QPalette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::DecorationRole:
        return iconFor(*item);
    case Qt::CheckStateRole:
        if (!editable(item))
            return {};
        return item->enabled() ? Qt::Checked : Qt::Unchecked;
    case Qt::ToolTipRole: {
        if (item->staticLayer())
            return tr("Background layer, drawn from the input language or the control keys");
        QString tip = item->enabled() ? tr("On") : tr("Off");
        if (const auto *layer = dynamic_cast<const KCSingleLayer *>(item)) {
            const int keys = layer->numberOfButtons();
            tip += keys == 1 ? tr(", 1 key") : tr(", %1 keys").arg(keys);
            if (layer->hybrid())
                tip += tr(", hybrid");
        }
        return tip;
    }
    case IdentifierRole:
        return item->UUID();
    default:
        return {};
    }
}

bool LayerListModel::reportOutcome(bool done)
{
    if (!done && m_manager)
        Q_EMIT editRefused(m_manager->lastError());
    return done;
}

bool LayerListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const KCLayer *item = itemAt(index);
    if (!editable(item))
        return false;
    const QString identifier = item->UUID();
    if (role == Qt::CheckStateRole) {
        const bool enabled = value.toInt() == Qt::Checked;
        if (enabled == item->enabled())
            return true;
        return reportOutcome(m_manager->toggleLayer(identifier, enabled) == KCLayerManager::Outcome::Done);
    }
    if (role == Qt::EditRole) {
        const QString title = value.toString().trimmed();
        if (title == item->title())
            return true;
        return reportOutcome(m_manager->rename(identifier, title) == KCLayerManager::Outcome::Done);
    }
    return false;
}

Qt::ItemFlags LayerListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    if (isHeader(index))
        return Qt::ItemIsEnabled;
    const KCLayer *item = itemAt(index);
    if (!item)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable(item)) {
        flags |= Qt::ItemIsEditable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled;
        if (item->isGroup())
            flags |= Qt::ItemIsDropEnabled;
    }
    return flags;
}

Qt::DropActions LayerListModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions LayerListModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

QStringList LayerListModel::mimeTypes() const
{
    return {RowsMimeType};
}

QMimeData *LayerListModel::mimeData(const QModelIndexList &indexes) const
{
    // In row order, as the list shows them; background rows never enter the tree.
    QModelIndexList sorted = indexes;
    std::sort(sorted.begin(), sorted.end(), [](const QModelIndex &a, const QModelIndex &b) {
        const int groupA = a.parent().isValid() ? a.parent().row() : a.row();
        const int groupB = b.parent().isValid() ? b.parent().row() : b.row();
        if (groupA != groupB)
            return groupA < groupB;
        return (a.parent().isValid() ? a.row() + 1 : 0) < (b.parent().isValid() ? b.row() + 1 : 0);
    });
    QStringList identifiers;
    for (const QModelIndex &index : sorted) {
        const KCLayer *item = itemAt(index);
        if (!editable(item))
            return nullptr;
        if (!identifiers.contains(item->UUID()))
            identifiers << item->UUID();
    }
    if (identifiers.isEmpty())
        return nullptr;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << identifiers;
    auto *data = new QMimeData;
    data->setData(RowsMimeType, bytes);
    return data;
}

QStringList LayerListModel::draggedRows(const QMimeData *data)
{
    if (!data || !data->hasFormat(RowsMimeType))
        return {};
    const QByteArray bytes = data->data(RowsMimeType);
    QDataStream stream(bytes);
    quint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok || count == 0 || count > MaxDraggedRows)
        return {};
    QDataStream again(bytes);
    QStringList identifiers;
    again >> identifiers;
    if (again.status() != QDataStream::Ok)
        return {};
    return identifiers;
}

bool LayerListModel::dropPlace(int row, const QModelIndex &parent, QString &onItem, int &childIndex) const
{
    if (!parent.isValid()) {
        // Between top-level rows; below the last row lands at the end of the root.
        onItem.clear();
        childIndex = row < 0 ? static_cast<int>(m_rows.size()) : row;
        return true;
    }
    if (isHeader(parent))
        return false;
    onItem = identifierAt(parent);
    childIndex = row;
    return !onItem.isEmpty();
}

bool LayerListModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int,
                                     const QModelIndex &parent) const
{
    QString onItem;
    int childIndex = 0;
    const QStringList dragged = draggedRows(data);
    return m_manager && action == Qt::MoveAction && !dragged.isEmpty() &&
           dropPlace(row, parent, onItem, childIndex) &&
           m_manager->validateDrop(dragged, onItem, childIndex).has_value();
}

bool LayerListModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int,
                                  const QModelIndex &parent)
{
    QString onItem;
    int childIndex = 0;
    const QStringList dragged = draggedRows(data);
    if (!m_manager || action != Qt::MoveAction || dragged.isEmpty() ||
        !dropPlace(row, parent, onItem, childIndex))
        return false;
    const auto target = m_manager->validateDrop(dragged, onItem, childIndex);
    if (!target) {
        qCInfo(lcInterface) << "Drop refused:" << dragged << "onto"
                            << (onItem.isEmpty() ? "the top level" : onItem);
        return false;
    }
    // The manager moved the rows itself: the view must not remove the dragged rows afterwards.
    reportOutcome(m_manager->acceptDrop(dragged, *target) == KCLayerManager::Outcome::Done);
    return false;
}

} // namespace brevona
