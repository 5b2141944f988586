#pragma once

#include <QString>
#include <QVariantMap>

namespace brevona {

class KCLayer;
class KCLayerManager;

// What `list` and `show` tell: the same facts as a property-list value for scripts and as text
// for people.
class LayersReport
{
public:
    explicit LayersReport(KCLayerManager &manager);

    // The user's tree: an array of item dictionaries, groups with their "Items".
    QVariantList tree() const;
    // One item with its keys and conditions.
    QVariantMap item(KCLayer &layer) const;

    static QString treeText(const QVariantList &tree);
    static QString itemText(const QVariantMap &item);

private:
    QVariantMap summary(KCLayer &layer) const;

    KCLayerManager &m_manager;
};

} // namespace brevona
