#include "KDCompoundLayer.h"

#include "KDButton.h"
#include "KDLayer.h"

namespace brevona {

KDCompoundLayer::KDCompoundLayer() = default;
KDCompoundLayer::~KDCompoundLayer() = default;

void KDCompoundLayer::addLayer(const std::shared_ptr<KDLayer> &layer)
{
    if (layer)
        m_layers.push_back(layer);
}

QStringList KDCompoundLayer::layerIdentifiers() const
{
    QStringList ids;
    for (const auto &layer : m_layers)
        ids.append(layer->getId());
    return ids;
}

void KDCompoundLayer::activate()
{
    for (const auto &layer : m_layers) {
        for (const auto &[key, button] : layer->getButtons())
            button->activate();
    }
}

void KDCompoundLayer::deactivate()
{
    for (const auto &layer : m_layers) {
        for (const auto &[key, button] : layer->getButtons())
            button->deactivate();
    }
}

void KDCompoundLayer::deactivateByNewFreshLayer(const KDCompoundLayer &fresh)
{
    for (const auto &layer : m_layers) {
        const bool kept = std::find(fresh.m_layers.begin(), fresh.m_layers.end(), layer) != fresh.m_layers.end();
        if (kept)
            continue;
        for (const auto &[key, button] : layer->getButtons())
            button->deactivate();
    }
}

} // namespace brevona
