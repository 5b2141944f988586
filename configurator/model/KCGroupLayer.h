#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "KCLayer.h"

namespace brevona {

// A group of layers in list order (the store's "ItemOrder"): the root holds groups and single
// layers, a group inside the root holds single layers only.
class KCGroupLayer : public KCLayer
{
public:
    using LayerList = std::vector<std::shared_ptr<KCLayer>>;

    explicit KCGroupLayer(const QString &uuid = QString());

    static const QString TrashTitle;

    bool isGroup() const override { return true; }
    // The trash shows whether it holds anything; every other group the group icon. A set icon wins.
    QImage icon() const override;
    QString iconName() const;

    const LayerList &layers() const { return m_layers; }
    void setLayers(LayerList layers);
    int count() const { return static_cast<int>(m_layers.size()); }
    // Nothing for a negative or too large index.
    std::shared_ptr<KCLayer> layerAtIndex(int index) const;
    bool hasLayer(const KCLayer *layer) const;
    std::optional<int> indexOfLayer(const KCLayer *layer) const;

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);

    void addLayer(std::shared_ptr<KCLayer> layer);
    // An index at or beyond the end appends.
    void insertLayer(std::shared_ptr<KCLayer> layer, int index);
    // The child leaves the group; it is released on the next event-loop pass at the earliest, so a
    // caller in the middle of working with it keeps a valid object.
    void removeLayer(const KCLayer *layer);
    // `index` counts in the list as it was before the move: moving the second of five layers to 4
    // places it after the fourth.
    void moveLayer(const KCLayer *layer, int index);

private:
    LayerList m_layers;
    bool m_expanded = false;
};

} // namespace brevona
