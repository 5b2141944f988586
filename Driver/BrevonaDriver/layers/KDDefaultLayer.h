#pragma once

#include <memory>

#include "KDLayer.h"

namespace brevona {

// The always-visible bottom layer holding the ten application keys, black and without plugins.
// It is not part of the store and not registered by identifier.
class KDDefaultLayer : public KDLayer
{
public:
    static std::shared_ptr<KDDefaultLayer> create();

    bool isVisible() const override { return true; }
    QString description() const override;

private:
    KDDefaultLayer();
};

} // namespace brevona
