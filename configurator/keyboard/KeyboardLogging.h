#pragma once

#include <QLoggingCategory>

namespace brevona {
Q_DECLARE_LOGGING_CATEGORY(lcKeyboard)
}
