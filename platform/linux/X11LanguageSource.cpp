#include "X11LanguageSource.h"

// xcb's XKB header names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>

#include "linux/XcbReply.h"
#undef explicit

namespace brevona {

X11LanguageSource::X11LanguageSource(QString display, QObject *parent)
    : InputLanguageSource(parent)
    , m_x(std::move(display), QStringLiteral("the input language reads as the US layout"))
{
    m_x.setEventHandler([this](const xcb_generic_event_t &event) { handleEvent(event); });
    m_x.setDisconnectHandler([this] {
        m_layouts.reset();
        m_group.reset();
        Q_EMIT languageChanged();
    });
    m_x.setConnectHandler([this] {
        if (ready())
            Q_EMIT languageChanged();
    });
}

QStringList X11LanguageSource::layoutsOfRulesNames(const QByteArray &value)
{
    const QList<QByteArray> fields = value.split('\0');
    const QStringList layouts = QString::fromUtf8(fields.value(2)).split(QLatin1Char(','));
    const QStringList variants = QString::fromUtf8(fields.value(3)).split(QLatin1Char(','));
    QStringList names;
    for (qsizetype i = 0; i < layouts.size(); ++i) {
        const QString name = layoutName(layouts.at(i), variants.value(i));
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

bool X11LanguageSource::ready()
{
    if (!m_x.get())
        return false;
    if (m_setUpGeneration != m_x.generation())
        setUp();
    QMetaObject::invokeMethod(&m_x, &X11AppEventConnection::dispatch, Qt::QueuedConnection);
    return m_x.get() != nullptr;
}

void X11LanguageSource::setUp()
{
    xcb_connection_t *connection = m_x.get();
    m_setUpGeneration = m_x.generation();
    const quint32 mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, m_x.root(), XCB_CW_EVENT_MASK, &mask);
    m_rulesNamesAtom = m_x.atom("_XKB_RULES_NAMES");

    const XcbReply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    m_xkb = use && use->supported;
    if (m_xkb) {
        m_xkbEventBase = xcb_get_extension_data(connection, &xcb_xkb_id)->first_event;
        // Only changes of the locked group, and new keymaps, wake the driver; modifier presses do not.
        xcb_xkb_select_events_details_t details{};
        details.affectState = XCB_XKB_STATE_PART_GROUP_LOCK;
        details.stateDetails = XCB_XKB_STATE_PART_GROUP_LOCK;
        xcb_xkb_select_events_aux(connection, XCB_XKB_ID_USE_CORE_KBD,
                                  XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY, 0,
                                  XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY, 0, 0, &details);
    } else if (!m_xkbMissingLogged) {
        m_xkbMissingLogged = true;
        qCWarning(lcX11).noquote()
            << "The X server has no XKB extension; the input language reads as the US layout";
    }
    readLayouts();
    readGroup();
}

void X11LanguageSource::startWatching()
{
    ready();
}

std::optional<QStringList> X11LanguageSource::layouts()
{
    if (!ready())
        return std::nullopt;
    return m_layouts;
}

std::optional<int> X11LanguageSource::currentIndex()
{
    if (!ready() || !m_group)
        return std::nullopt;
    // XKB wraps a group beyond the keymap's groups around to the first ones.
    if (m_layouts && !m_layouts->isEmpty())
        return *m_group % int(m_layouts->size());
    return m_group;
}

void X11LanguageSource::readLayouts()
{
    const std::optional<QByteArray> value = m_x.property(m_x.root(), m_rulesNamesAtom, XCB_ATOM_STRING);
    if (value)
        m_layouts = layoutsOfRulesNames(*value);
    else
        m_layouts.reset();
}

void X11LanguageSource::readGroup()
{
    xcb_connection_t *connection = m_x.get();
    m_group.reset();
    if (!connection || !m_xkb)
        return;
    const XcbReply<xcb_xkb_get_state_reply_t> state(
        xcb_xkb_get_state_reply(connection, xcb_xkb_get_state(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (!state)
        return;
    m_group = state->lockedGroup;
}

void X11LanguageSource::handleEvent(const xcb_generic_event_t &event)
{
    const quint8 type = event.response_type & 0x7f;
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto &notify = reinterpret_cast<const xcb_property_notify_event_t &>(event);
        if (notify.window != m_x.root() || notify.atom != m_rulesNamesAtom)
            return;
        // A new layout list may leave the locked group pointing beyond it; the server moves it.
        readLayouts();
        readGroup();
        Q_EMIT languageChanged();
        return;
    }
    if (!m_xkb || type != m_xkbEventBase)
        return;
    // Every XKB event carries its own kind in the second byte.
    const quint8 kind = reinterpret_cast<const quint8 *>(&event)[1];
    if (kind == XCB_XKB_STATE_NOTIFY) {
        const auto &state = reinterpret_cast<const xcb_xkb_state_notify_event_t &>(event);
        if (m_group == int(state.lockedGroup))
            return;
        m_group = state.lockedGroup;
        Q_EMIT languageChanged();
    } else if (kind == XCB_XKB_NEW_KEYBOARD_NOTIFY) {
        readLayouts();
        readGroup();
        Q_EMIT languageChanged();
    }
}

} // namespace brevona
