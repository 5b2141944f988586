#pragma once

#include <QString>

namespace brevona::notifications {

// In-process notifications of the configurator's system helpers.

// The list of installed applications changed; object: the identifiers, sorted by name.
inline const QString ApplicationsHelperDidUpdateList = QStringLiteral("ApplicationsHelperDidUpdateList");
// The preference "CustomApplicationsBundlesList" was changed by the preferences window.
inline const QString ApplicationsHelperDidUpdateCustomAppsList =
    QStringLiteral("ApplicationsHelperDidUpdateCustomAppsList");
// The enabled input languages changed (not merely the one in use).
inline const QString LanguageSetupChanged = QStringLiteral("KCLanguageSetupChanged");

} // namespace brevona::notifications
