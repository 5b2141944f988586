#pragma once

#include <QString>

namespace brevona::notifications {

// In-process notifications of the driver.
inline const QString ConfiguratorSaidPrefix = QStringLiteral("CONFIGURATOR_SAID_");
inline const QString SomeConditionHaveTriggered = QStringLiteral("SOME_CONDITION_HAVE_TRIGGERED");
inline const QString UpdateHybridSegments = QStringLiteral("UpdateHybridSegments");
inline const QString HidKeyDown = QStringLiteral("HIDWATCHER_KEYDOWN");
inline const QString HidKeyUp = QStringLiteral("HIDWATCHER_KEYUP");
inline const QString HidKeyDownSpecial = QStringLiteral("HIDWATCHER_KEYDOWN_SPECIAL");
inline const QString HidKeyUpSpecial = QStringLiteral("HIDWATCHER_KEYUP_SPECIAL");
inline const QString TriggerActionButton = QStringLiteral("TRIGGER_ACTION_BUTTON");
inline const QString DriveFound = QStringLiteral("LUMIVOX_DRIVE_FOUND");
inline const QString DriveLost = QStringLiteral("LUMIVOX_DRIVE_LOST");
inline const QString DriveStateChanged = QStringLiteral("LUMIVOX_DRIVE_STATE_CHANGED");
inline const QString ButtonChanged = QStringLiteral("BUTTON_CHANGED_NOTIFICATION");
inline const QString TotalRepaintNeeded = QStringLiteral("TOTAL_REPAINT_NEEDED");

// Announcements that cross processes (session-bus signals).
inline const QString DriverLaunched = QStringLiteral("BrevonaDriverLaunched");
inline const QString DriverTerminated = QStringLiteral("BrevonaDriverTerminated");
inline const QString ToggleLayerAction = QStringLiteral("LUMIVOX_BREVONA_TOGGLE_LAYER_ACTION");

inline QString configuratorSaid(const QString &command)
{
    return ConfiguratorSaidPrefix + command;
}

} // namespace brevona::notifications
