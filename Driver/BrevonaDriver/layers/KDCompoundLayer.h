#pragma once

#include <map>
#include <memory>
#include <vector>

#include <QStringList>

namespace brevona {

class KDCompoundButton;
class KDLayer;
class KDLayerGroup;

// One composition of the keyboard: for every key the stack of the visible layers' buttons.
class KDCompoundLayer
{
public:
    KDCompoundLayer();
    ~KDCompoundLayer();

    KDCompoundLayer(const KDCompoundLayer &) = delete;
    KDCompoundLayer &operator=(const KDCompoundLayer &) = delete;

    // Puts every button of the layer on top of its key's stack.
    void addLayer(const std::shared_ptr<KDLayer> &layer);
    // Identifiers of the stacked layers, bottom first ("" for the default layer).
    QStringList layerIdentifiers() const;
    // The demo groups whose current entry this composition shows: they animate while it stands.
    void addAnimatedGroup(const std::shared_ptr<KDLayerGroup> &group);
    const std::vector<std::weak_ptr<KDLayerGroup>> &animatedGroups() const { return m_animatedGroups; }

    const std::map<QString, std::shared_ptr<KDCompoundButton>> &getButtons() const { return m_buttons; }

    void collapseCompoundButtons();
    void activate();
    void deactivate();
    // Deactivates every compound button the fresh composition does not hold under the same key. A key
    // the fresh composition lacks altogether (no visible layer defines it) is blacked out.
    void deactivateByNewFreshLayer(const KDCompoundLayer &fresh);

private:
    void onTotalRepaint();

    std::map<QString, std::shared_ptr<KDCompoundButton>> m_buttons;
    std::vector<std::shared_ptr<KDLayer>> m_layers;
    std::vector<std::weak_ptr<KDLayerGroup>> m_animatedGroups;
};

} // namespace brevona
