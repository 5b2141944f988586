#pragma once

#include <memory>
#include <vector>

#include <QStringList>

namespace brevona {

class KDLayer;

// One composition of the keyboard: the visible layers, bottom first.
class KDCompoundLayer
{
public:
    KDCompoundLayer();
    ~KDCompoundLayer();

    void addLayer(const std::shared_ptr<KDLayer> &layer);
    const std::vector<std::shared_ptr<KDLayer>> &layers() const { return m_layers; }
    // Identifiers of the stacked layers, bottom first ("" for the default layer).
    QStringList layerIdentifiers() const;

    void activate();
    void deactivate();
    void deactivateByNewFreshLayer(const KDCompoundLayer &fresh);

private:
    std::vector<std::shared_ptr<KDLayer>> m_layers;
};

} // namespace brevona
