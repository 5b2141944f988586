#pragma once

#include <optional>
#include <vector>

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

// The user's session-wide modifier settings: the remapping of modifier keys and the Caps Lock state.
class SystemModifiers
{
public:
    virtual ~SystemModifiers() = default;
    // The remapped keys; empty when none is remapped, nothing when the session cannot be read.
    virtual std::optional<std::vector<ModifierRemapEntry>> modifierRemapping() = 0;
    // Whether Caps Lock is on in the session's keyboard state (not any one keyboard's light).
    virtual std::optional<bool> isCapsLocked() = 0;

    // The process-wide instance: the X11 session's unless a test installed another (the caller
    // keeps ownership; nullptr returns to the X11 one). Main thread only.
    static SystemModifiers &instance();
    static void setInstance(SystemModifiers *modifiers);
};

} // namespace brevona
