#pragma once

#include <memory>
#include <vector>

#include <QStringList>

#include "KDContext.h"

class QTimer;

namespace brevona {

class KDCompoundLayer;

class KDLayerGroup : public KDContext
{
public:
    static constexpr quint32 AppendIndex = 0xFFFFFFFFu;

    // Loads the folder and every sub-folder below it; registers all of them.
    static std::shared_ptr<KDLayerGroup> createWithDirectory(const QString &directory);
    static bool isGroupDirectory(const QString &directory);
    ~KDLayerGroup() override;

    const QStringList &itemOrder() const { return m_itemOrder; }
    bool isDemoGroup() const { return m_demoGroup; }
    int currentActiveDemoLayer() const { return m_currentActiveDemoLayer; }
    bool isDemoTimerRunning() const;

    // The visible part of this group, bottom first; nothing when the group is not visible. A demo
    // group that contributes is listed with the composition as animated.
    void addCompoundLayerTo(KDCompoundLayer &composition);

    // Entries that stay at the end of the order (the bottom of the stack), in this order, whatever
    // new orders, insertions and removals say: the root's built-in "Defaults" and the driver's own
    // black layer.
    void setBottomEntries(const QStringList &identifiers);
    void setNewItems(const QStringList &items);
    // Returns an error text for an index out of range. Appending stops above the bottom entries.
    QString insertChild(const QString &identifier, quint32 index);
    void removeChildById(const QString &identifier);

    bool isGroup() const override { return true; }
    int getChildItemsCount() const override;
    std::shared_ptr<KDContext> getChildItemAtIndex(int index) const override;
    QString description() const override;

    // Starts or stops the 5 s animation of a demo group; a running animation keeps its pace.
    void setDemoRunning(bool running);
    // One tick of the demo animation.
    void animateDemoGroup();

private:
    explicit KDLayerGroup(const QString &directory);
    // `path`: the groups being walked, outermost first.
    void addCompoundLayerTo(KDCompoundLayer &composition, std::vector<const KDLayerGroup *> &path);
    void load();
    void onCreateItem(Notification &notification);

    QStringList m_itemOrder;
    QStringList m_bottomEntries;
    bool m_demoGroup = false;
    std::unique_ptr<QTimer> m_demoTimer;
    int m_currentActiveDemoLayer = 0;
};

// Loads one item folder of the store as a group or a layer and registers it; nothing when the
// folder does not make an item.
std::shared_ptr<KDContext> loadItemFolder(const QString &directory);

} // namespace brevona
