#include "X11SystemModifiers.h"

// xcb's XKB header names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "HotKeyService.h"
#include "XkbModifierOptions.h"
#include "linux/X11HotKeyService.h"
#include "linux/XcbReply.h"

namespace brevona {

X11SystemModifiers::X11SystemModifiers(QString display, QObject *parent)
    : SystemModifiers(parent)
    , m_x(std::move(display),
          QStringLiteral("Caps Lock reads as off and the modifier keys as the keyboard labels them"))
{
    m_x.setEventHandler([this](const xcb_generic_event_t &event) { handleEvent(event); });
    m_x.setDisconnectHandler([this] { changed(); });
    m_x.setConnectHandler([this] {
        if (ready())
            changed();
    });
}

xcb_connection_t *X11SystemModifiers::ready()
{
    xcb_connection_t *connection = m_x.get();
    if (!connection)
        return nullptr;
    if (m_setUpGeneration != m_x.generation())
        setUp(connection);
    // Events read together with replies would otherwise wait for the next wake-up of the socket.
    QMetaObject::invokeMethod(&m_x, &X11AppEventConnection::dispatch, Qt::QueuedConnection);
    return m_x.get();
}

void X11SystemModifiers::setUp(xcb_connection_t *connection)
{
    m_setUpGeneration = m_x.generation();
    m_keyCodes.reset();
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, m_x.root(), XCB_CW_EVENT_MASK, &mask);
    m_rulesNamesAtom = m_x.atom("_XKB_RULES_NAMES");

    const XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    m_xkb = use && use->supported;
    if (!m_xkb) {
        if (!m_xkbMissingLogged)
            qCWarning(lcX11).noquote() << "The X server has no XKB extension; Caps Lock reads as off";
        m_xkbMissingLogged = true;
        return;
    }
    m_xkbEventBase = xcb_get_extension_data(connection, &xcb_xkb_id)->first_event;
    // A client of XKB hears of new keymaps and modifier maps only through XKB's own events.
    const quint16 events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const quint16 parts = XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_KEY_SYMS;
    xcb_xkb_select_events_details_t details{};
    xcb_xkb_select_events_aux(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, parts, parts, &details);
}

void X11SystemModifiers::handleEvent(const xcb_generic_event_t &event)
{
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto &notify = reinterpret_cast<const xcb_property_notify_event_t &>(event);
        if (notify.window == m_x.root() && notify.atom == m_rulesNamesAtom)
            changed();
    } else if (type == XCB_MAPPING_NOTIFY || (m_xkb && type == m_xkbEventBase)) {
        changed();
    }
}

void X11SystemModifiers::changed()
{
    m_keyCodes.reset();
    // One setxkbmap brings a new keymap, a new modifier map and a new property: one announcement.
    if (m_changePending)
        return;
    m_changePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_changePending = false;
            Q_EMIT modifierKeysChanged();
        },
        Qt::QueuedConnection);
}

std::optional<std::vector<ModifierRemapEntry>> X11SystemModifiers::modifierRemapping()
{
    if (!ready())
        return std::nullopt;
    if (m_rulesNamesAtom == XCB_ATOM_NONE)
        return std::vector<ModifierRemapEntry>{};
    const std::optional<QByteArray> value = m_x.property(m_x.root(), m_rulesNamesAtom, XCB_ATOM_STRING);
    if (!value)
        return std::vector<ModifierRemapEntry>{};
    return XkbModifierOptions::remappingForOptions(XkbModifierOptions::optionsFromRulesNames(*value));
}

std::optional<bool> X11SystemModifiers::isCapsLocked()
{
    xcb_connection_t *connection = ready();
    if (!connection || !m_xkb)
        return std::nullopt;
    const XcbReply<xcb_xkb_get_state_reply_t> state(
        xcb_xkb_get_state_reply(connection, xcb_xkb_get_state(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (!state)
        return std::nullopt;
    return (state->mods & XCB_MOD_MASK_LOCK) != 0;
}

std::optional<ModifierKeyCodes> X11SystemModifiers::modifierKeyCodes()
{
    xcb_connection_t *connection = ready();
    if (!connection)
        return std::nullopt;
    if (m_keyCodes)
        return m_keyCodes;
    const XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping)
        return std::nullopt;
    const xcb_keycode_t *holders = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    const int length = xcb_get_modifier_mapping_keycodes_length(mapping.get());
    ModifierKeyCodes codes;
    for (const int modifier : {hotkey_modifiers::Command, hotkey_modifiers::Shift, hotkey_modifiers::Option,
                               hotkey_modifiers::Control}) {
        // The modifier bit the hot keys grab with: a key counts exactly when a hot key sees it.
        const quint16 bit = X11HotKeyService::x11Modifiers(modifier);
        QSet<int> &keys = codes[modifier];
        for (int index = 0; index < 8; ++index) {
            if (!(bit & (1u << index)))
                continue;
            for (int k = 0; k < perModifier && index * perModifier + k < length; ++k) {
                if (const xcb_keycode_t code = holders[index * perModifier + k])
                    keys.insert(code);
            }
        }
    }
    m_keyCodes = codes;
    return codes;
}

} // namespace brevona
