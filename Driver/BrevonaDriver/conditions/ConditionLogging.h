#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QVariant>

Q_DECLARE_LOGGING_CATEGORY(lcConditions)

namespace brevona {

// A property-list value as the condition messages print it: {Keys = "Shift|Option"; }.
QString describePlist(const QVariant &value);

} // namespace brevona
