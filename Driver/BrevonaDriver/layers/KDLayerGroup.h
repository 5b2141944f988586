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
    bool isDemoTimerRunning() const { return m_demoTimer != nullptr; }

    // The visible part of this group, bottom first; nothing when the group is not visible.
    void addCompoundLayerTo(KDCompoundLayer &composition) const;

    void setNewItems(const QStringList &items);
    // Returns an error text for an index out of range.
    QString insertChild(const QString &identifier, quint32 index);
    void removeChildById(const QString &identifier);

    bool isGroup() const override { return true; }
    int getChildItemsCount() const override;
    std::shared_ptr<KDContext> getChildItemAtIndex(int index) const override;
    QString description() const override;
    void toggleLayerVisibility(const QString &identifier) override;

    // One tick of the demo animation.
    void animateDemoGroup();

private:
    explicit KDLayerGroup(const QString &directory);
    // `path`: the groups being walked, outermost first.
    void addCompoundLayerTo(KDCompoundLayer &composition, std::vector<const KDLayerGroup *> &path) const;
    void load();
    void onCreateItem(Notification &notification);
    void updateDemoTimer();

    QStringList m_itemOrder;
    bool m_demoGroup = false;
    QTimer *m_demoTimer = nullptr;
    int m_currentActiveDemoLayer = 0;
};

// Loads one item folder of the store as a group or a layer and registers it; nothing when the
// folder does not make an item.
std::shared_ptr<KDContext> loadItemFolder(const QString &directory);

} // namespace brevona
