#include "X11SystemModifiers.h"

#include <cstdlib>

// xcb's XKB header names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "XkbModifierOptions.h"

namespace brevona {

X11SystemModifiers::X11SystemModifiers(QString display)
    : m_x11(std::move(display))
{}

std::optional<std::vector<ModifierRemapEntry>> X11SystemModifiers::modifierRemapping()
{
    xcb_connection_t *connection = m_x11.get();
    if (!connection)
        return std::nullopt;
    static const char kName[] = "_XKB_RULES_NAMES";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof kName - 1, kName), nullptr);
    if (!atom)
        return std::nullopt;
    const xcb_atom_t name = atom->atom;
    std::free(atom);
    if (name == XCB_ATOM_NONE)
        return std::vector<ModifierRemapEntry>{};
    // The property holds five short strings; 4096 bytes is far more than any session writes.
    xcb_get_property_reply_t *property = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, m_x11.root(), name, XCB_ATOM_STRING, 0, 1024), nullptr);
    if (!property)
        return std::nullopt;
    const QByteArray value(static_cast<const char *>(xcb_get_property_value(property)),
                           xcb_get_property_value_length(property));
    std::free(property);
    return XkbModifierOptions::remappingForOptions(XkbModifierOptions::optionsFromRulesNames(value));
}

bool X11SystemModifiers::useXkb(xcb_connection_t *connection)
{
    if (m_xkbGeneration == m_x11.generation())
        return true;
    xcb_xkb_use_extension_reply_t *reply = xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    const bool supported = reply && reply->supported;
    std::free(reply);
    if (!supported) {
        if (!m_xkbMissingLogged)
            qCWarning(lcX11).noquote() << "The X server has no XKB extension; Caps Lock reads as off";
        m_xkbMissingLogged = true;
        return false;
    }
    m_xkbGeneration = m_x11.generation();
    return true;
}

std::optional<bool> X11SystemModifiers::isCapsLocked()
{
    xcb_connection_t *connection = m_x11.get();
    if (!connection || !useXkb(connection))
        return std::nullopt;
    xcb_xkb_get_state_reply_t *state =
        xcb_xkb_get_state_reply(connection, xcb_xkb_get_state(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr);
    if (!state)
        return std::nullopt;
    const bool locked = (state->mods & XCB_MOD_MASK_LOCK) != 0;
    std::free(state);
    return locked;
}

} // namespace brevona
