#pragma once

#include <QImage>
#include <QString>

#include "Result.h"

namespace brevona {

// The picture the keyboard shows now: the store composed by the driver's own layer code (visible
// layers, conditions as the session stands, hybrid zones, display plugins), every key's picture
// drawn in its cell of the keyboard picture. Hot keys are not taken while it composes.
class LayersComposition
{
public:
    static Result<QImage> render(const QString &storeRoot);
};

} // namespace brevona
