#pragma once

#include <QMetaType>
#include <QVariant>

namespace brevona {

// The null marker of commands and plugin settings ("remove this entry"). It is a value of its own
// so that it can never be confused with an empty string, a missing key or an invalid QVariant.
struct NullMarker
{
    bool operator==(const NullMarker &) const { return true; }
};

QVariant nullMarker();
bool isNullMarker(const QVariant &value);

} // namespace brevona

Q_DECLARE_METATYPE(brevona::NullMarker)
