#pragma once

#include <cmath>

#include <QVariant>

namespace brevona {

// Whether a value read from a property list or a command is a number: any integer width or a
// finite real. Booleans, numeric text and data are not numbers.
inline bool isPlistNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        return std::isfinite(value.toDouble());
    default:
        return false;
    }
}

} // namespace brevona
