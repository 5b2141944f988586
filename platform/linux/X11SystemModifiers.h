#pragma once

#include "SystemModifiers.h"
#include "linux/X11AppEventConnection.h"

namespace brevona {

// The session's modifier remapping from its XKB options (the _XKB_RULES_NAMES property of the
// root window, which setxkbmap and the desktops keep up to date), Caps Lock from the XKB state and
// the keys of each modifier from the server's modifier map. Changes of the property and new
// keymaps are announced as the server reports them.
class X11SystemModifiers : public SystemModifiers
{
    Q_OBJECT
public:
    explicit X11SystemModifiers(QString display = {}, QObject *parent = nullptr);

    std::optional<std::vector<ModifierRemapEntry>> modifierRemapping() override;
    std::optional<bool> isCapsLocked() override;
    std::optional<ModifierKeyCodes> modifierKeyCodes() override;

private:
    xcb_connection_t *ready();
    void setUp(xcb_connection_t *connection);
    void handleEvent(const xcb_generic_event_t &event);
    void changed();

    X11AppEventConnection m_x;
    quint64 m_setUpGeneration = 0;
    xcb_atom_t m_rulesNamesAtom = XCB_ATOM_NONE;
    quint8 m_xkbEventBase = 0;
    bool m_xkb = false;
    bool m_xkbMissingLogged = false;
    bool m_changePending = false;
    std::optional<ModifierKeyCodes> m_keyCodes;
};

} // namespace brevona
