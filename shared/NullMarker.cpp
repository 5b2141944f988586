#include "NullMarker.h"

namespace brevona {

QVariant nullMarker()
{
    return QVariant::fromValue(NullMarker{});
}

bool isNullMarker(const QVariant &value)
{
    return value.metaType() == QMetaType::fromType<NullMarker>();
}

} // namespace brevona
