#pragma once

#include <optional>
#include <vector>

#include <QHash>
#include <QObject>
#include <QSet>

namespace brevona {

// The modifier keys in the numbering of the system's modifier remapping.
namespace modifier_codes {
constexpr int None = -1;
constexpr int CapsLock = 0;
constexpr int ShiftLeft = 1;
constexpr int CtrlLeft = 2;
constexpr int AltLeft = 3;
constexpr int CmdLeft = 4;
constexpr int ShiftRight = 9;
constexpr int CtrlRight = 10;
constexpr int AltRight = 11;
constexpr int CmdRight = 12;
} // namespace modifier_codes

// One remapped key: the key `source` now acts as the key `destination` (None: as nothing).
struct ModifierRemapEntry
{
    int source = 0;
    int destination = 0;

    bool operator==(const ModifierRemapEntry &) const = default;
};

// Modifier bit of the hot-key mask (hotkey_modifiers) -> the key codes (the keyboard data's
// "Char", as hot keys take them) of the keys that give that modifier.
using ModifierKeyCodes = QHash<int, QSet<int>>;

// The user's session-wide modifier settings: the remapping of modifier keys and the Caps Lock state.
class SystemModifiers : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SystemModifiers() override;
    // The remapped keys; empty when none is remapped, nothing when the session cannot be read.
    virtual std::optional<std::vector<ModifierRemapEntry>> modifierRemapping() = 0;
    // Whether Caps Lock is on in the session's keyboard state (not any one keyboard's light).
    virtual std::optional<bool> isCapsLocked() = 0;
    // Which keys give Command, Shift, Option and Control under the session's layout, by the same
    // rule the session's global hot keys match modifiers with (so a layout's AltGr key, which
    // hot keys do not take as Option, is not listed under Option). Nothing when the session
    // cannot tell.
    virtual std::optional<ModifierKeyCodes> modifierKeyCodes() = 0;

    // The process-wide instance: the X11 session's unless a test installed another (the caller
    // keeps ownership; nullptr returns to the X11 one). Main thread only.
    static SystemModifiers &instance();
    static void setInstance(SystemModifiers *modifiers);

Q_SIGNALS:
    // The modifier remapping or the keys that give the modifiers may have changed.
    void modifierKeysChanged();
};

} // namespace brevona
