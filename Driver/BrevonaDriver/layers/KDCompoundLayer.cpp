#include "KDCompoundLayer.h"

#include "KDButton.h"
#include "KDCompoundButton.h"
#include "KDLayer.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDCompoundLayer::KDCompoundLayer()
{
    NotificationCenter::defaultCenter().addObserver(this, notifications::TotalRepaintNeeded,
                                                    [this](Notification &) { onTotalRepaint(); });
}

KDCompoundLayer::~KDCompoundLayer()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void KDCompoundLayer::addLayer(const std::shared_ptr<KDLayer> &layer)
{
    if (!layer)
        return;
    m_layers.push_back(layer);
    for (const auto &[key, button] : layer->getButtons()) {
        auto &compound = m_buttons[key];
        if (!compound) {
            compound = KDCompoundButton::createWithId(key);
            compound->setContext(layer->getId());
        }
        compound->addButton(button);
    }
}

void KDCompoundLayer::addAnimatedGroup(const std::shared_ptr<KDLayerGroup> &group)
{
    m_animatedGroups.push_back(group);
}

QStringList KDCompoundLayer::layerIdentifiers() const
{
    QStringList ids;
    for (const auto &layer : m_layers)
        ids.append(layer->getId());
    return ids;
}

void KDCompoundLayer::collapseCompoundButtons()
{
    for (auto &[key, compound] : m_buttons)
        compound->collapse();
}

void KDCompoundLayer::activate()
{
    for (auto &[key, compound] : m_buttons)
        compound->activate();
}

void KDCompoundLayer::deactivate()
{
    for (auto &[key, compound] : m_buttons)
        compound->deactivate();
}

void KDCompoundLayer::deactivateByNewFreshLayer(const KDCompoundLayer &fresh)
{
    for (auto &[key, compound] : m_buttons) {
        const auto it = fresh.m_buttons.find(key);
        if (it == fresh.m_buttons.end() || it->second != compound)
            compound->deactivate();
        // Otherwise the display would keep the last picture of a layer that is gone.
        if (it == fresh.m_buttons.end())
            compound->showBlack();
    }
}

void KDCompoundLayer::onTotalRepaint()
{
    // Put together again from the children's pictures, then re-sent: the request comes from
    // plugins that drew without update().
    for (auto &[key, compound] : m_buttons) {
        compound->redrawQuarters();
        compound->repaint();
    }
}

} // namespace brevona
