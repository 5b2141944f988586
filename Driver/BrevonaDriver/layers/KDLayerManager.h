#pragma once

#include <memory>

#include <QString>

namespace brevona {

class KDCompoundLayer;
class KDDefaultLayer;
class KDLayerGroup;
class Notification;

// Owns the driver's tree: loads the store, applies the structural commands and rebuilds the
// composition whenever a condition may have changed.
class KDLayerManager
{
public:
    // `storeFolder` is the store's root ("Layers"); `blackLayerFolder` the driver's own bottom layer.
    KDLayerManager(QString storeFolder, QString blackLayerFolder);
    ~KDLayerManager();

    KDLayerManager(const KDLayerManager &) = delete;
    KDLayerManager &operator=(const KDLayerManager &) = delete;

    void load();
    void recompose();

    const KDLayerGroup *root() const { return m_root.get(); }
    const KDCompoundLayer *currentLayer() const { return m_currentLayer.get(); }
    const KDDefaultLayer *defaultLayer() const { return m_defaultLayer.get(); }
    // The tree as the diagnostic outline shows it, one item a line, indented by depth.
    QString outline() const;

private:
    void onLayersMoved(Notification &notification);
    void onGroupMoved(Notification &notification);
    void onLayersDeleted(Notification &notification);
    void onButtonsMoved(Notification &notification);
    void onRefreshLayer(Notification &notification);
    void animateShownDemoGroups(const KDCompoundLayer &fresh);

    QString m_storeFolder;
    QString m_blackLayerFolder;
    std::shared_ptr<KDLayerGroup> m_root;
    std::shared_ptr<KDDefaultLayer> m_defaultLayer;
    std::unique_ptr<KDCompoundLayer> m_currentLayer;
};

} // namespace brevona
