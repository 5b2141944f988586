#pragma once

#include <QString>

#include "HotKeyService.h"

namespace brevona::conditionkeys {

// Keys and values of the condition records in the layer store: the driver reads them, the
// configurator writes them.
inline const QString Type = QStringLiteral("Type");
inline const QString Settings = QStringLiteral("Settings");

inline const QString ApplicationType = QStringLiteral("brevona.condition.application");
inline const QString LanguageType = QStringLiteral("brevona.condition.language");
inline const QString ModifierType = QStringLiteral("brevona.condition.modifier");
inline const QString IdleType = QStringLiteral("brevona.condition.idle");
inline const QString CapsLockType = QStringLiteral("brevona.condition.capslock");

inline const QString Application = QStringLiteral("Application");
inline const QString Predicate = QStringLiteral("Predicate");
inline const QString LanguageID = QStringLiteral("LanguageID");
inline const QString Keys = QStringLiteral("Keys");
inline const QString Time = QStringLiteral("Time");
inline const QString State = QStringLiteral("State");

inline const QString CapsLockKey = QStringLiteral("CapsLock");

// "Predicate" values of application records.
inline const QString IsRunning = QStringLiteral("isRunning");
inline const QString IsNotRunning = QStringLiteral("isNotRunning");
inline const QString IsActive = QStringLiteral("isActive");
inline const QString IsNotActive = QStringLiteral("isNotActive");

// Modifier mask bits shared with the hot keys; conditions never use the Caps Lock bit.
enum ModifierMask : int
{
    CommandMask = hotkey_modifiers::Command,
    ShiftMask = hotkey_modifiers::Shift,
    CapsLockMask = hotkey_modifiers::CapsLock,
    OptionMask = hotkey_modifiers::Option,
    ControlMask = hotkey_modifiers::Control,
};

} // namespace brevona::conditionkeys
