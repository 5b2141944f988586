#pragma once

#include "SystemModifiers.h"
#include "linux/X11Connection.h"

namespace brevona {

// The session's modifier remapping from its XKB options (the _XKB_RULES_NAMES property of the
// root window, which setxkbmap and the desktops keep up to date) and Caps Lock from the XKB state.
class X11SystemModifiers : public SystemModifiers
{
public:
    explicit X11SystemModifiers(QString display = {});

    std::optional<std::vector<ModifierRemapEntry>> modifierRemapping() override;
    std::optional<bool> isCapsLocked() override;

private:
    bool useXkb(xcb_connection_t *connection);

    X11Connection m_x11;
    quint64 m_xkbGeneration = 0;
    bool m_xkbMissingLogged = false;
};

} // namespace brevona
