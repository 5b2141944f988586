#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QAbstractItemModel>
#include <QHash>
#include <QPixmap>
#include <QStringList>

namespace brevona {

class KCLayer;
class KCLayerManager;

// The layer list over the layer manager's tree: the header row "LAYERS", the root's children
// (groups with their layers one level below), the header row "BACKGROUNDS", the language layers
// and the control-buttons layer. One column: the title, the item's icon and its switch.
//
// Every change goes through the manager: a rename, a switch or a drop is one undoable edit there,
// and the model shows the tree again after it (refresh()). A refresh that finds the same rows only
// repaints them, so the view keeps its editors, scroll position and expansion.
class LayerListModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // The identifiers of dragged rows travel under this type.
    static inline const QString RowsMimeType = QStringLiteral("application/x-brevona-layer-rows");
    static inline const QString LayersHeader = QStringLiteral("LAYERS");
    static inline const QString BackgroundsHeader = QStringLiteral("BACKGROUNDS");
    // The identifier of the item a row shows; empty for a header.
    static constexpr int IdentifierRole = Qt::UserRole + 1;

    explicit LayerListModel(QObject *parent = nullptr);
    ~LayerListModel() override;

    // Null while the manager is being replaced: the list is empty then.
    void setManager(KCLayerManager *manager);
    KCLayerManager *manager() const { return m_manager; }
    // Shows the manager's tree again; true when the rows changed (the model was reset).
    bool refresh();
    // With the start of each identifier after the title (the "DebugMode" preference).
    void setShowIdentifiers(bool show);
    // What an untitled item is called and shown with, from its conditions: an empty name keeps
    // "Untitled Layer" or "Untitled Group", a null image the item's own icon.
    using Autonamer = std::function<QString(const KCLayer &)>;
    using AutoIcon = std::function<QImage(const KCLayer &)>;
    void setAutonamer(Autonamer name, AutoIcon icon);

    QModelIndex indexOf(const QString &identifier) const;
    QString identifierAt(const QModelIndex &index) const;
    bool isHeader(const QModelIndex &index) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

Q_SIGNALS:
    // An edit the user made through the list was refused or failed: the manager's reason.
    void editRefused(const QString &message);

private:
    struct Row
    {
        QString header; // non-empty for a header row
        std::shared_ptr<KCLayer> item;
        std::vector<std::shared_ptr<KCLayer>> children;
    };

    std::vector<Row> snapshot() const;
    static bool sameRows(const std::vector<Row> &a, const std::vector<Row> &b);
    KCLayer *itemAt(const QModelIndex &index) const;
    bool editable(const KCLayer *item) const;
    QPixmap iconFor(const KCLayer &item) const;
    // Where rows dropped at (row, parent) land, in the manager's terms: the item dropped on
    // (empty: the top level) and the child index (-1: onto the item).
    bool dropPlace(int row, const QModelIndex &parent, QString &onItem, int &childIndex) const;
    static QStringList draggedRows(const QMimeData *data);
    // Emits editRefused() unless the manager's last edit went through.
    bool reportOutcome(bool done);

    KCLayerManager *m_manager = nullptr;
    std::vector<Row> m_rows;
    bool m_showIdentifiers = false;
    Autonamer m_autoname;
    AutoIcon m_autoIcon;
    mutable QHash<const KCLayer *, QPixmap> m_icons;
};

} // namespace brevona
