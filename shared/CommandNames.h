#pragma once

#include <QString>

namespace brevona::commands {

// Commands the configurator sends to the driver, and the keys of their info dictionaries.
inline const QString ItemCreated = QStringLiteral("ItemCreated");
inline const QString ItemsDeleted = QStringLiteral("ItemsDeleted");
inline const QString LayersMoved = QStringLiteral("LayersMoved");
inline const QString GroupMoved = QStringLiteral("GroupMoved");
inline const QString RefreshLayer = QStringLiteral("RefreshLayer");
inline const QString LayerVisibilityChanged = QStringLiteral("LayerVisibilityChanged");
inline const QString LayerConditionsChanged = QStringLiteral("LayerConditionsChanged");
inline const QString LayerHybridStateChanged = QStringLiteral("LayerHybridStateChanged");
inline const QString HybridSetupChanged = QStringLiteral("HybridSetupChanged");
inline const QString ButtonsChanged = QStringLiteral("ButtonsChanged");
inline const QString ButtonsDeleted = QStringLiteral("ButtonsDeleted");
inline const QString ButtonsMoved = QStringLiteral("ButtonsMoved");
inline const QString PluginSettings = QStringLiteral("PluginSettings");
inline const QString ChangeBrightness = QStringLiteral("ChangeBrightness");
inline const QString ChangeSleepTimeout = QStringLiteral("ChangeSleepTimeout");
inline const QString ForceDeviceStop = QStringLiteral("ForceDeviceStop");
inline const QString Terminate = QStringLiteral("Terminate");

namespace keys {
inline const QString GroupId = QStringLiteral("GroupId");
inline const QString ItemId = QStringLiteral("ItemId");
inline const QString ItemIds = QStringLiteral("ItemIds");
inline const QString ItemOrder = QStringLiteral("ItemOrder");
inline const QString LayerId = QStringLiteral("LayerId");
inline const QString LayerIds = QStringLiteral("LayerIds");
inline const QString Enabled = QStringLiteral("Enabled");
inline const QString Conditions = QStringLiteral("Conditions");
inline const QString Hybrid = QStringLiteral("Hybrid");
inline const QString Zones = QStringLiteral("Zones");
inline const QString Buttons = QStringLiteral("Buttons");
inline const QString SourceLayer = QStringLiteral("SourceLayer");
inline const QString TargetLayer = QStringLiteral("TargetLayer");
inline const QString Image = QStringLiteral("Image");
inline const QString DisplayPlugin = QStringLiteral("DisplayPlugin");
inline const QString ActionPlugin = QStringLiteral("ActionPlugin");
inline const QString Value = QStringLiteral("Value");
inline const QString Auto = QStringLiteral("Auto");
inline const QString WakeOnWhenMouseMoves = QStringLiteral("WakeOnWhenMouseMoves");
} // namespace keys

// The driver's command endpoint on the session bus.
inline const QString ServiceName = QStringLiteral("brevona.kettlewood.com.server");
inline const QString ServerPath = QStringLiteral("/");
inline const QString ServerInterface = QStringLiteral("com.kettlewood.Brevona.Server");
inline const QString NotificationsInterface = QStringLiteral("com.kettlewood.Brevona.Notifications");

} // namespace brevona::commands
