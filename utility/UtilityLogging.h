#pragma once

#include <QLoggingCategory>

namespace brevona {

// The utility library's logging category, "brevona.utility".
Q_DECLARE_LOGGING_CATEGORY(lcUtility)

} // namespace brevona
