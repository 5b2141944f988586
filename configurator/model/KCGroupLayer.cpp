#include "KCGroupLayer.h"

#include <algorithm>

#include "KeyboardData.h"
#include "MainThread.h"

namespace brevona {

const QString KCGroupLayer::TrashTitle = QStringLiteral("Trash");

KCGroupLayer::KCGroupLayer(const QString &uuid)
    : KCLayer(uuid)
{}

QString KCGroupLayer::iconName() const
{
    if (title() != TrashTitle)
        return QStringLiteral("GroupIcon.png");
    return m_layers.empty() ? QStringLiteral("trashempty_mini.png") : QStringLiteral("trashfull_mini.png");
}

QImage KCGroupLayer::icon() const
{
    if (!m_icon.isNull())
        return m_icon;
    // A missing resource picture draws nothing.
    return QImage(KeyboardData::shared().filePath(iconName()));
}

void KCGroupLayer::setLayers(LayerList layers)
{
    m_layers = std::move(layers);
}

std::shared_ptr<KCLayer> KCGroupLayer::layerAtIndex(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return m_layers[static_cast<size_t>(index)];
}

bool KCGroupLayer::hasLayer(const KCLayer *layer) const
{
    return indexOfLayer(layer).has_value();
}

std::optional<int> KCGroupLayer::indexOfLayer(const KCLayer *layer) const
{
    const auto found = std::find_if(m_layers.begin(), m_layers.end(),
                                    [layer](const auto &child) { return child.get() == layer; });
    if (found == m_layers.end())
        return std::nullopt;
    return static_cast<int>(found - m_layers.begin());
}

void KCGroupLayer::setExpanded(bool expanded)
{
    m_expanded = expanded;
}

void KCGroupLayer::addLayer(std::shared_ptr<KCLayer> layer)
{
    m_layers.push_back(std::move(layer));
}

void KCGroupLayer::insertLayer(std::shared_ptr<KCLayer> layer, int index)
{
    if (index < 0 || index >= count())
        m_layers.push_back(std::move(layer));
    else
        m_layers.insert(m_layers.begin() + index, std::move(layer));
}

void KCGroupLayer::removeLayer(const KCLayer *layer)
{
    const auto index = indexOfLayer(layer);
    if (!index)
        return;
    std::shared_ptr<KCLayer> removed = std::move(m_layers[static_cast<size_t>(*index)]);
    m_layers.erase(m_layers.begin() + *index);
    MainThread::post([removed] {});
}

void KCGroupLayer::moveLayer(const KCLayer *layer, int index)
{
    const auto from = indexOfLayer(layer);
    if (!from)
        return;
    // The old slot keeps a placeholder while the layer is inserted, so `index` counts in the list
    // as it was before the move.
    std::shared_ptr<KCLayer> moving = std::move(m_layers[static_cast<size_t>(*from)]);
    if (index < 0 || index >= count())
        m_layers.push_back(std::move(moving));
    else
        m_layers.insert(m_layers.begin() + index, std::move(moving));
    m_layers.erase(std::find(m_layers.begin(), m_layers.end(), nullptr));
}

} // namespace brevona
