#pragma once

#include "IdleTimeSource.h"
#include "SystemModifiers.h"

namespace brevona {

// Stands for the user's X11 session: idle time, modifier remapping and Caps Lock as a test sets
// them. Nothing set means the session cannot tell, as without an X server. Counts the readings;
// a new remapping is announced as the session announces a changed setting.
class FakeX11Session : public IdleTimeSource, public SystemModifiers
{
public:
    std::optional<quint64> idleNanoseconds() override
    {
        ++m_idleReads;
        return m_idle;
    }
    std::optional<std::vector<ModifierRemapEntry>> modifierRemapping() override
    {
        ++m_remapReads;
        return m_remapping;
    }
    std::optional<bool> isCapsLocked() override { return m_capsLocked; }
    std::optional<ModifierKeyCodes> modifierKeyCodes() override { return m_keyCodes; }

    void setIdleNanoseconds(std::optional<quint64> idle) { m_idle = idle; }
    void setModifierRemapping(std::optional<std::vector<ModifierRemapEntry>> remapping)
    {
        m_remapping = std::move(remapping);
        Q_EMIT modifierKeysChanged();
    }
    void setModifierKeyCodes(std::optional<ModifierKeyCodes> codes) { m_keyCodes = std::move(codes); }
    void setCapsLocked(std::optional<bool> locked) { m_capsLocked = locked; }

    int idleReads() const { return m_idleReads; }
    int remapReads() const { return m_remapReads; }

private:
    std::optional<quint64> m_idle;
    std::optional<std::vector<ModifierRemapEntry>> m_remapping;
    std::optional<bool> m_capsLocked;
    std::optional<ModifierKeyCodes> m_keyCodes;
    int m_idleReads = 0;
    int m_remapReads = 0;
};

} // namespace brevona
