#pragma once

#include <QString>

namespace brevona::notifications {

// In-process notifications of the condition triggers; each is followed by
// "SOME_CONDITION_HAVE_TRIGGERED" when the watched state changed.
inline const QString AppLaunched = QStringLiteral("APP_LAUNCHED_NOTIFICATION");     // object: identifier
inline const QString AppTerminated = QStringLiteral("APP_TERMINATED_NOTIFICATION"); // object: identifier
inline const QString ForeappHaveChanged =
    QStringLiteral("FOREAPP_HAVE_CHANGED_NOTIFICATION"); // object: identifier
inline const QString CurrentLanguageHaveChanged =
    QStringLiteral("CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION"); // object: layout identifier (number)
inline const QString ModifiersChanged = QStringLiteral("MODIFIERS_CHANGED");         // object: modifier mask
inline const QString IdleTimeReset = QStringLiteral("IDLE_TIME_RESET_NOTIFICATION"); // no object

} // namespace brevona::notifications
